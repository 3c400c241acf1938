#pragma once

// The engine's only platform-specific part: opening files by the engine's
// backslash paths, replacing a file in one step, and keeping other runs out
// of a game folder. Implemented once for Win32 (file_system_win32.cpp, which
// hands each UTF-8 path to the wide functions in a form they take at any
// length: utf16_win32.h) and once for POSIX (file_system_posix.cpp), where
// each backslash is read as '/'; what both share is in file_system.cpp.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Marks a temporary file as this program's: "<target><marker><generated>".
inline constexpr std::string_view kTemporaryMarker = ".brake-tweak-";

// The lock file that FolderLock keeps in the folder on Windows while it is
// held; the system deletes it when the lock is released.
inline constexpr char kFolderLockFileName[] = "KestruneBrakeTweaker.lock";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Why OpenForReading gave no file.
enum class OpenFailure {
  kMissing,   // nothing has that name, a folder on the way is missing, or
              // the name cannot be a file's (too long, not well-formed
              // UTF-8, say)
  kNotAFile,  // a folder, pipe, device or other non-regular file has it
  kRefused,   // a file has it but cannot be opened: no permission, another
              // program holds it, a disk error
};

// What opening a file for reading does while another program holds it
// without sharing it for reading (Windows only; POSIX has no such holds).
enum class WhenHeld {
  kRetry,   // tries again for about 2 s, and the runs' other steps do the same
  kGiveUp,  // fails at once, as kRefused: for a look that must never wait
};

// Opens an existing regular file for binary reading, never waiting on a pipe
// or device; nullptr on failure, with the reason in `why` when given. Others
// may read, write, rename and delete the file meanwhile. What a reader cannot
// promise: on Windows, replacing a file by renaming another onto it fails
// while any handle to it is open, whatever that handle shares (ReplacementFile
// tries again for about 2 s). So a reader stands in the way of a replace for
// as long as it has the file open: the dialog's look at a game folder keeps a
// car's files open only while it reads that car, and a run stops it and
// waits for it before replacing any.
FilePtr OpenForReading(const std::string& path, OpenFailure* why = nullptr,
                       WhenHeld held = WhenHeld::kRetry);

// True when anything at all has this name, even if it cannot be read.
bool PathExists(const std::string& path);

// True when `path` names a folder (or a link to one).
bool IsFolder(const std::string& path);

// The folder that holds `folder` (which ends with a separator), with its
// separator; empty at the root of its volume, and for a path with no root to
// stop at. On Windows the root is a drive's (C:\) or a network share's
// (\\server\share\), also behind the \\?\ or \\.\ prefix (\\?\C:\,
// \\?\UNC\server\share\); a relative or drive-relative path has none. Above
// a share a probe would name another machine, and reaching for it means a
// name look-up and a logon with the user's credentials. Under Wine a Linux
// path (one '/' and a name) has Linux's root, its '/'. On POSIX the root is
// the leading separator.
std::string FolderAbove(const std::string& folder);

// True when the existing file at `path` may be overwritten: it opens for
// writing (without being changed) and is not marked read-only.
bool CanModify(const std::string& path);

enum class CommitResult {
  kCommitted,      // the target now has the new contents
  kWriteFailed,    // writing or flushing the new contents failed
  kReplaceFailed,  // the new contents could not be put in place
  kTargetExists,   // kKeepExisting only: something has the target's name
};

enum class CommitMode {
  kReplace,       // an existing target is replaced
  kKeepExisting,  // an existing target is never replaced, even by a race
};

// A new version of the file at `target`, written to a fresh temporary file in
// the same folder, under a name that marks it as this program's. Commit()
// flushes it to disk and puts it in place in one step; until then, and
// whenever anything fails, the target is untouched and the temporary file is
// removed.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::string& target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // The stream to write the new contents to; nullptr if no temporary file
  // could be created.
  std::FILE* stream() const { return stream_; }
  // True when no temporary file could be made because the folder may not be
  // written: no permission, or a read-only file system.
  bool refused() const { return refused_; }

  CommitResult Commit(CommitMode mode = CommitMode::kReplace);

 private:
  void Discard();

  // In the platform's own form: UTF-16, as the system takes it, on Windows.
  using SystemString = std::filesystem::path::string_type;
  SystemString target_;
  SystemString temporary_;  // empty when none
  std::FILE* stream_ = nullptr;
  bool refused_ = false;
};

// Whether `name` (without folder) is one that a ReplacementFile for a target
// named `targetName` can have: "<target name>.brake-tweak-" followed by
// exactly the generated part, six letters or digits (POSIX) or a process id
// and a counter in decimal joined by '-' (Windows).
bool IsTemporaryNameFor(std::string_view name, std::string_view targetName);

// Removes the temporary files of ReplacementFiles for `target` that a process
// left behind when it died (the names IsTemporaryNameFor accepts), and
// nothing else. While `target` itself is missing, such a file may be its last
// copy: a replace cut short on a file system that does not journal renames
// (FAT32, exFAT) can leave the new file only under its temporary name. With
// `keepWhileTargetMissing` they are then kept, and their names (without
// folder) returned. Call it only under the game folder's FolderLock, so that
// no live run is writing one of them.
std::vector<std::string> RemoveLeftovers(const std::string& target,
                                         bool keepWhileTargetMissing);

// Keeps other runs out of a folder, however its path is spelt: on Windows
// those of every process, session, user and machine, with a lock file named
// kFolderLockFileName in the folder; on POSIX those of every process, with
// flock(). The system releases it when the process ends, even by a crash, so
// a dead run never leaves the folder locked.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // False when another process holds the folder. Where the system cannot
  // lock it at all, the run goes on unlocked: it is then no worse off than
  // without a lock, and backups are still never replaced.
  bool held() const { return held_; }

 private:
  bool held_ = true;
  std::intptr_t handle_ = -1;  // the platform's lock handle, -1 when none
};
