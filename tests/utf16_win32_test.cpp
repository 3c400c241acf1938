// The forms in which paths cross into Windows. Wine opens long paths with or
// without the \\?\ prefix, so only here does it show that a Windows that
// needs the prefix gets it, on a path it would otherwise have normalised.
#include <windows.h>

#include <gtest/gtest.h>

#include "utf16_win32.h"

namespace {

TEST(ExtendedLengthPath, LongPathsAreNormalisedThenPrefixed) {
  const std::wstring k(250, L'k');
  wchar_t current[MAX_PATH] = L"";
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  const std::pair<std::wstring, std::wstring> kPaths[] = {
      // Short ones are left to the system.
      {LR"(C:/Games/./x/../data\)", LR"(C:/Games/./x/../data\)"},
      {LR"(C:\)" + k, LR"(\\?\C:\)" + k},
      {L"C:/" + k + L"/./x/../cars", LR"(\\?\C:\)" + k + LR"(\cars)"},
      {LR"(\\nas\games\)" + k, LR"(\\?\UNC\nas\games\)" + k},
      {L"//nas/games/" + k, LR"(\\?\UNC\nas\games\)" + k},
      {LR"(\\.\C:\)" + k, LR"(\\?\C:\)" + k},
      {k + LR"(\cars)", LR"(\\?\)" + std::wstring(current) + L"\\" + k + LR"(\cars)"},
      // The player's own prefix: taken as it is, even where it is short.
      {LR"(\\?\C:\a\..\b)", LR"(\\?\C:\a\..\b)"},
      {LR"(\\?\C:\)" + k + LR"(\..)", LR"(\\?\C:\)" + k + LR"(\..)"}};
  for (const auto& [path, expected] : kPaths) {
    EXPECT_EQ(ExtendedLengthPath(path), expected) << path.substr(0, 20);
  }
}

// What Windows gives, a lone surrogate among it, comes back the same or not
// at all.
TEST(ToSystemPath, NamesThatNoFileCanHaveAreRefused) {
  const std::wstring name = L"\x0416\x8ECA\xD83C\xDFCE";  // Cyrillic, CJK, emoji
  EXPECT_EQ(ToSystemPath(ToUtf8(name)), name);
  EXPECT_EQ(ToSystemPath(ToUtf8(L"a\xD800")), std::nullopt);
  EXPECT_EQ(ToSystemPath(ToUtf8(L"a\xDC00\xD800")), std::nullopt);
  EXPECT_EQ(ToSystemPath("a\xFF"), std::nullopt);
  EXPECT_EQ(ToSystemPath(std::string("n12.csv\0x", 9)), std::nullopt);
}

}  // namespace
