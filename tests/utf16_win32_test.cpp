// How paths cross into Windows. Wine opens long paths with or without the
// \\?\ prefix, so only here does it show that a Windows that needs the
// prefix gets it, on a path that the system would have normalised.
#include <windows.h>

#include <gtest/gtest.h>

#include "under_wine.h"
#include "utf16_win32.h"

namespace {

TEST(ExtendedLengthPath, LongPathsAreNormalisedThenPrefixed) {
  const std::wstring k(250, L'k');
  wchar_t current[MAX_PATH] = L"";
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  const std::pair<std::wstring, std::wstring> kPaths[] = {
      {LR"(C:/Games/./x/../data\)", LR"(C:/Games/./x/../data\)"},  // short: the system's
      {L"C:/" + k + L"/./x/../cars", LR"(\\?\C:\)" + k + LR"(\cars)"},
      {L"//nas/games/" + k, LR"(\\?\UNC\nas\games\)" + k},
      {LR"(\\.\C:\)" + k, LR"(\\?\C:\)" + k},
      {k, LR"(\\?\)" + std::wstring(current) + L"\\" + k},
      {LR"(\\?\C:\)" + k + LR"(\..)", LR"(\\?\C:\)" + k + LR"(\..)"}};  // the player's own
  for (const auto& [path, expected] : kPaths) {
    EXPECT_EQ(ExtendedLengthPath(path), expected) << path.substr(0, 20);
  }
}

// Wine's GetFullPathNameW puts a Linux path on the current drive.
TEST(ExtendedLengthPath, LinuxPathsLieOnTheDriveOfLinuxRoot) {
  if (!RunningUnderWine()) GTEST_SKIP() << "Windows has no Linux paths";
  wchar_t current[MAX_PATH] = L"";
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows"));
  const std::wstring k(250, L'k');
  const std::wstring longPath = ExtendedLengthPath(L"/tmp/" + k + L"/cars\\n12");
  const std::wstring shortPath = ExtendedLengthPath(L"/tmp/data/");
  SetCurrentDirectoryW(current);
  EXPECT_EQ(longPath, LR"(\\?\Z:\tmp\)" + k + LR"(\cars\n12)");
  EXPECT_EQ(shortPath, L"/tmp/data/") << "left to Wine";
}

TEST(ToSystemPath, NamesFromWindowsComeBackTheSameOrNotAtAll) {
  const std::wstring name = L"\x0416\x8ECA\xD83C\xDFCE";  // Cyrillic, CJK, emoji
  EXPECT_EQ(ToSystemPath(ToUtf8(name)), name);
  EXPECT_EQ(ToSystemPath(ToUtf8(L"a\xDC00\xD800")), std::nullopt);  // lone surrogates
}

}  // namespace
