// Faults forced for real: each must leave every file whole and as it was,
// with a notice, while the run goes on with the next car.
#include <cstdlib>
#include <string>
#include <vector>

#include "car_files.h"
#include "file_system.h"
#include "record_patch.h"
#include "runs.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace {

const char kFinished[] = "Tweak process finished";
std::string CannotWrite(const std::string& file) {
  return "Failed to open file for writing '" + file + "', process will fail";
}

class SafetyTest : public EngineTest {
 protected:
  const fs::path& root() const { return folder_.path(); }
  std::string EngineDataFile(const std::string& id) const {
    return CarDataFilePath(path_, id);
  }
  std::string EngineBackupFile(const std::string& id) const {
    return CarBackupFilePath(path_, id);
  }
  std::vector<std::string> Listing(const std::string& id) const {
    return FolderListing(root() / "cars" / id);
  }
  std::string CannotModify(const std::string& id) const {
    return "Failed to open file for modifying '" + EngineDataFile(id) +
           "' when trying to patch data. Ensure the file is not read-only";
  }

  TempFolder folder_;
  std::string path_ = folder_.DataPath();
};

TEST_F(SafetyTest, CopyIsExactAcrossBlocksAndForEmptyFiles) {
  std::string binary;
  for (unsigned i = 0; i < 300000; ++i) binary += static_cast<char>(i * 7919 % 256);
  WriteBytes(root() / "source.bin", binary);
  WriteBytes(root() / "empty.bin", "");
  WriteBytes(root() / "old.bin", "old contents");
  EXPECT_TRUE(CopyWholeFile(path_ + "source.bin", path_ + "copy.bin"));
  EXPECT_TRUE(CopyWholeFile(path_ + "empty.bin", path_ + "old.bin"));
  EXPECT_EQ(ReadBytes(root() / "copy.bin"), binary);
  EXPECT_EQ(ReadBytes(root() / "old.bin"), "");
  EXPECT_TRUE(Notices().empty());
  EXPECT_EQ(FolderListing(root()),
            (std::vector<std::string>{"copy.bin", "empty.bin", "old.bin",
                                      "source.bin"}));
}

TEST_F(SafetyTest, CopyFailuresLeaveTheDestinationAsItWas) {
  WriteBytes(root() / "old.bin", "old contents");
  EXPECT_FALSE(CopyWholeFile(path_ + "missing.bin", path_ + "old.bin"));
  EXPECT_FALSE(CopyWholeFile(path_ + "old.bin", path_ + "nofolder\\new.bin"));
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to read file '" + path_ +
                               "missing.bin', process will fail",
                           CannotWrite(path_ + "nofolder\\new.bin")}));
  EXPECT_EQ(ReadBytes(root() / "old.bin"), "old contents");
  EXPECT_EQ(FolderListing(root()), std::vector<std::string>{"old.bin"});
}

TEST_F(SafetyTest, UnreadableBackupIsNeverReplaced) {
  const auto cars = MakeGameFolder(root(), {"131", "n12"});
  fs::create_directories(CarBackupFile(root(), "131"));  // exists, can't be read
  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to open backup file '" + EngineBackupFile("131") +
                               "' when trying to patch data",
                           kFinished}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars.at("131"));
  EXPECT_TRUE(fs::is_directory(CarBackupFile(root(), "131")));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), ReferencePatch(cars.at("n12"), 2));

  ClearNotices();
  RestoreRun(path_);  // names it too, and does not count it
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to read file '" + EngineBackupFile("131") +
                               "', process will fail",
                           "Restored backup copies of 1 files"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars.at("131"));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), cars.at("n12"));
}

// A folder where a car's data file should be, and (POSIX) a pipe that would
// never give a byte, as data file or as backup: each is named, its car is
// skipped, and no run waits on it.
TEST_F(SafetyTest, CarFilesThatAreNoFilesAreNamedAndSkipped) {
  const auto cars = MakeGameFolder(root(), {"131", "n12", "307"});
  fs::create_directories(CarDataFile(root(), "205"));
  std::vector<std::string> named = {"205"};
  std::string backupNotice;
#ifndef _WIN32
  fs::create_directories(root() / "cars" / "207");
  ASSERT_EQ(::mkfifo(CarDataFile(root(), "207").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(CarBackupFile(root(), "307").c_str(), 0644), 0);
  named.push_back("207");
  backupNotice = EngineBackupFile("307");
#endif
  std::vector<std::string> apply, restore;
  for (const auto& id : named) {
    apply.push_back("Car " + id + " was left as it is: '" + EngineDataFile(id) +
                    "' is a folder, pipe or device, not a file.");
  }
  restore = apply;
  if (!backupNotice.empty()) {
    apply.push_back("Failed to open backup file '" + backupNotice +
                    "' when trying to patch data");
    restore.push_back("Failed to read file '" + backupNotice + "', process will fail");
  }
  apply.push_back(kFinished);
  restore.push_back(backupNotice.empty() ? "Restored backup copies of 3 files"
                                         : "Restored backup copies of 2 files");
  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), apply);
  ClearNotices();
  RestoreRun(path_);
  EXPECT_EQ(Notices(), restore);
  for (const auto& [id, original] : cars) {
    EXPECT_EQ(ReadBytes(CarDataFile(root(), id)), original) << id;
  }
  EXPECT_EQ(Listing("205"), std::vector<std::string>{"205.csv"});
}

TEST_F(SafetyTest, BrakeFieldTooLongLeavesTheCarAlone) {
  auto cars = MakeGameFolder(root(), {"131", "n12"});
  cars["131"] += std::string(278, ',') + std::string(2000, '5') + "\r\n";
  WriteBytes(CarDataFile(root(), "131"), cars["131"]);
  ApplyRun(path_, 1);
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to patch file '" + EngineDataFile("131") +
                               "': a brake value in '" + EngineBackupFile("131") +
                               "' is longer than 1023 characters",
                           kFinished}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars["131"]);
  EXPECT_EQ(ReadBytes(CarBackupFile(root(), "131")), cars["131"]);
  EXPECT_EQ(Listing("131"), (std::vector<std::string>{"131.csv", "131_backup.csv"}));
  ClearNotices();
  ApplyRun(path_, kUntouchedLevel);  // passes through unchanged at 100%
  EXPECT_EQ(Notices(), std::vector<std::string>{kFinished});
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars["131"] + "\r\n\r\n");
}

// A car folder nobody may write to: no backup, no patch, no restore there,
// and the other cars go on.
TEST_F(SafetyTest, UnwritableCarFolderIsLeftAsItWas) {
  const auto cars = MakeGameFolder(root(), {"131", "n12"});
  const fs::path folder = root() / "cars" / "131";
  {
    UnwritableFolder lock(folder);
    if (!lock.locked()) GTEST_SKIP() << "no immutable folders on this system";
    ApplyRun(path_, 2);
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           CannotWrite(EngineBackupFile("131")), kFinished}));
  EXPECT_EQ(Listing("131"), std::vector<std::string>{"131.csv"});
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars.at("131"));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), ReferencePatch(cars.at("n12"), 2));

  ApplyRun(path_, 2);  // now with its backup
  ClearNotices();
  {
    UnwritableFolder lock(folder);
    ASSERT_TRUE(lock.locked());
    ApplyRun(path_, 0);
    RestoreRun(path_);
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           CannotModify("131"), kFinished,
                           CannotWrite(EngineDataFile("131")),
                           "Restored backup copies of 1 files"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), ReferencePatch(cars.at("131"), 2));
  EXPECT_EQ(ReadBytes(CarBackupFile(root(), "131")), cars.at("131"));
  EXPECT_EQ(Listing("131"), (std::vector<std::string>{"131.csv", "131_backup.csv"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), cars.at("n12"));
}

// A backup appears only where nothing has its name, even when something
// takes the name while the copy is being written.
TEST_F(SafetyTest, KeepExistingCommitNeverReplaces) {
  ReplacementFile late(path_ + "late.csv");
  ASSERT_NE(late.stream(), nullptr);
  std::fputs("new", late.stream());
  WriteBytes(root() / "late.csv", "made meanwhile");
  EXPECT_EQ(late.Commit(CommitMode::kKeepExisting), CommitResult::kTargetExists);
  EXPECT_EQ(ReadBytes(root() / "late.csv"), "made meanwhile");
  EXPECT_EQ(FolderListing(root()), std::vector<std::string>{"late.csv"});
}

// A replace cut short where renames are not journaled (FAT32, exFAT) can
// leave a car's new file under its temporary name only: that file is kept
// and named while the data file is missing, and the car is skipped.
TEST_F(SafetyTest, LastCopyOfADataFileIsNeverCleanedAway) {
  const auto cars = MakeGameFolder(root(), {"131", "n12"});
  ApplyRun(path_, 2);
  const std::string temporary = "131.csv.brake-tweak-4321-99";
  fs::rename(CarDataFile(root(), "131"), root() / "cars" / "131" / temporary);
  WriteBytes(root() / "cars" / "131" / "131_backup.csv.brake-tweak-4321-98", "half");
  ClearNotices();
  ApplyRun(path_, 0);
  RestoreRun(path_);
  const std::string kept = "Car 131: its data file is missing, but a run that was cut "
                           "short left '" + path_ + "cars\\131\\" + temporary +
                           "', which may be its last copy. It was kept: rename it to "
                           "'131.csv'.";
  EXPECT_EQ(Notices(), (std::vector<std::string>{kept, kFinished, kept,
                                                 "Restored backup copies of 1 files"}));
  EXPECT_EQ(Listing("131"), (std::vector<std::string>{temporary, "131_backup.csv"}));
  EXPECT_EQ(ReadBytes(root() / "cars" / "131" / temporary),
            ReferencePatch(cars.at("131"), 2));
}

// A game folder that cannot be written at all (read-only, or under Program
// Files without administrator rights) gives one notice per run, not one per
// car, and nothing changes.
TEST_F(SafetyTest, UnwritableGameFolderGivesOneNotice) {
  const auto cars = MakeGameFolder(root(), {"131", "n12"});
  ApplyRun(path_, 2);
  ClearNotices();
  {
    UnwritableFolder first(root() / "cars" / "131");
    UnwritableFolder second(root() / "cars" / "n12");
    if (!first.locked() || !second.locked()) GTEST_SKIP() << "no immutable folders";
    ApplyRun(path_, 0);
    RestoreRun(path_);
  }
  const std::string notice = "Cannot write to the car folders in '" + path_ +
                             "cars\\'. Run the tweaker as administrator, or make "
                             "the folder writable, then try again.";
  EXPECT_EQ(Notices(), (std::vector<std::string>{notice, notice}));
  for (const auto& [id, original] : cars) {
    EXPECT_EQ(ReadBytes(CarDataFile(root(), id)), ReferencePatch(original, 2));
    EXPECT_EQ(Listing(id), (std::vector<std::string>{id + ".csv", id + "_backup.csv"}));
  }
}

#ifndef _WIN32
// Files grow past the process's file size limit only with an error (EFBIG):
// a real failing write, whoever runs the test.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

constexpr rlim_t kLimit = 256 * 1024;

class WriteFailureTest : public SafetyTest {
 protected:
  void SetUp() override {
    SafetyTest::SetUp();
    cars_ = MakeGameFolder(root(), {"131", "cel", "n12"});
    cars_["cel"] = MakeCarData(9, 600, "40.0");  // over the limit
    ASSERT_GT(cars_["cel"].size(), kLimit);
    WriteBytes(CarDataFile(root(), "cel"), cars_["cel"]);
  }
  std::map<std::string, std::string> cars_;
};

TEST_F(WriteFailureTest, BackupThatCannotBeWrittenSkipsTheCar) {
  {
    FileSizeLimit limit(kLimit);
    ApplyRun(path_, 2);
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to write file '" + EngineBackupFile("cel") +
                               "', process will fail",
                           kFinished}));
  EXPECT_EQ(Listing("cel"), std::vector<std::string>{"cel.csv"});
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "cel")), cars_["cel"]);
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), ReferencePatch(cars_["n12"], 2));
}

TEST_F(WriteFailureTest, PatchThatCannotBeWrittenLeavesTheDataFile) {
  WriteBytes(CarBackupFile(root(), "cel"), cars_["cel"]);
  {
    FileSizeLimit limit(kLimit);
    ApplyRun(path_, 2);
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to write file '" + EngineDataFile("cel") +
                               "' when trying to patch data",
                           kFinished}));
  EXPECT_EQ(Listing("cel"), (std::vector<std::string>{"cel.csv", "cel_backup.csv"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "cel")), cars_["cel"]);
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), ReferencePatch(cars_["131"], 2));
}

// The game updated car cel, and its new file cannot be backed up: the old
// backup is kept under its kept name, and a notice says so. The next Apply
// finishes the update, keeping no second copy.
TEST_F(WriteFailureTest, UpdateIsNamedWhenItsPatchFails) {
  const std::string old = MakeCarData(8, 3, "2.0");
  WriteBytes(CarBackupFile(root(), "cel"), old);
  {
    FileSizeLimit limit(kLimit);
    ApplyRun(path_, 2);
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to write file '" + EngineBackupFile("cel") +
                               "', process will fail",
                           "Updated by the game, not tweaked: cel.\nTheir new files are "
                           "their backups now, but the level could not be applied (the "
                           "notices before say why). Apply again to finish them.",
                           kFinished}));
  EXPECT_EQ(ReadBytes(CarKeptBackupFile(root(), "cel")), old);
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "cel")), cars_["cel"]);
  ClearNotices();
  ApplyRun(path_, 2);  // and Apply again finishes it
  EXPECT_EQ(Notices().size(), 2u);
  EXPECT_EQ(Notices().front().rfind("Updated by the game: cel.", 0), 0u);
  EXPECT_EQ(Listing("cel"), (std::vector<std::string>{"cel.csv", "cel_backup.csv",
                                                      "cel_backup_before_update.csv"}));
  EXPECT_EQ(ReadBytes(CarBackupFile(root(), "cel")), cars_["cel"]);
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "cel")), ReferencePatch(cars_["cel"], 2));
}

TEST_F(WriteFailureTest, RestoreCountsOnlyWhatItRestored) {
  ApplyRun(path_, 0);
  ClearNotices();
  {
    FileSizeLimit limit(kLimit);
    RestoreRun(path_);
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to write file '" + EngineDataFile("cel") +
                               "', process will fail",
                           "Restored backup copies of 2 files"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "cel")), ReferencePatch(cars_["cel"], 0));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars_["131"]);
  EXPECT_EQ(Listing("cel"), (std::vector<std::string>{"cel.csv", "cel_backup.csv"}));
}
#endif

#ifdef _WIN32
TEST_F(SafetyTest, ReadOnlyDataFileIsNeitherPatchedNorRestored) {
  const auto cars = MakeGameFolder(root(), {"131", "n12"});
  ASSERT_TRUE(SetFileAttributesA(EngineDataFile("131").c_str(),
                                 FILE_ATTRIBUTE_READONLY));
  ApplyRun(path_, 2);
  EXPECT_EQ(Notices(), (std::vector<std::string>{CannotModify("131"), kFinished}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars.at("131"));
  EXPECT_EQ(ReadBytes(CarBackupFile(root(), "131")), cars.at("131"));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), ReferencePatch(cars.at("n12"), 2));

  ClearNotices();
  const std::string tweaked = ReferencePatch(cars.at("131"), 2);  // as if patched
  SetFileAttributesA(EngineDataFile("131").c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteBytes(CarDataFile(root(), "131"), tweaked);
  SetFileAttributesA(EngineDataFile("131").c_str(), FILE_ATTRIBUTE_READONLY);
  RestoreRun(path_);
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           CannotWrite(EngineDataFile("131")),
                           "Restored backup copies of 1 files"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), tweaked);
  EXPECT_EQ(Listing("131"), (std::vector<std::string>{"131.csv", "131_backup.csv"}));
  SetFileAttributesA(EngineDataFile("131").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The other process of HeldByAnotherProcess: run as this test program with
// KESTRUNE_HOLD_FILE and KESTRUNE_HOLD_EVENTS set, it holds the file without
// sharing until it is told to let go.
TEST(HoldFileTest, HoldsAFileForAnotherTest) {
  const char* file = std::getenv("KESTRUNE_HOLD_FILE");
  const char* events = std::getenv("KESTRUNE_HOLD_EVENTS");
  if (file == nullptr || events == nullptr) GTEST_SKIP() << "only for HeldByAnotherProcess";
  const HANDLE held = CreateFileA(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(events) + "-ready").c_str());
  const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (std::string(events) + "-go").c_str());
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  CloseHandle(held);
  CloseHandle(ready);
  CloseHandle(release);
}

// Holds a file open without sharing in another process, as the game or a
// scanner does, until the object goes.
class HeldByAnotherProcess {
 public:
  explicit HeldByAnotherProcess(const std::string& file) {
    const std::string events = "Local\\kestrune-hold-" + std::to_string(GetCurrentProcessId());
    ready_ = CreateEventA(nullptr, TRUE, FALSE, (events + "-ready").c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, (events + "-go").c_str());
    SetEnvironmentVariableA("KESTRUNE_HOLD_FILE", file.c_str());
    SetEnvironmentVariableA("KESTRUNE_HOLD_EVENTS", events.c_str());
    // The other process runs its one case, whichever share of the cases
    // (GoogleTest's shards) this one runs.
    SetEnvironmentVariableA("GTEST_TOTAL_SHARDS", nullptr);
    SetEnvironmentVariableA("GTEST_SHARD_INDEX", nullptr);
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --gtest_filter=HoldFileTest.*";
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    const HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited,
                                       OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nowhere;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &process)) {
      CloseHandle(process.hThread);
      process_ = process.hProcess;
      const HANDLE either[] = {ready_, process_};
      held_ = WaitForMultipleObjects(2, either, FALSE, 30000) == WAIT_OBJECT_0;
    }
    CloseHandle(nowhere);
    SetEnvironmentVariableA("KESTRUNE_HOLD_FILE", nullptr);
    SetEnvironmentVariableA("KESTRUNE_HOLD_EVENTS", nullptr);
  }
  ~HeldByAnotherProcess() {
    SetEvent(release_);
    if (process_ != nullptr) {
      WaitForSingleObject(process_, 30000);
      CloseHandle(process_);
    }
    CloseHandle(ready_);
    CloseHandle(release_);
  }
  bool held() const { return held_; }

 private:
  HANDLE ready_;
  HANDLE release_;
  HANDLE process_ = nullptr;
  bool held_ = false;
};

// Each run tries the held file again for a moment, then names it; the car is
// left as it was, and the others go on. The held file is the one whose
// presence shows the path is right: it is there, if held.
TEST_F(SafetyTest, DataFileHeldByAnotherProcessIsNamedAfterRetries) {
  const auto cars = MakeGameFolder(root(), {"131", "n12", "xsa"});
  ApplyRun(path_, 2);
  ClearNotices();
  {
    HeldByAnotherProcess held(EngineDataFile("n12"));
    ASSERT_TRUE(held.held());
    ApplyRun(path_, 0);
    RestoreRun(path_);
  }
  EXPECT_EQ(Notices(), (std::vector<std::string>{
                           "Failed to read file '" + EngineDataFile("n12") +
                               "' when trying to patch data",
                           kFinished,
                           "Failed to read file '" + EngineDataFile("n12") +
                               "', process will fail",
                           "Restored backup copies of 2 files"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), ReferencePatch(cars.at("n12"), 2));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "xsa")), cars.at("xsa"));
  EXPECT_EQ(Listing("n12"), (std::vector<std::string>{"n12.csv", "n12_backup.csv"}));
}

// Another program (the game, a scanner) holds the data file open.
class HeldFileTest : public SafetyTest,
                     public ::testing::WithParamInterface<DWORD> {};

TEST_P(HeldFileTest, DataFileThatCannotBeReplacedIsLeftAsItWas) {
  const auto cars = MakeGameFolder(root(), {"131", "n12"});
  const HANDLE holder =
      CreateFileA(EngineDataFile("131").c_str(), GENERIC_READ, GetParam(),
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ApplyRun(path_, 2);
  RestoreRun(path_);
  CloseHandle(holder);
  EXPECT_EQ(Notices(), (std::vector<std::string>{CannotModify("131"), kFinished,
                                                 CannotWrite(EngineDataFile("131")),
                                                 "Restored backup copies of 1 files"}));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "131")), cars.at("131"));
  EXPECT_EQ(ReadBytes(CarDataFile(root(), "n12")), cars.at("n12"));
  EXPECT_EQ(Listing("131"), (std::vector<std::string>{"131.csv", "131_backup.csv"}));
}

INSTANTIATE_TEST_SUITE_P(SharingModes, HeldFileTest,
                         ::testing::Values(FILE_SHARE_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE));
#endif

}  // namespace
