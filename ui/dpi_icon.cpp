#include "dpi_icon.h"

#include "framework.h"
#include "under_wine.h"

namespace {

// A function that not every Windows from 7 on has; nullptr where it is missing.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(dll), name)));
}

// Before Windows 10 version 1607 the program is aware of the system's DPI
// only, which GetSystemMetrics scales to.
int MetricAtDpi(HWND window, int metric) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  using MetricForDpi = int(WINAPI*)(int, UINT);
  static const auto dpiForWindow = SystemFunction<DpiForWindow>(L"user32.dll", "GetDpiForWindow");
  static const auto metricForDpi =
      SystemFunction<MetricForDpi>(L"user32.dll", "GetSystemMetricsForDpi");
  if (dpiForWindow == nullptr || metricForDpi == nullptr) return GetSystemMetrics(metric);
  return metricForDpi(metric, dpiForWindow(window));
}

}  // namespace

// LoadImage may scale a smaller image up; LoadIconWithScaleDown (Common
// Controls 6) scales a larger one down. Wine's gives a 24 pixel icon as
// coloured noise, so under Wine it is LoadImage.
HICON LoadIconForDpi(HWND window, UINT id, int metric) {
  const int size = MetricAtDpi(window, metric);
  const HINSTANCE instance = AfxGetInstanceHandle();
  using ScaleDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  static const auto scaleDown =
      SystemFunction<ScaleDown>(L"comctl32.dll", "LoadIconWithScaleDown");
  HICON icon = nullptr;
  if (!RunningUnderWine() && scaleDown != nullptr &&
      SUCCEEDED(scaleDown(instance, MAKEINTRESOURCEW(id), size, size, &icon))) {
    return icon;
  }
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}
