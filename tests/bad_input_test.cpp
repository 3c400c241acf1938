// Paths and data a player may really give: each ends in the expected result
// or a clear notice, and never costs a file.
#include <random>
#include <string>
#include <vector>

#include "record_patch.h"
#include "runs.h"
#include "test_support.h"

namespace {

const char kFinished[] = "Tweak process finished";

std::string ProbeMissing(const std::string& path) {
  return "Failed to find file '" + path +
         "cars\\n12\\n12.csv', has the path been entered correctly?";
}

class BadInputTest : public EngineTest {
 protected:
  // Applies at level 2 and restores through `typed`, checking every file.
  void ExpectApplyAndRestoreWork(const std::string& typed, const fs::path& root,
                                 const std::map<std::string, std::string>& cars) {
    std::string member = typed;
    ApplyRun(member, 2);
    for (const auto& [id, original] : cars) {
      EXPECT_EQ(ReadBytes(CarDataFile(root, id)), ReferencePatch(original, 2)) << id;
      EXPECT_EQ(ReadBytes(CarBackupFile(root, id)), original) << id;
    }
    RestoreRun(typed);
    for (const auto& [id, original] : cars) {
      EXPECT_EQ(ReadBytes(CarDataFile(root, id)), original) << id;
    }
    EXPECT_EQ(Notices(), (std::vector<std::string>{
                             kFinished, "Restored backup copies of " +
                                            std::to_string(cars.size()) + " files"}));
  }
  TempFolder folder_;
};

TEST_F(BadInputTest, ForwardSlashesWork) {
  const auto cars = MakeGameFolder(folder_.path(), {"n12", "tun"});
  ExpectApplyAndRestoreWork(folder_.path().generic_string() + "/", folder_.path(), cars);
}

TEST_F(BadInputTest, PathsThatNameNoGameFolderStopWithANotice) {
  const auto cars = MakeGameFolder(folder_.path(), {"n12"});
  WriteBytes(folder_.path() / "notes.txt", "not a folder");
#ifdef _WIN32
  const std::string missingDrive = "Q:\\Games\\Kestrune\\";
#else
  const std::string missingDrive = "/nonexistent-drive/Games/Kestrune\\";
#endif
  const std::vector<std::string> typed = {
      folder_.DataPath() + "notes.txt\\", folder_.DataPath() + "missing\\",
      missingDrive, folder_.DataPath() + "cars\\n12\\n12.csv\\"};
  for (std::string path : typed) {
    ClearNotices();
    ApplyRun(path, 2);
    EXPECT_EQ(Notices(), std::vector<std::string>{ProbeMissing(path)});
    ClearNotices();
    RestoreRun(path);
    EXPECT_EQ(Notices(), std::vector<std::string>{ProbeMissing(path)});
  }
  EXPECT_EQ(ReadBytes(CarDataFile(folder_.path(), "n12")), cars.at("n12"));
  EXPECT_EQ(FolderListing(folder_.path() / "cars" / "n12"),
            std::vector<std::string>{"n12.csv"});
}

TEST_F(BadInputTest, PathOverThirtyTwoThousandCharactersStopsWithANotice) {
  std::string path = folder_.DataPath();
  while (path.size() < 33000) path += std::string(200, 'd') + "\\";
  ApplyRun(path, 2);
  EXPECT_EQ(Notices(), std::vector<std::string>{ProbeMissing(path)});
}

// A game folder whose full path runs past 260 and past 4096 characters.
// Linux takes both. Windows takes them where long paths are enabled; where
// not, each file the program cannot reach is named in a notice.
TEST_F(BadInputTest, DeepGameFoldersWorkOrFailSafely) {
  for (std::size_t length : {300u, 4200u}) {
    fs::path root = folder_.path();
    while (root.string().size() < length) root /= std::string(120, 'k');
    std::map<std::string, std::string> cars;
    try {
      cars = MakeGameFolder(root, {"n12", "xsa"});
    } catch (const std::exception&) {
      continue;  // this system cannot hold such a folder at all
    }
    const std::string typed = folder_.DataPath() +
                              root.string().substr(folder_.path().string().size() + 1);
    ClearNotices();
    std::string member = typed;
    ApplyRun(member, 2);
    RestoreRun(typed);
    const std::vector<std::string> worked = {kFinished,
                                             "Restored backup copies of 2 files"};
#ifndef _WIN32
    EXPECT_EQ(Notices(), worked) << length;
#endif
    if (Notices() != worked) {
      EXPECT_EQ(Notices().front().rfind("Failed to", 0), 0u) << Notices().front();
    }
    for (const auto& [id, original] : cars) {
      const std::string data = ReadBytes(CarDataFile(root, id));
      EXPECT_TRUE(data == original || data == ReferencePatch(original, 2)) << id;
      if (fs::exists(CarBackupFile(root, id))) {
        EXPECT_EQ(ReadBytes(CarBackupFile(root, id)), original) << id;
      }
    }
  }
}

TEST_F(BadInputTest, NonAsciiFolderNamesWork) {
  const std::u8string name = u8"Spiele \u00dcbersicht \u8eca \U0001F3CE";
  const fs::path root = folder_.path() / fs::path(name);
  const auto cars = MakeGameFolder(root, {"n12", "131"});
  const std::u8string typed = root.u8string() + u8"\\";
  ExpectApplyAndRestoreWork(std::string(typed.begin(), typed.end()), root, cars);
}

TEST_F(BadInputTest, GarbageEmptyAndHugeDataFilesFollowTheStreamRules) {
  std::mt19937 random(1);
  std::string garbage(300000, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  std::string huge;
  const std::string record = MakeCarData(5, 2, "81.5").substr(1300);
  while (huge.size() < 100 * 1000 * 1000) huge += record;
  const std::map<std::string, std::string> cars = {
      {"131", garbage}, {"n12", ""}, {"xsa", huge}};
  for (const auto& [id, contents] : cars) {
    WriteBytes(CarDataFile(folder_.path(), id), contents);
  }
  ExpectApplyAndRestoreWork(folder_.DataPath(), folder_.path(), cars);
}

}  // namespace
