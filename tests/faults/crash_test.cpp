// Kills a child process in the middle of Apply and Restore on a 47-car
// folder, again and again: no file may ever be lost or half-written, and the
// next runs must give exactly the expected files.
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

// Runs Apply and Restore in a child that dies either at its n-th file call
// (n > 0) or after `delay`, then checks every car and runs both again.
void CrashAndCheck(const fs::path& pristine, long n,
                   std::chrono::microseconds delay, const Cars& cars,
                   Tally& tally) {
  TempFolder folder;
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

  for (const auto& [id, original] : cars) {
    const std::string data = ReadBytes(CarDataFile(folder.path(), id));
    tally.filesChecked += 2;
    if (data != original && data != ReferencePatch(original, kLevel)) {
      ++tally.filesLost;
      ADD_FAILURE() << where << ": data file of " << id << " damaged";
    }
    const fs::path backup = CarBackupFile(folder.path(), id);
    if (fs::exists(backup) && ReadBytes(backup) != original) {
      ++tally.filesLost;
      ADD_FAILURE() << where << ": backup of " << id << " damaged";
    }
    tally.strayFiles += static_cast<int>(
        FolderListing(folder.path() / "cars" / id).size() - 1 - fs::exists(backup));
  }

  ClearNotices();
  std::string member = path;
  ApplyRun(member, kLevel);
  for (const auto& [id, original] : cars) {
    ASSERT_EQ(ReadBytes(CarDataFile(folder.path(), id)),
              ReferencePatch(original, kLevel)) << where << ": " << id;
    ASSERT_EQ(ReadBytes(CarBackupFile(folder.path(), id)), original) << where;
  }
  RestoreRun(path);
  for (const auto& [id, original] : cars) {
    ASSERT_EQ(ReadBytes(CarDataFile(folder.path(), id)), original) << where;
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Tweak process finished",
                           "Restored backup copies of 47 files"})) << where;
}

TEST(CrashTest, KillsAnywhereLoseNothing) {
  TempFolder pristine;
  const Cars cars = MakeGameFolder(pristine.path());

  // Count the file calls of one whole run and time it.
  long totalCalls = 0;
  std::chrono::microseconds runTime{};
  {
    TempFolder folder;
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
      "ms), %d files checked, %d files lost, %d stray temporary files\n",
      tally.killPoints, totalCalls,
      static_cast<long long>(runTime.count() / 1000), tally.filesChecked,
      tally.filesLost, tally.strayFiles);
  EXPECT_EQ(tally.filesLost, 0);
}

}  // namespace
