// What a game folder holds, read for the player: every condition a car can be
// in, the level read from each tweaked file, and a read that changes nothing.
#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "car_files.h"
#include "car_state.h"
#include "game_state.h"
#include "record_patch.h"
#include "runs.h"
#include "test_support.h"

namespace {

using Condition = CarCondition;
using Path = GameFolderState::Path;

class GameStateTest : public EngineTest {
 protected:
  GameFolderState Read(const std::string& typed) {
    const std::atomic<bool> stop = false;
    return ReadGameFolderState(typed, stop);
  }
  // The condition and, for a tweak, the level of each car, as "cond/level".
  static std::map<std::string, std::string> Cars(const GameFolderState& state) {
    std::map<std::string, std::string> cars;
    for (std::size_t i = 0; i < kCarIds.size(); ++i) {
      const GameFolderState::Car& car = state.cars[i];
      cars[kCarIds[i]] = car.condition == Condition::kTweaked ? Tweaked(car.level)
                                                              : Plain(car.condition);
    }
    return cars;
  }
  static std::string Tweaked(int level) {
    return std::to_string(static_cast<int>(Condition::kTweaked)) + "/" +
           std::to_string(level);
  }
  static std::string Plain(Condition condition) {
    return std::to_string(static_cast<int>(condition));
  }

  TempFolder folder_;
  fs::path root_ = folder_.path();
  std::string path_ = folder_.DataPath();
};

// A folder of every kind of car: each condition, each level, read from the
// files; a tweak that every level explains takes the level most cars have.
TEST_F(GameStateTest, EveryConditionAndLevelIsReadFromTheFiles) {
  std::vector<std::string> ids(kCarIds.begin(), kCarIds.end() - 2);  // x3x, xsa missing
  auto cars = MakeGameFolder(root_, ids);
  cars["del"] = MakeCarData(7, 4, "0");  // every brake 0: each level writes 0.000
  WriteBytes(CarDataFile(root_, "del"), cars["del"]);
  ApplyRun(path_, 2);
  // The game updated c6r, and the next Apply made its new file the backup;
  // then a sync client wrote back the older tweak.
  const std::string oldTweak = ReadBytes(CarDataFile(root_, "c6r"));
  WriteBytes(CarDataFile(root_, "c6r"), MakeCarData(92, 3, "4.25"));
  ApplyRun(path_, 2);
  WriteBytes(CarDataFile(root_, "c6r"), oldTweak);
  for (const auto& [id, level] : std::map<std::string, int>{
           {"131", 0}, {"205", 1}, {"207", 3}, {"307", 4}}) {
    WriteBytes(CarDataFile(root_, id), PatchBytes(cars[id], level));
  }
  WriteBytes(CarDataFile(root_, "405"), cars["405"]);                // restored
  WriteBytes(CarDataFile(root_, "555"), MakeCarData(90, 3, "9.5"));  // the game's update
  const std::string tweak = ReadBytes(CarDataFile(root_, "aqp"));
  WriteBytes(CarDataFile(root_, "aqp"), MakeCarData(91, 1, "x") + tweak);  // an edit
  fs::remove(CarBackupFile(root_, "att"));  // installed after the Apply
  fs::remove(CarDataFile(root_, "bah"));
  fs::create_directory(CarDataFile(root_, "bah"));  // no file at all
  fs::remove(CarBackupFile(root_, "bss"));
  fs::create_directory(CarBackupFile(root_, "bss"));
  ClearNotices();

  const GameFolderState state = Read(path_);
  EXPECT_EQ(state.path, Path::kDataFolder);
  EXPECT_EQ(state.dataFolder, path_);
  EXPECT_TRUE(state.complete);
  std::map<std::string, std::string> expected;
  for (const std::string& id : ids) expected[id] = Tweaked(2);  // c6r and del among them
  expected["131"] = Tweaked(0);
  expected["205"] = Tweaked(1);
  expected["207"] = Tweaked(3);
  expected["307"] = Tweaked(4);
  expected["405"] = Plain(Condition::kGamesOwn);
  expected["att"] = Plain(Condition::kGamesOwn);
  expected["555"] = Plain(Condition::kUpdated);
  expected["aqp"] = Plain(Condition::kChanged);
  expected["bah"] = Plain(Condition::kUnreadable);
  expected["bss"] = Plain(Condition::kUnreadable);
  expected["x3x"] = Plain(Condition::kNotInstalled);
  expected["xsa"] = Plain(Condition::kNotInstalled);
  EXPECT_EQ(Cars(state), expected);
  EXPECT_EQ(state.CountAt(2), 35);
  EXPECT_EQ(state.Count(Condition::kTweaked), 39);
  EXPECT_EQ(state.Count(Condition::kNotInstalled), 2);
  EXPECT_TRUE(Notices().empty());
}

// Restored, every car is the game's own; tweaked at one level, every car
// reads as that level, the one whose brakes are all 0 too.
TEST_F(GameStateTest, RestoredAndAppliedFoldersReadAsAWhole) {
  MakeGameFolder(root_);
  WriteBytes(CarDataFile(root_, "del"), MakeCarData(7, 4, "0"));
  EXPECT_EQ(Read(path_).Count(Condition::kGamesOwn), 47);
  for (const int level : {3, 0, 4}) {
    ApplyRun(path_, level);
    EXPECT_EQ(Read(path_).CountAt(level), 47) << level;
  }
  RestoreRun(path_);
  EXPECT_EQ(Read(path_).Count(Condition::kGamesOwn), 47);
}

// Typed paths are taken as the buttons take them; a path in the game names
// its data folder, anything else nothing.
TEST_F(GameStateTest, PathsAreReadAsTheButtonsReadThem) {
  MakeGameFolder(root_ / "data", {"n12", "131"});
  const std::string data = path_ + "data\\";
  for (const std::string& typed : {data, "  \"" + data.substr(0, data.size() - 1) + "\" "}) {
    const GameFolderState state = Read(typed);
    EXPECT_EQ(state.path, Path::kDataFolder) << typed;
    EXPECT_EQ(state.dataFolder, data) << typed;
    EXPECT_EQ(state.Count(Condition::kGamesOwn), 2) << typed;
    EXPECT_EQ(state.Count(Condition::kNotInstalled), 45) << typed;
  }
  for (const std::string& typed : {path_, data + "cars\\n12\\"}) {
    const GameFolderState state = Read(typed);
    EXPECT_EQ(state.path, Path::kLeadsToDataFolder) << typed;
    EXPECT_EQ(state.dataFolder, data) << typed;
  }
  for (const std::string& typed : {std::string(), std::string("  "), path_ + "nowhere\\"}) {
    EXPECT_EQ(Read(typed).path, Path::kNoGame) << typed;
    EXPECT_TRUE(Read(typed).dataFolder.empty()) << typed;
  }
}

// A read leaves every file as it was, what a dead run left included, which
// only a run clears; and it stops when asked.
TEST_F(GameStateTest, ReadingChangesNothingAndStopsWhenAsked) {
  const auto cars = MakeGameFolder(root_);
  ApplyRun(path_, 1);
  WriteBytes(CarDataFile(root_, "131"), MakeCarData(3, 2, "1.5"));
  const fs::path leftover = CarDataFile(root_, "205").string() + ".brake-tweak-abc123";
  WriteBytes(leftover, "half");
  std::map<std::string, std::string> before;
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (entry.is_regular_file()) before[entry.path().string()] = ReadBytes(entry.path());
  }
  const GameFolderState state = Read(path_);
  EXPECT_EQ(state.CountAt(1), 46);
  EXPECT_EQ(state.Count(Condition::kUpdated), 1);
  std::map<std::string, std::string> after;
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (entry.is_regular_file()) after[entry.path().string()] = ReadBytes(entry.path());
  }
  EXPECT_EQ(after, before);

  const std::atomic<bool> stop = true;
  const GameFolderState stopped = ReadGameFolderState(path_, stop);
  EXPECT_FALSE(stopped.complete);
  EXPECT_EQ(stopped.Count(Condition::kTweaked), 0);
}

#ifdef _WIN32
// Another program holds the probe file (n12's data file) and lets it go
// 600 ms later: a read that waited for it would find n12 readable, and a
// path in the game would lead nowhere after the wait. Read at once, the
// probe counts as there, its car as unreadable, and the path leads to the
// data folder.
TEST_F(GameStateTest, AHeldProbeIsReadAtOnce) {
  MakeGameFolder(root_ / "data", {"n12", "131"});
  const std::string data = path_ + "data\\";
  const HANDLE held = CreateFileA(CarDataFile(root_ / "data", "n12").string().c_str(),
                                  GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const auto start = std::chrono::steady_clock::now();
  const GameFolderState leads = Read(path_);
  std::thread letGo([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    CloseHandle(held);
  });
  const GameFolderState state = Read(data);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start).count();
  letGo.join();
  EXPECT_EQ(leads.path, Path::kLeadsToDataFolder);
  EXPECT_EQ(leads.dataFolder, data);
  EXPECT_EQ(state.path, Path::kDataFolder);
  EXPECT_EQ(Cars(state)["n12"], Plain(Condition::kUnreadable));
  EXPECT_EQ(Cars(state)["131"], Plain(Condition::kGamesOwn));
  std::printf("both reads with the probe held: %lld ms\n", static_cast<long long>(ms));
}
#endif

// A tweaked car reads as every level whose patch it is, and no other: where
// levels write the same brake text for a run of records (zeros, values too
// small to show at a quarter) and where they part from one record to the
// next, in either order.
TEST(CarLevelsTest, ATweakReadsAsEveryLevelWhosePatchItIs) {
  const std::vector<std::vector<std::string>> brakeRuns = {
      {"0"}, {"0.000"}, {""}, {"-0"}, {"0.001"}, {"0.002"}, {"4"}, {"1e-9", "-0.0004"},
      {"0", "0", "0.004", "0"}, {"0.001", "0.001", "2", "0.001"}, {"7.5", "0"}};
  const TempFolder folder(true);
  const fs::path backupFile = folder.path() / "backup.csv";
  const fs::path dataFile = folder.path() / "data.csv";
  for (const std::vector<std::string>& brakes : brakeRuns) {
    std::string backup;
    for (int record = 0; record < 30; ++record) {
      backup += "r" + std::to_string(record) + std::string(kBrakeFieldColumn, ',') +
                brakes[record % brakes.size()] + ",x\r\n";
    }
    WriteBytes(backupFile, backup);
    for (int level = 0; level <= kUntouchedLevel; ++level) {
      const std::string data = PatchBytes(backup, level);
      unsigned expected = 0;
      for (int other = 0; other <= kUntouchedLevel; ++other) {
        if (PatchBytes(backup, other) == data) expected |= 1u << other;
      }
      WriteBytes(dataFile, data);
      unsigned levels = 0;
      EXPECT_EQ(ReadCarState(dataFile.string(), backupFile.string(), &levels), CarState::kTweaked)
          << brakes[0] << ", level " << level;
      EXPECT_EQ(levels, expected) << brakes[0] << ", level " << level;
    }
  }
}

}  // namespace
