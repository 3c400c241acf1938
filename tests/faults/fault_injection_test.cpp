// Fails every file call of a run in turn: each failure must leave every file
// whole, say so in a notice, and spoil nothing for the next run.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fault_shim.h"
#include "runs.h"
#include "test_support.h"

namespace {

using Cars = std::map<std::string, std::string>;

const std::vector<std::string> kIds = {"131", "n12", "xsa"};

// Apply twice at two levels, then restore.
void RunScenario(const std::string& path) {
  std::string member = path;
  ApplyRun(member, 2);
  ApplyRun(member, 1);
  RestoreRun(path);
}

const std::vector<std::string> kQuietNotices = {
    "Tweak process finished", "Tweak process finished",
    "Restored backup copies of 3 files"};

struct Damage {
  int lost = 0;        // files neither as they were nor completely patched
  int unreported = 0;  // runs whose result differs but said nothing
  int stray = 0;       // files other than data and backup left behind
};

// Checks every car after a faulted scenario whose quiet end state is the
// original data files beside their backups.
void Inspect(const fs::path& root, const Cars& cars, Damage& damage,
             const std::string& where) {
  bool differs = false;
  for (const auto& [id, original] : cars) {
    const std::string data = ReadBytes(CarDataFile(root, id));
    const std::set<std::string> whole = {original, ReferencePatch(original, 2),
                                         ReferencePatch(original, 1)};
    if (!whole.count(data)) {
      ++damage.lost;
      ADD_FAILURE() << where << ": data file of " << id << " damaged";
    }
    if (fs::exists(CarBackupFile(root, id)) &&
        ReadBytes(CarBackupFile(root, id)) != original) {
      ++damage.lost;
      ADD_FAILURE() << where << ": backup of " << id << " damaged";
    }
    differs = differs || data != original || !fs::exists(CarBackupFile(root, id));
    for (const auto& name : FolderListing(root / "cars" / id)) {
      if (name != id + ".csv" && name != id + "_backup.csv") {
        ++damage.stray;
        ADD_FAILURE() << where << ": left " << name;
      }
    }
  }
  if (differs && Notices() == kQuietNotices) {
    ++damage.unreported;
    ADD_FAILURE() << where << ": the result differs but no notice said so";
  }
}

// A later run without faults must give exactly the expected files.
void ExpectRecovery(const TempFolder& folder, const Cars& cars,
                    const std::string& where) {
  ClearNotices();
  std::string path = folder.DataPath();
  ApplyRun(path, 3);
  for (const auto& [id, original] : cars) {
    EXPECT_EQ(ReadBytes(CarDataFile(folder.path(), id)), ReferencePatch(original, 3))
        << where << ": " << id;
    EXPECT_EQ(ReadBytes(CarBackupFile(folder.path(), id)), original) << where;
  }
  RestoreRun(path);
  for (const auto& [id, original] : cars) {
    EXPECT_EQ(ReadBytes(CarDataFile(folder.path(), id)), original) << where;
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{"Tweak process finished",
                                                 "Restored backup copies of 3 files"}))
      << where;
}

TEST(FaultInjectionTest, EveryFailedFileCallIsSafeAndReported) {
  long totalCalls = 0;
  {
    TempFolder folder;
    MakeGameFolder(folder.path(), kIds);
    FaultArm(0, kFaultFail);
    RunScenario(folder.DataPath());
    totalCalls = FaultDisarm();
  }
  ASSERT_GT(totalCalls, 50);

  Damage damage;
  std::map<std::string, int> faultsByCall;
  for (long n = 1; n <= totalCalls; ++n) {
    TempFolder folder;
    const Cars cars = MakeGameFolder(folder.path(), kIds);
    ClearNotices();
    FaultArm(n, kFaultFail);
    RunScenario(folder.DataPath());
    FaultDisarm();
    const char* call = FaultInjectedCall();
    ASSERT_NE(call, nullptr) << "call " << n << " was never made";
    ++faultsByCall[call];
    const std::string where = "fault at call " + std::to_string(n) + " (" + call + ")";
    Inspect(folder.path(), cars, damage, where);
    ExpectRecovery(folder, cars, where);
  }
  std::printf("fault injection: %ld file calls failed in turn;", totalCalls);
  for (const auto& [call, count] : faultsByCall) std::printf(" %s %d", call.c_str(), count);
  std::printf("\nfault injection: %d files lost, %d unreported, %d stray\n",
              damage.lost, damage.unreported, damage.stray);
}

}  // namespace
