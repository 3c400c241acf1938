#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"

namespace {

// The engine composes Windows paths; here each backslash is a '/'.
std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// Makes a completed rename durable. Failure here cannot undo the rename, so
// it is not reported.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

// Only a regular file is opened. A pipe would wait for a writer and a device
// may act on being opened, so the name is looked at first; O_NONBLOCK covers
// a swap of the name in between, and fstat sees what was opened.
FilePtr OpenForReading(const std::string& path, OpenFailure* why, WhenHeld) {
  OpenFailure failure = OpenFailure::kRefused;
  const std::string native = NativePath(path);
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) {
      failure = OpenFailure::kMissing;
    }
  } else if (!S_ISREG(info.st_mode)) {
    failure = OpenFailure::kNotAFile;
  } else if (const int fd = ::open(native.c_str(),
                                   O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
             fd >= 0) {
    if (::fstat(fd, &info) != 0) {
      ::close(fd);
    } else if (!S_ISREG(info.st_mode)) {
      ::close(fd);
      failure = OpenFailure::kNotAFile;
    } else if (std::FILE* file = ::fdopen(fd, "rb")) {
      return FilePtr(file);
    } else {
      ::close(fd);
    }
  } else if (errno == ENOENT) {
    failure = OpenFailure::kMissing;
  }
  if (why != nullptr) *why = failure;
  return nullptr;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(NativePath(path).c_str(), &info) == 0 ||
         (errno != ENOENT && errno != ENOTDIR);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return path.find('\0') == std::string::npos &&
         ::stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FolderAbove(const std::string& folder) {
  if (folder.size() < 2 || (folder[0] != '/' && folder[0] != '\\')) return "";
  return folder.substr(0, folder.find_last_of("\\/", folder.size() - 2) + 1);
}

bool CanModify(const std::string& path) {
  // O_NONBLOCK: a pipe without a reader fails at once instead of waiting.
  const int fd =
      ::open(NativePath(path).c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

ReplacementFile::ReplacementFile(const std::string& target)
    : target_(NativePath(target)) {
  std::string name = target_ + std::string(kTemporaryMarker) + "XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    refused_ = errno == EACCES || errno == EPERM || errno == EROFS;
    return;
  }
  temporary_ = name;
  // Keep the target's permissions; a new file gets the usual 0666 & ~umask.
  struct stat info {};
  mode_t mode;
  if (::stat(target_.c_str(), &info) == 0) {
    mode = info.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    ::close(fd);
    Discard();
  }
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

CommitResult ReplacementFile::Commit(CommitMode mode) {
  if (stream_ == nullptr) return CommitResult::kWriteFailed;
  const bool written = std::ferror(stream_) == 0 && std::fflush(stream_) == 0 &&
                       ::fsync(::fileno(stream_)) == 0;
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (!written || !closed) {
    Discard();
    return CommitResult::kWriteFailed;
  }
  if (mode == CommitMode::kKeepExisting) {
    // A second name for the new file appears only where none was.
    if (::link(temporary_.c_str(), target_.c_str()) != 0) {
      const bool exists = errno == EEXIST;
      Discard();
      return exists ? CommitResult::kTargetExists : CommitResult::kReplaceFailed;
    }
    // Should this fail, the next run removes the temporary name.
    ::unlink(temporary_.c_str());
  } else if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Discard();
    return CommitResult::kReplaceFailed;
  }
  temporary_.clear();
  SyncFolder(FolderOf(target_));
  return CommitResult::kCommitted;
}

std::vector<std::string> RemoveLeftovers(const std::string& target,
                                         bool keepWhileTargetMissing) {
  const std::string native = NativePath(target);
  const std::string name = NameOf(native);
  const bool keep = keepWhileTargetMissing && !PathExists(target);
  std::vector<std::string> kept;
  DIR* folder = ::opendir(FolderOf(native).c_str());
  if (folder == nullptr) return kept;
  while (const dirent* entry = ::readdir(folder)) {
    if (!IsTemporaryNameFor(entry->d_name, name)) continue;
    if (keep) {
      kept.push_back(entry->d_name);
    } else {
      ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
  }
  ::closedir(folder);
  std::sort(kept.begin(), kept.end());
  return kept;
}

// flock() locks belong to the open folder, so they hold against other
// processes and against other opens in this one.
FolderLock::FolderLock(const std::string& folder) {
  const int fd = ::open(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    held_ = errno != EWOULDBLOCK;
    ::close(fd);
    return;
  }
  handle_ = fd;
}

FolderLock::~FolderLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}
