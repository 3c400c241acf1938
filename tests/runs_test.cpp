#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "car_files.h"
#include "file_system.h"
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

std::string ApplyFoundUpdates(const std::string& ids) {
  return "The game has updated these cars since their backups were made; their "
         "new files are now their backups, the level was applied to them, and "
         "each old backup is kept in the car's folder as "
         "<car>_backup_before_update.csv: " + ids + ".";
}
std::string RestoreFoundUpdates(const std::string& ids) {
  return "The game has updated these cars since their backups were made, so they "
         "already have the game's own files and were left as they are: " + ids + ".";
}
std::string FoundEdits(const std::string& ids, const std::string& advice) {
  return "These cars were changed by another program or by hand after they were "
         "tweaked, so they were left as they are: " + ids + ". " + advice;
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

// A game update replaces data files, after an Apply or after a Restore:
// each becomes its car's new original, and its old backup is kept once.
TEST_F(RunsTest, GameUpdatesBecomeTheNewOriginals) {
  Cars cars = MakeGameFolder(root(), {"131", "n12", "xsa"});
  const Cars originals = cars;
  const auto update = [&](const std::string& id, int seed) {
    cars[id] = MakeCarData(seed, 3, "3.5");
    WriteBytes(CarDataFile(root(), id), cars[id]);
  };
  ApplyRun(path_, 2);
  update("131", 50);  // after an Apply
  ApplyRun(path_, 1);
  RestoreRun(path_);
  update("n12", 51);  // after a Restore
  ApplyRun(path_, 3);
  update("xsa", 52);  // then only a Restore
  RestoreRun(path_);
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           kFinished, ApplyFoundUpdates("131"), kFinished,
                           Restored(3)[0],
                           ApplyFoundUpdates("n12"), kFinished,
                           RestoreFoundUpdates("xsa"), Restored(2)[0]}));
  ExpectDataFiles(cars, -1);
  for (const std::string id : {"131", "n12"}) {
    EXPECT_EQ(ReadBytes(CarBackupFile(root(), id)), cars[id]);
    EXPECT_EQ(ReadBytes(CarPreviousBackupFile(root(), id)), originals.at(id));
  }
  EXPECT_EQ(ReadBytes(CarBackupFile(root(), "xsa")), originals.at("xsa"));

  ClearNotices();
  ApplyRun(path_, 0);  // xsa's update is taken now
  EXPECT_EQ(Notices(), (std::vector<std::string>{ApplyFoundUpdates("xsa"), kFinished}));
  ExpectBackups(cars);
  ExpectDataFiles(cars, 0);
  EXPECT_EQ(FolderListing(root() / "cars" / "xsa"),
            (std::vector<std::string>{"xsa.csv", "xsa_backup.csv",
                                      "xsa_backup_before_update.csv"}));
}

// A tweaked file that something else changed keeps the tweak: neither run
// touches it, and it never becomes a backup.
TEST_F(RunsTest, CarsEditedAfterATweakAreLeftAlone) {
  const Cars cars = MakeGameFolder(root(), {"131", "n12"});
  ApplyRun(path_, 1);
  std::string edited = ReadBytes(CarDataFile(root(), "131"));
  edited.replace(edited.find("part_"), 5, "mod__");  // another mod's change
  edited.insert(edited.find("\r\n") + 2, "an added record\r\n");
  WriteBytes(CarDataFile(root(), "131"), edited);
  ClearNotices();
  ApplyRun(path_, 3);
  RestoreRun(path_);
  EXPECT_EQ(Notices(),
            (std::vector<std::string>{
                FoundEdits("131", "To tweak them again, let the game verify its "
                                  "files, then apply again."),
                kFinished,
                FoundEdits("131", "To put the game's own files back, let the game "
                                  "verify its files."),
                Restored(1)[0]}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), edited);
  ExpectBackups(cars);
  ExpectNoStrayFiles(cars);
}

TEST_F(RunsTest, QuotedPathsWithSpacesServeBothButtons) {
  const Cars cars = MakeGameFolder(root(), {"131", "n12"});
  std::string member = " \t\"" + path_.substr(0, path_.size() - 1) + "\"  ";
  ApplyRun(member, 2);
  EXPECT_EQ(member, path_);
  ExpectDataFiles(cars, 2);
  RestoreRun("\"" + path_ + "\"\r\n");
  ExpectDataFiles(cars, -1);
  std::string wrong = "  \"" + path_ + "nowhere\"";
  ApplyRun(wrong, 2);
  RestoreRun(wrong);
  const std::string missing = "Failed to find file '" + path_ +
                              "nowhere\\cars\\n12\\n12.csv', has the path been "
                              "entered correctly?";
  EXPECT_EQ(Notices(), (std::vector<std::string>{kFinished, Restored(2)[0], missing,
                                                 missing}));
}

// Only this program's temporary files are cleared, and only where no other
// run may be writing them: a second run at the same time is turned away.
TEST_F(RunsTest, LeftoversAreClearedAndAnotherRunIsTurnedAway) {
  const Cars cars = MakeGameFolder(root(), {"131", "n12"});
  const fs::path folder = root() / "cars" / "131";
  const std::vector<std::string> others = {"131.csv.Ab12Cd", "131.csv.brake-tweak",
                                           "notes.brake-tweak-1"};
  for (const auto& name : others) WriteBytes(folder / name, "not ours");
  WriteBytes(folder / "131.csv.brake-tweak-Ab12Cd", "half a file");
  WriteBytes(folder / "131_backup.csv.brake-tweak-4321-99", "half a backup");
  {
    const FolderLock otherRun(path_ + "cars");
    ASSERT_TRUE(otherRun.held());
    ApplyRun(path_, 2);
    RestoreRun(path_);
  }
  EXPECT_EQ(Notices(),
            (std::vector<std::string>{BusyNotice(path_), BusyNotice(path_)}));
  ExpectDataFiles(cars, -1);
  EXPECT_EQ(FolderListing(folder).size(), 6u);
  ApplyRun(path_, 2);
  ExpectDataFiles(cars, 2);
  std::vector<std::string> left = others;
  left.insert(left.end(), {"131.csv", "131_backup.csv"});
  std::sort(left.begin(), left.end());
  EXPECT_EQ(FolderListing(folder), left);
}

}  // namespace
