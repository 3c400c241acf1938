#include "utf16_win32.h"

#include <windows.h>

#include <climits>

#include "under_wine.h"

namespace {

constexpr std::size_t kLongPath = MAX_PATH - 12;

std::optional<std::wstring> FromUtf8(std::string_view text, DWORD flags) {
  std::wstring wide;
  if (text.empty()) return wide;
  if (text.size() > INT_MAX) return std::nullopt;
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, flags, text.data(), size, nullptr, 0);
  if (length == 0) return std::nullopt;
  wide.resize(length);
  MultiByteToWideChar(CP_UTF8, flags, text.data(), size, wide.data(), length);
  return wide;
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c < 0xE000; }

}  // namespace

std::optional<std::wstring> ToUtf16(std::string_view text) {
  return FromUtf8(text, MB_ERR_INVALID_CHARS);
}

// Windows Vista and later put U+FFFD for what they cannot convert.
std::wstring ToUtf16ForDisplay(std::string_view text) {
  return FromUtf8(text, 0).value_or(std::wstring());
}

std::string ToUtf8(std::wstring_view text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
      continue;
    }
    // The first byte marks how many continuation bytes follow.
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    utf8 += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
    for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6) {
      utf8 += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
    }
  }
  return utf8;
}

std::wstring ExtendedLengthPath(std::wstring path) {
  if (path.starts_with(LR"(\\?\)")) return path;
  const bool linuxPath = path.size() >= 2 && path[0] == L'/' && path[1] != L'/' && path[1] != L'\\';
  const std::wstring absolute = linuxPath ? LinuxRootDrive() + path : path;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(absolute.c_str(), static_cast<DWORD>(full.size()),
                                          full.data(), nullptr);
    if (length == 0) return path;  // the file function then says why
    const bool fits = length < full.size();
    full.resize(length);  // on success without the NUL, else the size wanted
    if (fits) break;
  }
  if (full.size() < kLongPath) return path;
  // \\.\ differs from \\?\ only in being normalised, which has been done.
  if (full.starts_with(LR"(\\?\)") || full.starts_with(LR"(\\.\)")) {
    return LR"(\\?\)" + full.substr(4);
  }
  if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
  return full.size() > 2 && full[1] == L':' ? LR"(\\?\)" + full : full;
}

std::optional<std::wstring> ToSystemPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  std::optional<std::wstring> wide = ToUtf16(path);
  if (wide) *wide = ExtendedLengthPath(std::move(*wide));
  return wide;
}
