#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <string_view>

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

// MoveFileExA, tried again while another program's handle is in the way.
// GetLastError() tells why it failed.
bool MoveWithRetries(const std::string& from, const std::string& to, DWORD flags) {
  DWORD delay = kFirstRetryDelayMs;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    if (attempt == kReplaceAttempts || !IsTransientReplaceError(GetLastError())) {
      return false;
    }
    Sleep(delay);
    delay *= 2;
  }
}

// A C stream over `handle`, which it then owns; nullptr, with the handle
// closed, on failure.
std::FILE* OpenStream(HANDLE handle, int flags, const char* mode) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, mode);
  if (stream == nullptr) _close(fd);
  return stream;
}

std::string FolderOf(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

// Shared as fopen shares it: others may read and write meanwhile. A folder
// is told by its attributes, since opening one fails as a refusal does; a
// device or pipe by the type of what was opened.
FilePtr OpenForReading(const std::string& path, OpenFailure* why) {
  OpenFailure failure = OpenFailure::kRefused;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      failure = OpenFailure::kMissing;
    }
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    failure = OpenFailure::kNotAFile;
  }
  if (failure == OpenFailure::kRefused) {
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        failure = OpenFailure::kMissing;
      }
    } else if (GetFileType(handle) != FILE_TYPE_DISK) {
      CloseHandle(handle);
      failure = OpenFailure::kNotAFile;
    } else if (std::FILE* file = OpenStream(handle, _O_RDONLY, "rb")) {
      return FilePtr(file);
    }
  }
  if (why != nullptr) *why = failure;
  return nullptr;
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
    const std::string name = target_ + std::string(kTemporaryMarker) +
                             std::to_string(process) + "-" +
                             std::to_string(GetTickCount() + attempt);
    const HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS) continue;
      refused_ = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
      return;
    }
    temporary_ = name;
    stream_ = OpenStream(handle, _O_WRONLY, "wb");
    if (stream_ == nullptr) Discard();
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

CommitResult ReplacementFile::Commit(CommitMode mode) {
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
  // Without MOVEFILE_REPLACE_EXISTING the move fails where the target exists.
  const DWORD flags =
      mode == CommitMode::kReplace ? MOVEFILE_REPLACE_EXISTING : DWORD{0};
  if (MoveWithRetries(temporary_, target_, flags)) {
    temporary_.clear();
    return CommitResult::kCommitted;
  }
  const DWORD error = GetLastError();
  Discard();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
             ? CommitResult::kTargetExists
             : CommitResult::kReplaceFailed;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  return MoveWithRetries(from, to, MOVEFILE_REPLACE_EXISTING);
}

void RemoveLeftovers(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string name = target.substr(folder.size());
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(
      (target + std::string(kTemporaryMarker) + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    // The pattern also matches short 8.3 names; only the long name counts.
    if (IsTemporaryNameFor(found.cFileName, name) &&
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      DeleteFileA((folder + found.cFileName).c_str());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// A named mutex per folder, named after the folder's identity on its volume,
// so that every spelling of the path (drive letters, short names, case, a
// Linux path under Wine) meets the same one. Its existence is the lock.
FolderLock::FolderLock(const std::string& folder) {
  const HANDLE opened = CreateFileA(
      folder.c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION identity;
  const bool known = GetFileInformationByHandle(opened, &identity) != 0;
  CloseHandle(opened);
  if (!known) return;
  char name[64];
  std::snprintf(name, sizeof name, "Local\\KestruneBrakeTweaker-%08lx-%08lx%08lx",
                identity.dwVolumeSerialNumber, identity.nFileIndexHigh,
                identity.nFileIndexLow);
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) {
    // No access to it: a run with other rights (as administrator) made it.
    held_ = GetLastError() != ERROR_ACCESS_DENIED;
    return;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    held_ = false;
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
}

FolderLock::~FolderLock() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}
