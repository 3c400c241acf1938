// Paths and data a player may really give: each ends in the expected result
// or a clear notice, and never costs a file.
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "file_system.h"
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

// Among them names that are not UTF-8 (a lone surrogate as text from Windows
// brings it, too): read leniently, they would be the U+FFFD folder's.
TEST_F(BadInputTest, PathsThatNameNoGameFolderStopWithANotice) {
  const auto cars = MakeGameFolder(folder_.path(), {"n12"});
  MakeGameFolder(folder_.path() / fs::path(u8"\uFFFD"), {"n12"});
  WriteBytes(folder_.path() / "notes.txt", "not a folder");
#ifdef _WIN32
  const std::string missingDrive = "Q:\\Games\\Kestrune\\";
#else
  const std::string missingDrive = "/nonexistent-drive/Games/Kestrune\\";
#endif
  // A file in the game folder leads to it, and the notice names it.
  const std::string named = " The game's data folder is '" + folder_.DataPath() + "'.";
  std::vector<std::pair<std::string, std::string>> typed = {
      {folder_.DataPath() + "notes.txt\\", named}, {folder_.DataPath() + "missing\\", ""},
      {missingDrive, ""}, {folder_.DataPath() + "cars\\n12\\n12.csv\\", named},
      {folder_.DataPath() + "\xFF\\", ""}, {folder_.DataPath() + "\xED\xA0\x80\\", ""}};
#ifdef _WIN32
  // Cut at its NUL, it would name the probe file itself.
  typed.push_back({folder_.DataPath() + "cars\\n12\\n12.csv" + '\0' + "\\", ""});
#endif
  for (auto [path, leads] : typed) {
    ClearNotices();
    ApplyRun(path, 2);
    EXPECT_EQ(Notices(), std::vector<std::string>{ProbeMissing(path) + leads});
    ClearNotices();
    RestoreRun(path);
    EXPECT_EQ(Notices(), std::vector<std::string>{ProbeMissing(path) + leads});
  }
  for (const fs::path& root : {folder_.path(), folder_.path() / fs::path(u8"\uFFFD")}) {
    EXPECT_EQ(ReadBytes(CarDataFile(root, "n12")), cars.at("n12"));
    EXPECT_EQ(FolderListing(root / "cars" / "n12"), std::vector<std::string>{"n12.csv"});
  }
}

TEST_F(BadInputTest, PathOverThirtyTwoThousandCharactersStopsWithANotice) {
  std::string path = folder_.DataPath();
  while (path.size() < 33000) path += std::string(200, 'd') + "\\";
  ApplyRun(path, 2);
  EXPECT_EQ(Notices(), std::vector<std::string>{ProbeMissing(path)});
}

// Past MAX_PATH, also where only the names in the folder are (temporary
// files, backups, the lock, a kept backup), whatever LongPathsEnabled says.
// Past 4096 characters, where Linux and so Wine cannot make the folder, the
// case is left out.
TEST_F(BadInputTest, DeepGameFoldersWork) {
  for (const std::size_t length : {230u, 330u, 4200u}) {
    fs::path root = folder_.path();
    while (root.string().size() < length) {
      root /= std::string(std::min<std::size_t>(120, length - root.string().size()), 'k');
    }
    std::map<std::string, std::string> cars;
    try {
      cars = MakeGameFolder(root, {"n12", "xsa"});
    } catch (const std::exception&) {
      continue;
    }
    const std::string typed = folder_.DataPath() +
                              root.string().substr(folder_.path().string().size() + 1) + "\\";
    const std::string leftover = CarBackupFile(root, "n12").string() + ".brake-tweak-7-7";
    WriteBytes(leftover, "left by a dead run");
    {
      const FolderLock otherRun(typed + "cars");
      RestoreRun(typed);
      EXPECT_EQ(Notices(), std::vector<std::string>{BusyNotice(typed)}) << length;
    }
    ClearNotices();
    ExpectApplyAndRestoreWork(typed, root, cars);
    EXPECT_FALSE(fs::exists(leftover)) << length;

    // A game update while tweaked: the old backup is kept beside the new one.
    std::string member = typed;
    ApplyRun(member, 2);
    WriteBytes(CarDataFile(root, "xsa"), MakeCarData(9, 3, "4.5"));
    ApplyRun(member, 1);
    EXPECT_EQ(ReadBytes(CarDataFile(root, "xsa")), ReferencePatch(MakeCarData(9, 3, "4.5"), 1));
    EXPECT_EQ(ReadBytes(root / "cars" / "xsa" / "xsa_backup_before_update.csv"), cars["xsa"])
        << length;
    ClearNotices();
  }
}

// Where the code page is not UTF-8 too: the program that runs these cases
// without the UTF-8 manifest (LEGACY_CODE_PAGE) makes sure of it.
TEST_F(BadInputTest, NonAsciiFolderNamesWork) {
#ifdef LEGACY_CODE_PAGE
  ASSERT_NE(GetACP(), static_cast<UINT>(CP_UTF8));
#endif
  for (const std::u8string name : {u8"Spiele \u00dcbersicht \u8eca \U0001F3CE",
                                   u8"\u0418\u0433\u0440\u044b \u041a\u0435\u0441\u0442\u0440\u044e\u043d",
                                   u8"\u6e38\u620f \u30b1\u30b9\u30c8\u30eb\u30fc\u30f3"}) {
    const fs::path root = folder_.path() / fs::path(name);
    const auto cars = MakeGameFolder(root, {"n12", "131"});
    const std::u8string typed = root.u8string() + u8"\\";
    ExpectApplyAndRestoreWork(std::string(typed.begin(), typed.end()), root, cars);
    std::string missing = std::string(typed.begin(), typed.end()) + "missing\\";
    RestoreRun(missing);
    EXPECT_EQ(Notices().back(), ProbeMissing(missing));
    ClearNotices();
  }
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
