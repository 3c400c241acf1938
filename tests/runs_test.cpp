#include <map>
#include <string>
#include <vector>

#include "car_files.h"
#include "record_patch.h"
#include "runs.h"
#include "test_support.h"

namespace {

using Cars = std::map<std::string, std::string>;

const char kFinished[] = "Tweak process finished";
const char kEnterPath[] = "Please enter the path for the game's data files";

std::vector<std::string> Restored(int count) {
  return {"Restored backup copies of " + std::to_string(count) + " files"};
}

// Field 278 of the given record of a data file's text.
std::string BrakeField(const std::string& data, int record) {
  std::size_t start = 0;
  for (int r = 0; r < record; ++r) start = data.find("\r\n", start) + 2;
  for (int column = 0; column < kBrakeFieldColumn; ++column) {
    start = data.find(',', start) + 1;
  }
  return data.substr(start, data.find_first_of(",\r", start) - start);
}

class RunsTest : public EngineTest {
 protected:
  void ExpectDataFiles(const Cars& cars, int level) {
    for (const auto& [id, original] : cars) {
      EXPECT_EQ(ReadBytes(CarDataFile(root(), id)),
                level < 0 ? original : ReferencePatch(original, level))
          << id << " at level " << level;
    }
  }
  void ExpectBackups(const Cars& cars) {
    for (const auto& [id, original] : cars) {
      EXPECT_EQ(ReadBytes(CarBackupFile(root(), id)), original) << id;
    }
  }
  // Each car folder holds its data file and backup and nothing else.
  void ExpectNoStrayFiles(const Cars& cars) {
    for (const auto& [id, original] : cars) {
      EXPECT_EQ(FolderListing(root() / "cars" / id),
                (std::vector<std::string>{id + ".csv", id + "_backup.csv"}));
    }
  }
  const fs::path& root() const { return folder_.path(); }

  TempFolder folder_;
  std::string path_ = folder_.DataPath();
};

TEST_F(RunsTest, ApplyAtTwoLevelsThenRestoreOnFortySevenCars) {
  const Cars cars = MakeGameFolder(root());
  ASSERT_EQ(cars.size(), 47u);

  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), std::vector<std::string>{kFinished});
  ExpectBackups(cars);
  ExpectDataFiles(cars, 2);
  // Car 131's brake value 1.15 halved, as a player would check it.
  EXPECT_EQ(BrakeField(ReadBytes(CarDataFile(root(), "131")), 1), "0.575");
  EXPECT_EQ(BrakeField(ReadBytes(CarDataFile(root(), "131")), 0), "0.000");

  ClearNotices();
  ApplyRun(path_, 0);
  ApplyRun(path_, 3);
  EXPECT_EQ(Notices(), (std::vector<std::string>{kFinished, kFinished}));
  ExpectBackups(cars);
  ExpectDataFiles(cars, 3);  // from the backup, never compounded

  ClearNotices();
  RestoreRun(path_);
  EXPECT_EQ(Notices(), Restored(47));
  ExpectDataFiles(cars, -1);
  ExpectBackups(cars);
  ExpectNoStrayFiles(cars);
}

TEST_F(RunsTest, UntouchedLevelStillBacksUpAndRewrites) {
  const Cars cars = MakeGameFolder(root(), {"n12", "tun"});
  ApplyRun(path_, kUntouchedLevel);
  ExpectBackups(cars);
  ExpectDataFiles(cars, kUntouchedLevel);
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "tun")), cars.at("tun") + "\r\n\r\n");
}

TEST_F(RunsTest, OnlyCarsWithDataFilesAreTouched) {
  const Cars cars = MakeGameFolder(root(), {"131", "n12", "xsa"});
  WriteBytes(CarBackupFile(root(), "paj"), "a lone backup");
  ApplyRun(path_, 1);
  EXPECT_EQ(Notices(), std::vector<std::string>{kFinished});
  ExpectBackups(cars);
  ExpectDataFiles(cars, 1);
  EXPECT_EQ(FolderListing(root() / "cars"),
            (std::vector<std::string>{"131", "n12", "paj", "xsa"}));
  EXPECT_EQ(FolderListing(root() / "cars" / "paj"),
            std::vector<std::string>{"paj_backup.csv"});

  ClearNotices();
  RestoreRun(path_);
  EXPECT_EQ(Notices(), Restored(3));
  EXPECT_FALSE(fs::exists(CarDataFile(root(), "paj")));
}

TEST_F(RunsTest, EmptyPathStopsBothRuns) {
  std::string empty;
  ApplyRun(empty, 2);
  RestoreRun(empty);
  EXPECT_EQ(Notices(), (std::vector<std::string>{kEnterPath, kEnterPath}));
  EXPECT_EQ(empty, "");
}

TEST_F(RunsTest, MissingProbeNamesTheFileTestedAndTouchesNothing) {
  const Cars cars = MakeGameFolder(root(), {"131"});
  std::string typed = path_.substr(0, path_.size() - 1);  // no backslash
  ApplyRun(typed, 2);
  EXPECT_EQ(typed, path_);
  EXPECT_EQ(Notices(), std::vector<std::string>{
                           "Failed to find file '" + path_ +
                           "cars\\n12\\n12.csv', has the path been entered "
                           "correctly?"});
  ExpectDataFiles(cars, -1);
  EXPECT_FALSE(fs::exists(CarBackupFile(root(), "131")));
}

TEST_F(RunsTest, PathWithoutTrailingBackslashServesBothButtons) {
  const Cars cars = MakeGameFolder(root());
  const std::string typed = path_.substr(0, path_.size() - 1);
  std::string member = typed;
  ApplyRun(member, 2);
  EXPECT_EQ(member, typed + "\\");
  ExpectDataFiles(cars, 2);
  RestoreRun(typed);
  EXPECT_EQ(Notices(), (std::vector<std::string>{kFinished, Restored(47)[0]}));
  ExpectDataFiles(cars, -1);
}

TEST_F(RunsTest, RestoreBeforeAnyApplyRestoresNothing) {
  const Cars cars = MakeGameFolder(root());
  RestoreRun(path_);
  EXPECT_EQ(Notices(), Restored(0));
  ExpectDataFiles(cars, -1);
}

TEST_F(RunsTest, FilesLeftByAnInterruptedRunAreIgnored) {
  const Cars cars = MakeGameFolder(root(), {"131", "n12"});
  const fs::path folder = root() / "cars" / "131";
  WriteBytes(folder / "131.csv.Ab12Cd", "half a file");
  WriteBytes(folder / "131_backup.csv.1234-5678.tmp", "half a backup");
  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), std::vector<std::string>{kFinished});
  ExpectBackups(cars);
  ExpectDataFiles(cars, 2);
  EXPECT_EQ(FolderListing(folder),
            (std::vector<std::string>{"131.csv", "131.csv.Ab12Cd", "131_backup.csv",
                                      "131_backup.csv.1234-5678.tmp"}));
}

}  // namespace
