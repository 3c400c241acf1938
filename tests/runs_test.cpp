#include <algorithm>
#include <charconv>
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
  return "Updated by the game: " + ids +
         ".\nTheir new files are their backups now, and the level was applied to them. "
         "The old backups are kept beside them.";
}
std::string RestoreFoundUpdates(const std::string& ids) {
  return "Updated by the game: " + ids +
         ".\nThey have the game's own files already, so they were left as they are.";
}
const char kEditAdvice[] =
    "To tweak them, let the game verify its files, then apply again; if a car is named "
    "here again, rename its <car>_backup.csv to <car>_backup_old.csv and apply once more.";
std::string FoundEdits(const std::string& ids, const std::string& advice) {
  return "Changed by hand or by another program after a tweak: " + ids +
         ".\nThey were left as they are. " + advice;
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

// The records of a file's text, without their CR LF.
std::vector<std::string> Records(const std::string& data) {
  std::vector<std::string> records;
  for (std::size_t start = 0; start < data.size();) {
    const std::size_t end = data.find("\r\n", start);
    records.push_back(data.substr(start, end - start));
    start = end + 2;
  }
  return records;
}
std::string Joined(const std::vector<std::string>& records) {
  std::string data;
  for (const auto& record : records) data += record + "\r\n";
  return data;
}

// Car data whose records after the header have these brake fields, in order.
std::string WithBrakes(int seed, const std::vector<std::string>& brakes) {
  std::vector<std::string> records =
      Records(MakeCarData(seed, static_cast<int>(brakes.size()) + 1, "B"));
  for (std::size_t i = 0; i < brakes.size(); ++i) {
    const std::size_t at = records[i + 1].find(",B,");
    records[i + 1].replace(at + 1, 1, brakes[i]);
  }
  return Joined(records);
}

// The text with each record's brake field passed through `rewrite`.
template <typename Rewrite>
std::string MapBrakeFields(const std::string& data, Rewrite rewrite) {
  std::vector<std::string> records = Records(data);
  for (std::string& record : records) {
    std::size_t start = 0;
    int column = 0;
    for (std::size_t comma; column < kBrakeFieldColumn &&
                            (comma = record.find(',', start)) != std::string::npos;
         ++column) {
      start = comma + 1;
    }
    if (column < kBrakeFieldColumn) continue;  // no brake field
    const std::size_t end = std::min(record.find(',', start), record.size());
    record.replace(start, end - start, rewrite(record.substr(start, end - start)));
  }
  return Joined(records);
}

// Numbers written as a spreadsheet saves them, in their shortest form:
// 1.000 becomes 1, 0.500 becomes 0.5.
std::string ShortestForm(const std::string& data) {
  return MapBrakeFields(data, [](const std::string& field) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text,
                                           std::stod(field)).ptr);
  });
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

// The game's own folder, the cars folder, a car's folder or file: each leads
// to the data folder, which the notice names, and nothing changes. A name
// that is not there leads nowhere.
TEST_F(RunsTest, PathsInTheGameNameItsDataFolderAndTouchNothing) {
  const Cars cars = MakeGameFolder(root() / "data", {"131", "n12"});
  const std::string data = path_ + "data\\";
  for (const std::string& typed :
       {path_, data + "cars", data + "cars\\131\\", data + "cars\\131\\131.csv",
        data + "cars\\131\\missing.csv"}) {
    std::string member = typed;
    ClearNotices();
    ApplyRun(member, 2);
    RestoreRun(typed);
    const std::string notice = "Failed to find file '" + member +
                               "cars\\n12\\n12.csv', has the path been entered correctly?" +
                               (typed.ends_with("missing.csv")
                                    ? ""
                                    : " The game's data folder is '" + data + "'.");
    EXPECT_EQ(Notices(), (std::vector<std::string>{notice, notice})) << typed;
  }
  for (const auto& [id, original] : cars) {
    EXPECT_EQ(FolderListing(root() / "data" / "cars" / id), std::vector<std::string>{id + ".csv"});
    EXPECT_EQ(ReadBytes(CarDataFile(root() / "data", id)), original);
  }
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
    EXPECT_EQ(ReadBytes(CarKeptBackupFile(root(), id)), originals.at(id));
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
                FoundEdits("131", kEditAdvice),
                kFinished,
                FoundEdits("131", "To get the game's own files back, let the game "
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

// Game updates whose brake values a level could have given: a change of
// format only, with zero brakes; one value changed to a level's; empty and
// zero fields written as 0.000; records re-sorted. Each is the game's file.
TEST_F(RunsTest, UpdatesThatLookLikeALevelAreTakenAsTheGames) {
  const Cars originals = {{"131", WithBrakes(1, {"0.0", "0.5", "0.0", "1.25"})},
                          {"205", WithBrakes(2, {"2.000", "3.000", "5.000"})},
                          {"207", WithBrakes(3, {"2.5", "3.5", "7.25"})},
                          {"307", WithBrakes(4, {"", "0", "4.5", "6.5"})},
                          {"n12", WithBrakes(5, {"4.000", "2.000", "1.000"})}};
  for (const auto& [id, data] : originals) WriteBytes(CarDataFile(root(), id), data);
  ApplyRun(path_, 2);
  std::vector<std::string> sorted = Records(originals.at("n12"));
  std::rotate(sorted.begin() + 1, sorted.begin() + 2, sorted.end());
  const Cars updates = {{"131", WithBrakes(1, {"0.000", "0.500", "0.000", "1.250"})},
                        {"205", WithBrakes(2, {"1.000", "3.000", "5.000"})},
                        {"207", WithBrakes(3, {"0.000", "3.5", "7.25"})},
                        {"307", WithBrakes(4, {"0.000", "0.000", "4.5", "6.5"})},
                        {"n12", Joined(sorted)}};
  for (const auto& [id, data] : updates) WriteBytes(CarDataFile(root(), id), data);
  ClearNotices();
  ApplyRun(path_, 1);
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           ApplyFoundUpdates("131, 205, 207, 307, n12"), kFinished}));
  ExpectBackups(updates);
  ExpectDataFiles(updates, 1);
  for (const auto& [id, original] : originals) {
    EXPECT_EQ(ReadBytes(CarKeptBackupFile(root(), id)), original) << id;
  }
}

// Tweaked files changed since by another program or by hand: saved with
// numbers in their shortest form, a record added at the top, the first
// record removed, records moved. Each still carries the tweak, so both runs
// leave it alone, and its backup stays the game's file edit after edit.
TEST_F(RunsTest, EditedTweaksAreNeverTakenForTheGames) {
  Cars cars;
  int seed = 10;
  for (const std::string id : {"131", "205", "207", "307", "n12"}) {
    cars[id] = WithBrakes(++seed, {"1.000", "2.5", "4.125", "8", "0.3", "0"});
    WriteBytes(CarDataFile(root(), id), cars[id]);
  }
  ApplyRun(path_, 2);
  const auto edit = [&](const std::string& id, auto change) {
    std::vector<std::string> records = Records(ReadBytes(CarDataFile(root(), id)));
    change(records);
    WriteBytes(CarDataFile(root(), id), Joined(records));
  };
  const auto tweaked = [&](const std::string& id) {
    return ReadBytes(CarDataFile(root(), id));
  };
  WriteBytes(CarDataFile(root(), "131"), ShortestForm(tweaked("131")));
  edit("205", [](auto& r) { r.insert(r.begin(), Records(MakeCarData(9, 1, ""))[0]); });
  edit("207", [](auto& r) { r.erase(r.begin() + 1); });
  edit("307", [](auto& r) { std::reverse(r.begin() + 1, r.end()); });
  Cars edited;
  for (const std::string id : {"131", "205", "207", "307"}) edited[id] = tweaked(id);
  ClearNotices();
  ApplyRun(path_, 3);
  RestoreRun(path_);
  const std::string ids = "131, 205, 207, 307";
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           FoundEdits(ids, kEditAdvice), kFinished,
                           FoundEdits(ids, "To get the game's own files back, let "
                                           "the game verify its files."),
                           Restored(1)[0]}));
  ExpectDataFiles(edited, -1);
  ExpectBackups(cars);

  // A second edit, and an Apply after it.
  edit("131", [](auto& r) { r.pop_back(); });
  ClearNotices();
  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), (std::vector<std::string>{FoundEdits(ids, kEditAdvice), kFinished}));
  ExpectBackups(cars);
  ExpectNoStrayFiles(cars);
}

// A verdict needs a clear margin. 131: every brake new, one of them 50% of
// another's old value; 205: two brakes swapped, one now 50% of its old
// value, so only the values as lists tell it is the game's; 207: one brake
// halved and one new, which tells nothing, so it is left alone; 307: 40 new
// brakes, one of them 50% of its own old value; 405: a tweak with 3 of its
// 10 brakes changed by hand.
TEST_F(RunsTest, ChangedCarsNeedAClearMargin) {
  std::vector<std::string> many(40), manyNew(40);
  for (int i = 0; i < 40; ++i) {
    many[i] = std::to_string(i + 1) + ".0";
    manyNew[i] = i == 5 ? "3.0" : std::to_string(i + 100) + ".5";
  }
  const std::vector<std::string> ten = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
  const Cars originals = {{"131", WithBrakes(1, {"1.0", "2.0", "3.0", "4.0"})},
                          {"205", WithBrakes(2, {"2.0", "1.0"})},
                          {"207", WithBrakes(3, {"2.0", "3.0"})},
                          {"307", WithBrakes(4, many)},
                          {"405", WithBrakes(5, ten)},
                          {"n12", WithBrakes(6, {"1.0"})}};
  for (const auto& [id, data] : originals) WriteBytes(CarDataFile(root(), id), data);
  ApplyRun(path_, 2);
  std::string handEdited = ReadBytes(CarDataFile(root(), "405"));
  int record = 0;
  handEdited = MapBrakeFields(handEdited, [&](const std::string& brake) {
    return ++record % 3 == 0 && record < 11 ? "0.7" : brake;  // the header is first
  });
  const Cars changed = {{"131", WithBrakes(1, {"1.5", "2.5", "1.0", "4.5"})},
                        {"205", WithBrakes(2, {"1.0", "2.0"})},
                        {"207", WithBrakes(3, {"1.0", "5.0"})},
                        {"307", WithBrakes(4, manyNew)},
                        {"405", handEdited}};
  for (const auto& [id, data] : changed) WriteBytes(CarDataFile(root(), id), data);
  ClearNotices();
  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), (std::vector<std::string>{ApplyFoundUpdates("131, 205, 307"),
                                                 FoundEdits("207, 405", kEditAdvice),
                                                 kFinished}));
  for (const std::string id : {"131", "205", "307"}) {
    EXPECT_EQ(ReadBytes(CarBackupFile(root(), id)), changed.at(id)) << id;
  }
  for (const std::string id : {"207", "405"}) {
    EXPECT_EQ(ReadBytes(CarDataFile(root(), id)), changed.at(id)) << id;
    EXPECT_EQ(ReadBytes(CarBackupFile(root(), id)), originals.at(id)) << id;
  }
}

// Changes in a row that the brake values cannot tell apart lose nothing:
// every backup a car ever had stays in its folder under a name of its own,
// and a tweak of an earlier original is taken against that original again.
// 131 is emptied, then its tweaked file written back; 205 gets a column
// inserted, then removed; 207 has three game updates.
TEST_F(RunsTest, EveryBackupStaysThroughChangesInARow) {
  const Cars originals = MakeGameFolder(root(), {"131", "205", "207", "n12"});
  const auto write = [&](const std::string& id, const std::string& bytes) {
    WriteBytes(CarDataFile(root(), id), bytes);
  };
  const auto kept = [&](const std::string& id, int n) {
    return ReadBytes(CarKeptBackupFile(root(), id, n));
  };
  std::vector<std::string> updates;
  for (int seed = 60; seed < 63; ++seed) updates.push_back(MakeCarData(seed, 4, "7.5"));
  ApplyRun(path_, 2);
  const std::string tweaked131 = ReadBytes(CarDataFile(root(), "131"));
  const std::string tweaked205 = ReadBytes(CarDataFile(root(), "205"));
  std::vector<std::string> widened = Records(tweaked205);
  for (std::string& record : widened) record.insert(0, "inserted,");
  write("131", "");
  write("205", Joined(widened));
  write("207", updates[0]);
  ClearNotices();
  ApplyRun(path_, 2);
  write("131", tweaked131);
  write("205", tweaked205);
  write("207", updates[1]);
  ApplyRun(path_, 1);
  write("207", updates[2]);
  RestoreRun(path_);
  ApplyRun(path_, 1);
  const std::string backToEarlier =
      "Tweaked from an older backup: 131, 205.\nThat backup is their backup again, and "
      "the level was applied. The backup it replaces is kept beside it.";
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           ApplyFoundUpdates("131, 205, 207"), kFinished,
                           ApplyFoundUpdates("207"), backToEarlier, kFinished,
                           RestoreFoundUpdates("207"), Restored(3)[0],
                           ApplyFoundUpdates("207"), kFinished}));
  for (const std::string id : {"131", "205"}) {
    EXPECT_EQ(ReadBytes(CarBackupFile(root(), id)), originals.at(id));
    EXPECT_EQ(ReadBytes(CarDataFile(root(), id)), ReferencePatch(originals.at(id), 1));
    EXPECT_EQ(kept(id, 1), originals.at(id));
  }
  EXPECT_EQ(kept("131", 2), "");
  EXPECT_EQ(kept("205", 2), Joined(widened));
  EXPECT_EQ(ReadBytes(CarBackupFile(root(), "207")), updates[2]);
  EXPECT_EQ(kept("207", 1), originals.at("207"));
  EXPECT_EQ(kept("207", 2), updates[0]);
  EXPECT_EQ(kept("207", 3), updates[1]);
  for (const std::string id : {"131", "205", "207"}) {
    EXPECT_EQ(FolderListing(root() / "cars" / id).size(), id == "207" ? 5u : 4u) << id;
  }
}

// Clean-up takes only the names this program's temporary files can have.
TEST_F(RunsTest, PlayersFilesThatLookLikeLeftoversStay) {
  MakeGameFolder(root(), {"n12", "x3x"});
  const fs::path folder = root() / "cars" / "x3x";
  std::vector<std::string> names = {
      "x3x.csv.brake-tweak-notes.txt", "x3x.csv.brake-tweak-settings I like.csv",
      "x3x_backup.csv.brake-tweak-",   "x3x.csv.brake-tweak-Ab12C",
      "x3x.csv.brake-tweak-12-34-56",  "x3x.csv.brake-tweak-012-3"};
  for (const auto& name : names) WriteBytes(folder / name, "the player's");
  WriteBytes(folder / "x3x.csv.brake-tweak-q1W2e3", "left by a dead run");
  WriteBytes(folder / "x3x_backup.csv.brake-tweak-4321-0", "left by a dead run");
  ApplyRun(path_, 2);
  RestoreRun(path_);
  names.insert(names.end(), {"x3x.csv", "x3x_backup.csv"});
  std::sort(names.begin(), names.end());
  EXPECT_EQ(FolderListing(folder), names);
  EXPECT_EQ(ReadBytes(folder / "x3x.csv.brake-tweak-notes.txt"), "the player's");
}

// A lock file left behind by a machine that went down never blocks a run;
// on Windows a run's own lock file goes with the run.
TEST_F(RunsTest, StaleLockFileDoesNotBlock) {
  const Cars cars = MakeGameFolder(root(), {"131", "n12"});
  WriteBytes(root() / "cars" / kFolderLockFileName, "");
  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), std::vector<std::string>{kFinished});
  ExpectDataFiles(cars, 2);
#ifdef _WIN32
  EXPECT_EQ(FolderListing(root() / "cars"), (std::vector<std::string>{"131", "n12"}));
#endif
}

}  // namespace
