#include <algorithm>
#include <set>
#include <string>

#include "car_files.h"
#include "file_system.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "linux_under_wine.h"
#endif

namespace {

TEST(CarSetTest, HoldsFortySevenDistinctIdsInAscendingByteOrder) {
  ASSERT_EQ(kCarIds.size(), 47u);
  const std::set<std::string> distinct(kCarIds.begin(), kCarIds.end());
  EXPECT_EQ(distinct.size(), 47u);
  EXPECT_TRUE(std::is_sorted(kCarIds.begin(), kCarIds.end(),
                             [](const std::string& a, const std::string& b) {
                               return a < b;
                             }));
  for (const std::string id : kCarIds) EXPECT_EQ(id.size(), 3u) << id;
  EXPECT_EQ(std::string(kCarIds.front()), "131");
  EXPECT_EQ(std::string(kCarIds.back()), "xsa");
  EXPECT_TRUE(distinct.count("n12"));
}

TEST(CarPathTest, ComposesByPlainConcatenation) {
  EXPECT_EQ(CarDataFilePath("D:\\Game\\data\\", "n12"),
            "D:\\Game\\data\\cars\\n12\\n12.csv");
  EXPECT_EQ(CarBackupFilePath("D:\\Game\\data\\", "n12"),
            "D:\\Game\\data\\cars\\n12\\n12_backup.csv");
  EXPECT_EQ(ProbeFilePath("D:\\Game\\data\\"), CarDataFilePath("D:\\Game\\data\\", "n12"));
}

TEST(CarPathTest, EmptyPathGivesRelativePaths) {
  EXPECT_EQ(CarDataFilePath("", "131"), "cars\\131\\131.csv");
  EXPECT_EQ(ProbeFilePath(""), "cars\\n12\\n12.csv");
}

TEST(CarPathTest, NothingIsInsertedOrNormalised) {
  EXPECT_EQ(CarDataFilePath("D:\\Game\\data", "131"), "D:\\Game\\datacars\\131\\131.csv");
  EXPECT_EQ(CarDataFilePath("D:/Game//data/", "131"), "D:/Game//data/cars\\131\\131.csv");
}

// The folders a walk up from `folder` looks in, each followed by '|'.
std::string WalkAbove(const std::string& folder) {
  std::string walk;
  for (std::string at = FolderAbove(folder); !at.empty(); at = FolderAbove(at)) walk += at + "|";
  return walk;
}

TEST(FolderAboveTest, WalkStopsAtTheRootOfItsVolume) {
  const std::pair<const char*, const char*> kWalks[] = {
#ifdef _WIN32
      {R"(C:\Games\Kestrune\)", R"(C:\Games\|C:\|)"},
      {R"(\\?\C:\Games\)", R"(\\?\C:\|)"},
      {R"(\\.\D:\Games\)", R"(\\.\D:\|)"},
      // A network item never reaches above its share.
      {R"(\\nas\games\stuff\cars\)", R"(\\nas\games\stuff\|\\nas\games\|)"},
      {"//nas/games/stuff/", "//nas/games/|"},
      {R"(\\?\UNC\nas\games\stuff\)", R"(\\?\UNC\nas\games\|)"},
      {R"(\\?\unc\nas\games\)", ""},
      // No root to stop at, no walk.
      {R"(\\nas\)", ""},
      {R"(C:Games\data\)", ""},
      {R"(\Games\data\)", ""},
      {R"(\\?\Volume{4c1b02c1}\Games\)", ""},
#else
      {R"(\tmp\Games\)", R"(\tmp\|\|)"},
      {"/tmp/Games/", "/tmp/|/|"},
      {"/", ""},
#endif
      {R"(Games\data\)", ""}};
  for (const auto& [folder, walk] : kWalks) EXPECT_EQ(WalkAbove(folder), walk) << folder;
}

// A path in the game written with '/' alone, as Linux shows it (also to a
// program under Wine), leads to the data folder, named with '/' alone.
TEST(DataFolderForTest, PathsWithForwardSlashesNameItWithThem) {
  TempFolder folder;
  MakeGameFolder(folder.path() / "Kestrune" / "data", {"n12", "131"});
#ifdef _WIN32
  const std::string root = LinuxPath(folder.path().string());
  if (root.empty()) GTEST_SKIP() << "Linux paths are Wine's";
#else
  const std::string root = folder.path().generic_string();
#endif
  const std::string game = root + "/Kestrune", data = game + "/data/";
  for (const std::string& typed :
       {game, game + "/", data + "cars", data + "cars/", data + "cars/131", data + "cars/131/",
        data + "cars/131/131.csv", data + "cars/131/131.csv/"}) {
    const TypedDataPath read = ReadTypedDataPath(typed);
    EXPECT_FALSE(read.holdsCars) << typed;
    EXPECT_EQ(read.leadsTo, data) << typed;
    EXPECT_EQ(read.path.find('\\'), std::string::npos) << typed;
  }
  EXPECT_TRUE(ReadTypedDataPath(data.substr(0, data.size() - 1)).holdsCars);
}

class FileExistsTest : public EngineTest {
 protected:
  TempFolder folder_;
  std::string Path(const std::string& name) const {
    return folder_.DataPath() + name;
  }
};

TEST_F(FileExistsTest, TrueOnlyForAReadableFile) {
  WriteBytes(folder_.path() / "file.csv", "x");
  WriteBytes(folder_.path() / "empty.csv", "");
  fs::create_directories(folder_.path() / "folder.csv");
  EXPECT_TRUE(FileExists(Path("file.csv")));
  EXPECT_TRUE(FileExists(Path("empty.csv")));
  EXPECT_FALSE(FileExists(Path("missing.csv")));
  EXPECT_FALSE(FileExists(Path("nofolder\\file.csv")));
  EXPECT_FALSE(FileExists(Path("folder.csv")));
  EXPECT_FALSE(FileExists(""));
}

#ifdef _WIN32
TEST_F(FileExistsTest, FalseWhileAnotherProgramHoldsTheFileExclusively) {
  WriteBytes(folder_.path() / "locked.csv", "x");
  const HANDLE lock = CreateFileA(Path("locked.csv").c_str(), GENERIC_READ, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FileExists(Path("locked.csv")));
  CloseHandle(lock);
  EXPECT_TRUE(FileExists(Path("locked.csv")));
}
#endif

}  // namespace
