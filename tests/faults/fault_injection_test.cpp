// Fails every file call of a run in turn, on a folder with a car the game has
// updated: each failure must leave every file whole, say so in a notice, and
// spoil nothing for the next run.
#include <algorithm>
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

// The game updated car xsa after an earlier Apply: its data file is the
// game's new file, its backup still the old original.
const std::string kUpdatedCar = "xsa";
std::string GameUpdate() { return MakeCarData(77, 3, "6.5"); }

// The cars' originals, with xsa's the game's new file.
Cars MakeScenarioFolder(const fs::path& root) {
  Cars cars = MakeGameFolder(root, kIds);
  WriteBytes(CarBackupFile(root, kUpdatedCar), cars[kUpdatedCar]);
  cars[kUpdatedCar] = GameUpdate();
  WriteBytes(CarDataFile(root, kUpdatedCar), cars[kUpdatedCar]);
  return cars;
}

// Apply twice at two levels, then restore.
void RunScenario(const std::string& path) {
  std::string member = path;
  ApplyRun(member, 2);
  ApplyRun(member, 1);
  RestoreRun(path);
}

const std::string kUpdateNotice =
    "Updated by the game: xsa.\nTheir new files are their backups now, and the level "
    "was applied to them. The old backups are kept beside them.";
const std::vector<std::string> kQuietNotices = {
    kUpdateNotice, "Tweak process finished", "Tweak process finished",
    "Restored backup copies of 3 files"};

struct Damage {
  int lost = 0;        // files neither as they were nor completely patched
  int unreported = 0;  // runs whose result differs but said nothing
  int stray = 0;       // files other than data and backup left behind
};

// The bytes of the car's kept backups, by name. A fault can make a name
// look taken, so the old backup may be kept under a later one.
std::map<std::string, std::string> KeptBackups(const fs::path& root, const std::string& id) {
  std::map<std::string, std::string> kept;
  for (const auto& name : FolderListing(root / "cars" / id)) {
    if (name.rfind(id + "_backup_before_update", 0) == 0) {
      kept[name] = ReadBytes(root / "cars" / id / name);
    }
  }
  return kept;
}

// Checks every car after a faulted scenario whose quiet end state is the
// originals (xsa's the game's new file) beside their backups. The updated
// car's old original must always be there, as its backup or kept beside it,
// and its new file may only be patched from a backup of itself.
void Inspect(const fs::path& root, const Cars& cars, const std::string& old,
             Damage& damage, const std::string& where) {
  bool differs = false;
  for (const auto& [id, original] : cars) {
    const std::string data = ReadBytes(CarDataFile(root, id));
    const fs::path backup = CarBackupFile(root, id);
    const std::string backupBytes = fs::exists(backup) ? ReadBytes(backup) : "";
    const auto kept = KeptBackups(root, id);
    const std::set<std::string> whole = {original, ReferencePatch(original, 2),
                                         ReferencePatch(original, 1)};
    bool intact = whole.count(data) && (data == original || backupBytes == original);
    if (id == kUpdatedCar) {
      const bool oldKept = std::any_of(kept.begin(), kept.end(),
                                       [&](const auto& file) { return file.second == old; });
      intact = intact && (backupBytes == old || oldKept);
      intact = intact && (!fs::exists(backup) || backupBytes == old ||
                          backupBytes == original);
      differs = differs || !oldKept || backupBytes != original;
    } else {
      intact = intact && (!fs::exists(backup) || backupBytes == original);
      differs = differs || !fs::exists(backup);
    }
    if (!intact) {
      ++damage.lost;
      ADD_FAILURE() << where << ": files of " << id << " damaged";
    }
    differs = differs || data != original;
    for (const auto& name : FolderListing(root / "cars" / id)) {
      if (name.find(".brake-tweak-") != std::string::npos) {
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

// A later run without faults must give exactly the expected files, and
// finish the game update where the fault cut it short.
void ExpectRecovery(const TempFolder& folder, const Cars& cars, const std::string& old,
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
    const auto kept = KeptBackups(folder.path(), id);
    EXPECT_EQ(FolderListing(folder.path() / "cars" / id).size(), 2 + kept.size()) << where;
    if (id == kUpdatedCar) {
      ASSERT_EQ(kept.size(), 1u) << where;
      EXPECT_EQ(kept.begin()->second, old) << where;
    } else {
      EXPECT_TRUE(kept.empty()) << where;
    }
  }
  std::vector<std::string> notices = {"Tweak process finished",
                                      "Restored backup copies of 3 files"};
  if (Notices().size() == 3) notices.insert(notices.begin(), kUpdateNotice);
  EXPECT_EQ(Notices(), notices) << where;
}

TEST(FaultInjectionTest, EveryFailedFileCallIsSafeAndReported) {
  long totalCalls = 0;
  {
    TempFolder folder;
    MakeScenarioFolder(folder.path());
    FaultArm(0, kFaultFail);
    RunScenario(folder.DataPath());
    totalCalls = FaultDisarm();
  }
  ASSERT_GT(totalCalls, 50);

  Damage damage;
  std::map<std::string, int> faultsByCall;
  for (long n = 1; n <= totalCalls; ++n) {
    TempFolder folder;
    const Cars cars = MakeScenarioFolder(folder.path());
    const std::string old = ReadBytes(CarBackupFile(folder.path(), kUpdatedCar));
    ClearNotices();
    FaultArm(n, kFaultFail);
    RunScenario(folder.DataPath());
    FaultDisarm();
    const char* call = FaultInjectedCall();
    ASSERT_NE(call, nullptr) << "call " << n << " was never made";
    ++faultsByCall[call];
    const std::string where = "fault at call " + std::to_string(n) + " (" + call + ")";
    Inspect(folder.path(), cars, old, damage, where);
    ExpectRecovery(folder, cars, old, where);
  }
  std::printf("fault injection: %ld file calls failed in turn;", totalCalls);
  for (const auto& [call, count] : faultsByCall) std::printf(" %s %d", call.c_str(), count);
  std::printf("\nfault injection: %d files lost, %d unreported, %d stray\n",
              damage.lost, damage.unreported, damage.stray);
}

}  // namespace
