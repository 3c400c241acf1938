// Kills a child process in the middle of Apply and Restore on a 47-car
// folder, some of whose cars the game has updated since an earlier Apply,
// again and again: no file may ever be lost or half-written, and the next
// runs must give exactly the expected files. Also two runs at once.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "fault_shim.h"
#include "runs.h"
#include "test_support.h"

namespace {

using Cars = std::map<std::string, std::string>;

// A car's original data and, for a car the game has updated since an earlier
// Apply (its data file replaced, its backup still the old original), the
// game's new file.
struct Car {
  std::string original;
  std::string update;  // empty when not updated
};
using GameFolder = std::map<std::string, Car>;

constexpr int kLevel = 2;
constexpr long kCallKillPoints = 240;  // at evenly spread file calls
constexpr int kTimedKillPoints = 60;   // at random moments

void ApplyThenRestore(const std::string& path) {
  std::string member = path;
  ApplyRun(member, kLevel);
  RestoreRun(path);
}

struct Tally {
  int killPoints = 0;
  int filesChecked = 0;
  int filesLost = 0;
  int strayFiles = 0;
};

// Checks one car after a kill: every file whole, and the old backup or the
// game's new file always there under its own name. Returns the files lost.
int CarFilesLost(const fs::path& root, const std::string& id, const Car& car,
                 const std::string& where) {
  const std::string data = ReadBytes(CarDataFile(root, id));
  const fs::path backup = CarBackupFile(root, id);
  const std::string backupBytes = fs::exists(backup) ? ReadBytes(backup) : "";
  int lost = 0;
  if (car.update.empty()) {
    lost += data != car.original && data != ReferencePatch(car.original, kLevel);
    lost += fs::exists(backup) && backupBytes != car.original;
  } else {
    const fs::path previous = CarKeptBackupFile(root, id);
    const bool oldKept = backupBytes == car.original ||
                         (fs::exists(previous) && ReadBytes(previous) == car.original);
    lost += data != car.update &&
            (data != ReferencePatch(car.update, kLevel) || backupBytes != car.update);
    lost += !oldKept;
    lost += fs::exists(backup) && backupBytes != car.original &&
            backupBytes != car.update;
  }
  if (lost > 0) ADD_FAILURE() << where << ": files of " << id << " damaged";
  return lost;
}

// Runs Apply and Restore in a child that dies either at its n-th file call
// (n > 0) or after `delay`, then checks every car and runs both again. A
// killed process loses nothing it wrote, on a disk or in memory, so the
// folders are in memory, where the runs need not wait for the disk.
void CrashAndCheck(const fs::path& pristine, long n,
                   std::chrono::microseconds delay, const GameFolder& cars,
                   Tally& tally) {
  TempFolder folder(true);
  fs::copy(pristine, folder.path(), fs::copy_options::recursive);
  const std::string path = folder.DataPath();
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (n > 0) FaultArm(n, kFaultKill);
    ApplyThenRestore(path);
    _exit(0);
  }
  if (n == 0) {
    std::this_thread::sleep_for(delay);
    kill(child, SIGKILL);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (n > 0) {
    EXPECT_TRUE(WIFSIGNALED(status)) << "call " << n << " was never made";
  }
  ++tally.killPoints;
  const std::string where =
      n > 0 ? "killed at call " + std::to_string(n)
            : "killed after " + std::to_string(delay.count()) + " us";

  for (const auto& [id, car] : cars) {
    tally.filesChecked += 2;
    tally.filesLost += CarFilesLost(folder.path(), id, car, where);
    for (const auto& name : FolderListing(folder.path() / "cars" / id)) {
      tally.strayFiles += name.find(".brake-tweak-") != std::string::npos;
    }
  }

  // The next runs give the expected files and clear away what the kill left.
  ClearNotices();
  std::string member = path;
  ApplyRun(member, kLevel);
  for (const auto& [id, car] : cars) {
    const std::string& original = car.update.empty() ? car.original : car.update;
    ASSERT_EQ(ReadBytes(CarDataFile(folder.path(), id)),
              ReferencePatch(original, kLevel)) << where << ": " << id;
    ASSERT_EQ(ReadBytes(CarBackupFile(folder.path(), id)), original) << where;
  }
  RestoreRun(path);
  for (const auto& [id, car] : cars) {
    const std::string& original = car.update.empty() ? car.original : car.update;
    ASSERT_EQ(ReadBytes(CarDataFile(folder.path(), id)), original) << where;
    std::vector<std::string> expected = {id + ".csv", id + "_backup.csv"};
    if (!car.update.empty()) {
      expected.push_back(id + "_backup_before_update.csv");
      EXPECT_EQ(ReadBytes(CarKeptBackupFile(folder.path(), id)), car.original);
    }
    ASSERT_EQ(FolderListing(folder.path() / "cars" / id), expected) << where;
  }
  // Cars whose update the kill cut short are named once more.
  const std::size_t count = Notices().size();
  ASSERT_GE(count, 2u);
  EXPECT_TRUE(count == 2 || Notices()[0].starts_with("Updated by the game"));
  EXPECT_EQ(Notices()[count - 2], "Tweak process finished") << where;
  EXPECT_EQ(Notices()[count - 1], "Restored backup copies of 47 files") << where;
}

TEST(CrashTest, KillsAnywhereLoseNothing) {
  TempFolder pristine(true);
  GameFolder cars;
  int seed = 100;
  for (const auto& [id, original] : MakeGameFolder(pristine.path())) {
    cars[id].original = original;
    if (++seed % 4 != 0) continue;
    cars[id].update = MakeCarData(seed, 3, "9.75");
    WriteBytes(CarBackupFile(pristine.path(), id), original);
    WriteBytes(CarDataFile(pristine.path(), id), cars[id].update);
  }

  // Count the file calls of one whole run and time it.
  long totalCalls = 0;
  std::chrono::microseconds runTime{};
  {
    TempFolder folder(true);
    fs::copy(pristine.path(), folder.path(), fs::copy_options::recursive);
    const auto start = std::chrono::steady_clock::now();
    FaultArm(0, kFaultFail);
    ApplyThenRestore(folder.DataPath());
    totalCalls = FaultDisarm();
    runTime = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
  }
  ASSERT_GT(totalCalls, kCallKillPoints);

  Tally tally;
  for (long k = 0; k < kCallKillPoints && !HasFatalFailure(); ++k) {
    const long n = 1 + k * (totalCalls - 1) / (kCallKillPoints - 1);
    CrashAndCheck(pristine.path(), n, {}, cars, tally);
  }
  std::mt19937 random(47);
  for (int k = 0; k < kTimedKillPoints && !HasFatalFailure(); ++k) {
    const std::chrono::microseconds delay(random() % (runTime.count() * 3 / 2 + 1));
    CrashAndCheck(pristine.path(), 0, delay, cars, tally);
  }
  std::printf(
      "crash test: %d kill points tried (%ld file calls in a whole run of %lld "
      "ms), %d files checked, %d files lost, %d temporary files left by kills "
      "(all cleared by the next runs)\n",
      tally.killPoints, totalCalls,
      static_cast<long long>(runTime.count() / 1000), tally.filesChecked,
      tally.filesLost, tally.strayFiles);
  EXPECT_EQ(tally.filesLost, 0);
}

}  // namespace

namespace {

// Starts an Apply in a child and stops it inside its first backup copy, before
// it reads car 131's data file: the moment at which a second run could slip
// in. (Its first temporary file is the test of whether it may write.)
pid_t StartStoppedApply(const std::string& path, int level) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    FaultArmCall("mkstemp", 2, kFaultPause);
    std::string member = path;
    ApplyRun(member, level);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, WUNTRACED);
  EXPECT_TRUE(WIFSTOPPED(status));
  return child;
}

void LetFinish(pid_t child) {
  kill(child, SIGCONT);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(RaceTest, TwoRunsAtOnceNeverMakeATweakedFileTheBackup) {
  for (const bool otherRunTakesTheLock : {true, false}) {
    TempFolder folder;
    const Cars cars = MakeGameFolder(folder.path(), {"131", "n12"});
    const std::string path = folder.DataPath();
    const pid_t first = StartStoppedApply(path, 1);
    if (otherRunTakesTheLock) {
      // The second run is turned away and changes nothing.
      ClearNotices();
      std::string member = path;
      ApplyRun(member, 2);
      RestoreRun(path);
      EXPECT_EQ(Notices(),
                (std::vector<std::string>{BusyNotice(path), BusyNotice(path)}));
      EXPECT_TRUE(ReadBytes(CarDataFile(folder.path(), "131")) == cars.at("131"));
    } else {
      // A run that takes no lock backs up and patches car 131 first; the
      // stopped run then finds the tweaked file and must not back it up.
      WriteBytes(CarBackupFile(folder.path(), "131"), cars.at("131"));
      WriteBytes(CarDataFile(folder.path(), "131"), ReferencePatch(cars.at("131"), 2));
    }
    LetFinish(first);
    for (const auto& [id, original] : cars) {
      EXPECT_TRUE(ReadBytes(CarBackupFile(folder.path(), id)) == original) << id;
      EXPECT_TRUE(ReadBytes(CarDataFile(folder.path(), id)) ==
                  ReferencePatch(original, 1)) << id;
    }
  }
}

}  // namespace
