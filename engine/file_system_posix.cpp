#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

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

// Makes a completed rename durable. Failure here cannot undo the rename, so
// it is not reported.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::FILE* OpenForReading(const std::string& path) {
  std::FILE* file = std::fopen(NativePath(path).c_str(), "rb");
  if (file == nullptr) return nullptr;
  struct stat info {};
  if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(NativePath(path).c_str(), &info) == 0 ||
         (errno != ENOENT && errno != ENOTDIR);
}

bool CanModify(const std::string& path) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

ReplacementFile::ReplacementFile(const std::string& target)
    : target_(NativePath(target)) {
  std::string name = target_ + ".XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return;
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

CommitResult ReplacementFile::Commit() {
  if (stream_ == nullptr) return CommitResult::kWriteFailed;
  const bool written = std::ferror(stream_) == 0 && std::fflush(stream_) == 0 &&
                       ::fsync(::fileno(stream_)) == 0;
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (!written || !closed) {
    Discard();
    return CommitResult::kWriteFailed;
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Discard();
    return CommitResult::kReplaceFailed;
  }
  temporary_.clear();
  SyncFolder(FolderOf(target_));
  return CommitResult::kReplaced;
}
