#include "dpi_icon.h"

#include <algorithm>
#include <iterator>

#include "framework.h"
#include "under_wine.h"

namespace {

// A function that not every Windows from 7 on has; nullptr where it is missing.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(dll), name)));
}

}  // namespace

int MetricForWindow(HWND window, int metric) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  using MetricForDpi = int(WINAPI*)(int, UINT);
  static const auto dpiForWindow = SystemFunction<DpiForWindow>(L"user32.dll", "GetDpiForWindow");
  static const auto metricForDpi =
      SystemFunction<MetricForDpi>(L"user32.dll", "GetSystemMetricsForDpi");
  if (dpiForWindow == nullptr || metricForDpi == nullptr) return GetSystemMetrics(metric);
  return metricForDpi(metric, dpiForWindow(window));
}

// LoadImage may scale a smaller image up; LoadIconWithScaleDown (Common
// Controls 6) scales a larger one down. Wine 8 scales the icon's bitmap
// images (16 to 48 pixels) into coloured noise with either, its PNG image
// (256 pixels) well: under Wine an icon up to 48 pixels is loaded at the next
// size the icon has, which the caption draws at its own size cleanly; the
// about box's icon control takes that size.
HICON LoadIconForDpi(HWND window, UINT id, int metric) {
  int size = MetricForWindow(window, metric);
  if (RunningUnderWine()) {
    constexpr int kBitmapSizes[] = {16, 32, 48};  // res/tweaker.ico's
    const auto larger = std::find_if(std::begin(kBitmapSizes), std::end(kBitmapSizes),
                                     [size](int bitmap) { return bitmap >= size; });
    if (larger != std::end(kBitmapSizes)) size = *larger;
  }
  const HINSTANCE instance = AfxGetInstanceHandle();
  using ScaleDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  static const auto scaleDown =
      SystemFunction<ScaleDown>(L"comctl32.dll", "LoadIconWithScaleDown");
  HICON icon = nullptr;
  if (scaleDown != nullptr &&
      SUCCEEDED(scaleDown(instance, MAKEINTRESOURCEW(id), size, size, &icon))) {
    return icon;
  }
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}
