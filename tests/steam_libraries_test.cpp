// Steam's library list as Steam writes it, and as it may reach us broken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "steam_libraries.h"

namespace {

using Paths = std::vector<std::string>;

TEST(SteamLibraryList, ReadsTheFoldersOfBothFormats) {
  const std::pair<std::string, Paths> kLists[] = {
      {R"("libraryfolders"
{
	"contentstatsid"		"-5523418953526543312"
	"0" { "path" "C:\\Program Files (x86)\\Steam" "label" "" "apps" { "228980" "191837286" } }
	"1" { "label" "path" "PATH" "D:\\Spiele \"neu\"\\Steam" }
})",
       {R"(C:\Program Files (x86)\Steam)", R"(D:\Spiele "neu"\Steam)"}},
      {"\xEF\xBB\xBF" R"("LibraryFolders" // Steam before 2021
{
	"TimeNextStatsReport"		"1577836800"
	"1"		"/run/media/deck/Ünïcode SD"
	"2"		"E:\Hand\Written"
	"x1"	"F:\\NotALibrary"
})",
       {"/run/media/deck/Ünïcode SD", R"(E:\Hand\Written)"}},
      // Bare text, and folders left out: empty, a tab, not UTF-8, overlong.
      {R"(libraryfolders { 1 G:\Bare 2 "" 3 "tab\tin" 4 ")" "\xFF" R"(" 5 ")" "\xC0\xAF"
       R"(" 6 H:\Kept })",
       {R"(G:\Bare)", R"(H:\Kept)"}},
      {R"("other" { "1" "C:\\Steam" })", {}},
  };
  for (const auto& [text, paths] : kLists) EXPECT_EQ(SteamLibraryPaths(text), paths) << text;
}

TEST(SteamLibraryList, MalformedTextGivesTheFoldersBeforeTheFault) {
  const std::string first = R"("libraryfolders" { "0" { "path" "C:\\Steam" } )";
  const std::string kFaults[] = {
      R"("1" { "path" "D:\\Lib)",  // cut off in a string
      R"("1" { "path" )",          // cut off before a value
      R"(} } "2" "E:\\After")",    // one brace too many
      R"({ "1" "D:\\Lib" })",      // a block without a key
      [] {                           // blocks nested too deep
        std::string deep = R"("1" { "apps" )";
        for (int i = 0; i < 20; ++i) deep += R"("a" { )";
        return deep + std::string(22, '}') + R"( "2" "E:\\After")";
      }(),
  };
  for (const std::string& fault : kFaults) {
    EXPECT_EQ(SteamLibraryPaths(first + fault), Paths{R"(C:\Steam)"}) << fault;
  }
  EXPECT_EQ(SteamLibraryPaths(first + std::string(kMaxLibraryListBytes, ' ')), Paths{});
  std::string many = "libraryfolders {";
  for (int i = 0; i < 300; ++i) many += " " + std::to_string(i) + " C:\\" + std::to_string(i);
  EXPECT_EQ(SteamLibraryPaths(many).size(), 256u);
}

}  // namespace
