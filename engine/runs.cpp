#include "runs.h"

#include <memory>
#include <vector>

#include "car_files.h"
#include "car_state.h"
#include "game_state.h"
#include "file_system.h"
#include "notice.h"
#include "record_patch.h"

namespace {

constexpr std::size_t kCopyBlockSize = 64 * 1024;
const char kEnterPathNotice[] = "Please enter the path for the game's data files";

using CarList = std::vector<std::string>;

// Cleans the typed path and checks it as both buttons need it: not empty,
// ending with a backslash (appended when missing), naming a folder that
// holds the probe file. Shows the notice and returns false otherwise; where
// the path leads to the data folder (a folder or file in the game), the
// notice names that folder, which the player then chooses.
bool CheckDataPath(std::string& path) {
  const TypedDataPath typed = ReadTypedDataPath(path);
  path = typed.path;
  if (path.empty()) {
    ShowNotice(kEnterPathNotice);
    return false;
  }
  if (!typed.holdsCars) {
    std::string notice = "Failed to find file '" + ProbeFilePath(path) +
                         "', has the path been entered correctly?";
    if (!typed.leadsTo.empty()) {
      notice += " The game's data folder is '" + typed.leadsTo + "'.";
    }
    ShowNotice(notice);
    return false;
  }
  return true;
}

// Shows one notice instead of one per car when another run has the game
// folder, or when every car folder the run would write to refuses new files.
// `restoring`: only cars with a backup count. Nothing stays on disk.
bool CanRunOn(const std::string& path, const FolderLock& lock, bool restoring) {
  if (!lock.held()) {
    ShowNotice("Another copy of the tweaker is working on the data folder '" +
               path + "'. Wait until it has finished, then try again.");
    return false;
  }
  bool refused = false;
  for (const char* id : kCarIds) {
    const std::string data = CarDataFilePath(path, id);
    if (!FileExists(data) ||
        (restoring && !FileExists(CarBackupFilePath(path, id)))) {
      continue;
    }
    refused = ReplacementFile(data).refused();
    if (!refused) break;
  }
  if (!refused) return true;
  ShowNotice("Cannot write to the car folders in '" + path +
             "cars\\'. Run the tweaker as administrator, or make the folder "
             "writable, then try again.");
  return false;
}

// The cars a run found changed since their backups, named once at its end
// rather than in a notice each: the cars first, then what was done, then
// what the player can do.
struct ChangedCars {
  CarList updated;        // by the game
  CarList notPatched;     // by the game, but the level could not be applied
  CarList edited;         // by something else, after a tweak
  CarList backToEarlier;  // tweaks of a kept backup, which is the backup again

  void Report(const std::string& updatedDone, const std::string& editedAdvice) const {
    Show("Updated by the game", updated, updatedDone);
    Show("Updated by the game, not tweaked", notPatched,
         "Their new files are their backups now, but the level could not be applied (the "
         "notices before say why). Apply again to finish them.");
    Show("Tweaked from an older backup", backToEarlier,
         "That backup is their backup again, and the level was applied. The backup it "
         "replaces is kept beside it.");
    Show("Changed by hand or by another program after a tweak", edited,
         "They were left as they are. " + editedAdvice);
  }

  static void Show(const std::string& which, const CarList& ids, const std::string& text) {
    if (ids.empty()) return;
    std::string list;
    for (const std::string& id : ids) list += (list.empty() ? "" : ", ") + id;
    ShowNotice(which + ": " + list + ".\n" + text);
  }
};

// A run's first look at a car: it clears what a dead run left there, then
// reads the car's state. A missing data file's leftovers are kept and named,
// as one may be its last copy; so is a data file that is no file at all.
// Kept backups are written under the first kept name that nothing has, so
// a dead run's half-written one is beside the last of them.
CarReading VisitCar(const std::string& path, const std::string& id) {
  const std::string data = CarDataFilePath(path, id);
  const std::string folder = data.substr(0, data.rfind('\\') + 1);
  for (const std::string& kept : RemoveLeftovers(data, true)) {
    ShowNotice("Car " + id + ": its data file is missing, but a run that was cut short left '" +
               folder + kept + "', which may be its last copy. It was kept: rename it to '" +
               data.substr(folder.size()) + "'.");
  }
  RemoveLeftovers(CarBackupFilePath(path, id), false);
  for (int n = 1; n <= kMostKeptBackups; ++n) {
    const std::string kept = CarKeptBackupFilePath(path, id, n);
    RemoveLeftovers(kept, false);
    if (!PathExists(kept)) break;
  }
  const CarReading reading = ReadCar(path, id);
  if (reading.state == CarState::kDataNotAFile) {
    ShowNotice("Car " + id + " was left as it is: '" + data +
               "' is a folder, pipe or device, not a file.");
  }
  return reading;
}

enum class StreamCopy { kCopied, kReadFailed, kWriteFailed };

// Copies the rest of `source` to `destination` block by block.
StreamCopy CopyStream(std::FILE* source, std::FILE* destination) {
  const auto block = std::make_unique_for_overwrite<char[]>(kCopyBlockSize);
  for (;;) {
    const std::size_t count = std::fread(block.get(), 1, kCopyBlockSize, source);
    if (count > 0 && std::fwrite(block.get(), 1, count, destination) != count) {
      return StreamCopy::kWriteFailed;
    }
    if (count < kCopyBlockSize) {
      return std::ferror(source) ? StreamCopy::kReadFailed : StreamCopy::kCopied;
    }
  }
}

enum class Copied { kCopied, kTargetExists, kFailed };

// CopyWholeFile; with kKeepExisting a destination that exists by the time
// the copy is put in place is left as it is, and kTargetExists returned.
Copied CopyContents(const std::string& source, const std::string& destination,
                    CommitMode mode) {
  const std::string cannotWrite =
      "Failed to open file for writing '" + destination + "', process will fail";
  if (mode == CommitMode::kReplace && PathExists(destination) &&
      !CanModify(destination)) {
    ShowNotice(cannotWrite);
    return Copied::kFailed;
  }
  ReplacementFile copy(destination);
  if (copy.stream() == nullptr) {
    ShowNotice(cannotWrite);
    return Copied::kFailed;
  }
  const std::string writeFailed =
      "Failed to write file '" + destination + "', process will fail";
  const std::string readFailed =
      "Failed to read file '" + source + "', process will fail";
  const FilePtr in(OpenForReading(source));
  if (!in) {
    ShowNotice(readFailed);
    return Copied::kFailed;
  }
  switch (CopyStream(in.get(), copy.stream())) {
    case StreamCopy::kCopied:
      break;
    case StreamCopy::kReadFailed:
      ShowNotice(readFailed);
      return Copied::kFailed;
    case StreamCopy::kWriteFailed:
      ShowNotice(writeFailed);
      return Copied::kFailed;
  }
  switch (copy.Commit(mode)) {
    case CommitResult::kCommitted:
      return Copied::kCopied;
    case CommitResult::kTargetExists:
      return Copied::kTargetExists;
    case CommitResult::kWriteFailed:
      ShowNotice(writeFailed);
      return Copied::kFailed;
    case CommitResult::kReplaceFailed:
      ShowNotice(cannotWrite);
      return Copied::kFailed;
  }
  return Copied::kFailed;
}

// Keeps the car's backup, before anything replaces it, under the first kept
// name that nothing has, unless a kept backup holds its bytes already. Never
// replaces a file. False, after a notice, when it cannot be kept.
bool KeepBackup(const std::string& path, const std::string& id) {
  const std::string backup = CarBackupFilePath(path, id);
  for (int n = 1; n <= kMostKeptBackups; ++n) {
    const std::string kept = CarKeptBackupFilePath(path, id, n);
    if (PathExists(kept)) {
      if (HaveSameBytes(backup, kept)) return true;
      continue;
    }
    switch (CopyContents(backup, kept, CommitMode::kKeepExisting)) {
      case Copied::kCopied:
        return true;
      case Copied::kTargetExists:
        continue;  // made meanwhile by something else
      case Copied::kFailed:
        return false;
    }
  }
  ShowNotice("Car " + id + " was left as it is: its folder holds " +
             std::to_string(kMostKeptBackups) + " kept backups already, the most there may be. "
             "Move some of its " + id + "_backup_before_update files elsewhere, then apply again.");
  return false;
}

// One car of an Apply. A data file that the game has replaced since the
// backup was made becomes the car's new original, and one that another
// program changed after a tweak is left alone. Where a kept backup is the
// original that the data file was tweaked from, it becomes the backup
// again. The backup being replaced is kept first, so every backup a car
// ever had stays in its folder.
void ApplyToCar(const std::string& path, const std::string& id, int level,
                ChangedCars& changed) {
  const std::string data = CarDataFilePath(path, id);
  const std::string backup = CarBackupFilePath(path, id);
  const CarReading reading = VisitCar(path, id);
  switch (reading.state) {
    case CarState::kNoDataFile:
    case CarState::kDataNotAFile:
      return;
    case CarState::kBackupUnreadable:
      ShowNotice("Failed to open backup file '" + backup +
                 "' when trying to patch data");
      return;
    case CarState::kDataUnreadable:
      ShowNotice("Failed to read file '" + data + "' when trying to patch data");
      return;
    case CarState::kEditedAfterTweak:
      changed.edited.push_back(id);
      return;
    case CarState::kUpdatedByGame: {
      if (reading.earlierState == CarState::kEditedAfterTweak) {
        changed.edited.push_back(id);
        return;
      }
      if (!KeepBackup(path, id)) return;
      const bool tweakedEarlier = reading.earlierState == CarState::kTweaked;
      const std::string& original = tweakedEarlier ? reading.earlier : data;
      const bool patched =
          CopyContents(original, backup, CommitMode::kReplace) == Copied::kCopied &&
          PatchCarFile(level, backup, data);
      if (!tweakedEarlier) {
        (patched ? changed.updated : changed.notPatched).push_back(id);
      } else if (patched) {
        changed.backToEarlier.push_back(id);
      }  // else the notices have said why, and the next Apply finishes it
      return;
    }
    case CarState::kNoBackup:
      if (CopyContents(data, backup, CommitMode::kKeepExisting) == Copied::kFailed) {
        return;
      }
      break;
    case CarState::kAsBackedUp:
    case CarState::kTweaked:
      break;
  }
  PatchCarFile(level, backup, data);
}

// One car of a Restore; true when its data file is now its backup's copy.
// A data file changed since the backup is the game's newer one, or someone's
// edit, and is left as it is.
bool RestoreCar(const std::string& path, const std::string& id,
                ChangedCars& changed) {
  const std::string data = CarDataFilePath(path, id);
  const std::string backup = CarBackupFilePath(path, id);
  const CarReading reading = VisitCar(path, id);
  switch (reading.state) {
    case CarState::kAsBackedUp:
    case CarState::kTweaked:
      return CopyWholeFile(backup, data);
    case CarState::kUpdatedByGame:
      switch (reading.earlierState) {
        case CarState::kTweaked:
          return CopyWholeFile(reading.earlier, data);
        case CarState::kEditedAfterTweak:
          changed.edited.push_back(id);
          return false;
        default:
          changed.updated.push_back(id);
          return false;
      }
    case CarState::kEditedAfterTweak:
      changed.edited.push_back(id);
      return false;
    case CarState::kDataUnreadable:
      ShowNotice("Failed to read file '" + data + "', process will fail");
      return false;
    case CarState::kBackupUnreadable:
      ShowNotice("Failed to read file '" + backup + "', process will fail");
      return false;
    case CarState::kNoDataFile:
    case CarState::kDataNotAFile:
    case CarState::kNoBackup:
      return false;
  }
  return false;
}

}  // namespace

bool CopyWholeFile(const std::string& source, const std::string& destination) {
  return CopyContents(source, destination, CommitMode::kReplace) == Copied::kCopied;
}

void ApplyRun(std::string& path, int level) {
  if (!CheckDataPath(path)) return;
  const FolderLock lock(path + "cars");
  if (!CanRunOn(path, lock, false)) return;
  ChangedCars changed;
  for (const char* id : kCarIds) ApplyToCar(path, id, level, changed);
  changed.Report(
      "Their new files are their backups now, and the level was applied to them. The old "
      "backups are kept beside them.",
      "To tweak them, let the game verify its files, then apply again; if a car is named here "
      "again, rename its <car>_backup.csv to <car>_backup_old.csv and apply once more.");
  ShowNotice("Tweak process finished");
}

void RestoreRun(const std::string& typedPath) {
  std::string path = typedPath;
  if (!CheckDataPath(path)) return;
  const FolderLock lock(path + "cars");
  if (!CanRunOn(path, lock, true)) return;
  ChangedCars changed;
  int restored = 0;
  for (const char* id : kCarIds) restored += RestoreCar(path, id, changed);
  changed.Report(
      "They have the game's own files already, so they were left as they are.",
      "To get the game's own files back, let the game verify its files.");
  ShowNotice("Restored backup copies of " + std::to_string(restored) + " files");
}
