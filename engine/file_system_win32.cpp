#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <string>

#include "file_system.h"

namespace {

// A rename that meets another program's open handle (a virus scanner, an
// indexer, the game itself) is tried again for a moment before giving up.
constexpr int kReplaceAttempts = 6;
constexpr DWORD kFirstRetryDelayMs = 10;  // doubled after each attempt

bool IsTransientReplaceError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

}  // namespace

std::FILE* OpenForReading(const std::string& path) {
  return std::fopen(path.c_str(), "rb");
}

bool PathExists(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool CanModify(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  // Opening for writing fails while another program holds the file without
  // sharing it for writing. Nothing is written.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

ReplacementFile::ReplacementFile(const std::string& target) : target_(target) {
  // CREATE_NEW never opens an existing file, so a name left by an earlier
  // crash is simply skipped.
  const DWORD process = GetCurrentProcessId();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = target_ + "." + std::to_string(process) + "-" +
                             std::to_string(GetTickCount() + attempt) + ".tmp";
    const HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return;
    }
    temporary_ = name;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      CloseHandle(handle);
      Discard();
      return;
    }
    stream_ = _fdopen(fd, "wb");
    if (stream_ == nullptr) {
      _close(fd);
      Discard();
    }
    return;
  }
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
  temporary_.clear();
}

CommitResult ReplacementFile::Commit() {
  if (stream_ == nullptr) return CommitResult::kWriteFailed;
  const HANDLE handle =
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_)));
  const bool written = std::ferror(stream_) == 0 && std::fflush(stream_) == 0 &&
                       FlushFileBuffers(handle) != 0;
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (!written || !closed) {
    Discard();
    return CommitResult::kWriteFailed;
  }
  DWORD delay = kFirstRetryDelayMs;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(temporary_.c_str(), target_.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      temporary_.clear();
      return CommitResult::kReplaced;
    }
    if (attempt == kReplaceAttempts || !IsTransientReplaceError(GetLastError())) {
      break;
    }
    Sleep(delay);
    delay *= 2;
  }
  Discard();
  return CommitResult::kReplaceFailed;
}
