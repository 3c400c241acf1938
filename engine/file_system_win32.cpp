#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"
#include "under_wine.h"
#include "utf16_win32.h"

// Paths come in as UTF-8 and reach each wide file function as ToSystemPath
// gives them, at any length; one that no file can have reads as missing.

namespace {

// Another program's handle (the game, a virus scanner, a sync client) can
// stand in the way of an open or a replace for a moment, and so can a file
// whose deletion waits for its last handle to close. Such failures are tried
// again, with growing pauses, for about 2 s in all.
constexpr ULONGLONG kBusyRetryMs = 2000;
constexpr DWORD kLongestPauseMs = 250;

bool IsBusyError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_DELETE_PENDING;
}

// Opening a file whose deletion is pending fails with ERROR_ACCESS_DENIED,
// as a refusal does; but then even its attributes cannot be read.
bool IsDeletePending(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetLastError() == ERROR_ACCESS_DENIED;
}

// Calls `attempt` until it succeeds, until it fails with an error that
// `busy` does not accept, or for about 2 s. GetLastError() then tells why the
// last attempt failed.
template <typename Attempt, typename Busy>
bool TryWhileBusy(Attempt attempt, Busy busy) {
  const ULONGLONG start = GetTickCount64();
  for (DWORD pause = 1;; pause = std::min(2 * pause, kLongestPauseMs)) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    if (!busy(error) || GetTickCount64() - start + pause > kBusyRetryMs) {
      SetLastError(error);
      return false;
    }
    Sleep(pause);
  }
}

// CreateFileW for an existing file, tried again while it is busy unless
// `held` says not to.
HANDLE OpenExisting(const std::wstring& path, DWORD access, DWORD sharing,
                    WhenHeld held = WhenHeld::kRetry) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  TryWhileBusy(
      [&] {
        handle = CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
      },
      [&](DWORD error) {
        return held == WhenHeld::kRetry &&
               (IsBusyError(error) ||
                (error == ERROR_ACCESS_DENIED && IsDeletePending(path)));
      });
  return handle;
}

// MoveFileExW, tried again while it is busy. A replace also fails with
// ERROR_ACCESS_DENIED while another program has the target open without
// FILE_SHARE_DELETE. GetLastError() tells why it failed.
bool MoveWithRetries(const std::wstring& from, const std::wstring& to, DWORD flags) {
  return TryWhileBusy(
      [&] {
        return MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH) != 0;
      },
      [](DWORD error) { return IsBusyError(error) || error == ERROR_ACCESS_DENIED; });
}

// No file can have the name: none has it, a folder on the way is missing,
// or the name cannot be one (too long, ill-formed, no such server or share).
// Opening an existing file with valid flags can only find its name invalid.
bool IsMissingError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_FILENAME_EXCED_RANGE ||
         error == ERROR_INVALID_PARAMETER || error == ERROR_BAD_NETPATH ||
         error == ERROR_BAD_NET_NAME;
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

// ASCII text, as the parts of names the program makes are, in UTF-16.
std::wstring Widened(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The end of the name that starts at `from`, past the separator after it;
// npos when no such name and separator are there.
std::size_t PastName(const std::string& path, std::size_t from) {
  const std::size_t end = path.find_first_of("\\/", from);
  return end == std::string::npos || end == from ? std::string::npos : end + 1;
}

// The length of the volume root that `path` begins with (see FolderAbove);
// 0 without one.
std::size_t RootLength(const std::string& path) {
  // Under Wine, one '/' and a name begin a Linux path (ExtendedLengthPath).
  if (path.size() >= 2 && path[0] == '/' && !IsSeparator(path[1]) &&
      !LinuxRootDrive().empty()) {
    return 1;
  }
  const bool prefixed = path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                        (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]);
  const std::size_t at = prefixed ? 4 : 0;
  if (path.size() >= at + 3 && IsDriveLetter(path[at]) && path[at + 1] == ':' &&
      IsSeparator(path[at + 2])) {
    return at + 3;
  }
  std::size_t server = 0;
  if (!prefixed && path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    server = 2;
  } else if (prefixed && _strnicmp(path.c_str() + 4, "UNC\\", 4) == 0) {
    server = 8;
  } else {
    return 0;
  }
  const std::size_t share = PastName(path, server);
  const std::size_t end = share == std::string::npos ? share : PastName(path, share);
  return end == std::string::npos ? 0 : end;
}

}  // namespace

// A folder fails to open as a refusal does, so the attributes tell it; a
// device or pipe is told by the type of what was opened.
FilePtr OpenForReading(const std::string& path, OpenFailure* why, WhenHeld held) {
  const std::optional<std::wstring> name = ToSystemPath(path);
  const HANDLE handle =
      name ? OpenExisting(*name, GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, held)
           : INVALID_HANDLE_VALUE;
  OpenFailure failure = OpenFailure::kRefused;
  if (handle == INVALID_HANDLE_VALUE) {
    if (!name || IsMissingError(GetLastError())) {
      failure = OpenFailure::kMissing;
    } else if (const DWORD attributes = GetFileAttributesW(name->c_str());
               attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      failure = OpenFailure::kNotAFile;
    }
  } else if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    failure = OpenFailure::kNotAFile;
  } else if (std::FILE* file = OpenStream(handle, _O_RDONLY, "rb")) {
    return FilePtr(file);
  }
  if (why != nullptr) *why = failure;
  return nullptr;
}

bool PathExists(const std::string& path) {
  const std::optional<std::wstring> name = ToSystemPath(path);
  if (!name) return false;
  if (GetFileAttributesW(name->c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool IsFolder(const std::string& path) {
  const std::optional<std::wstring> name = ToSystemPath(path);
  const DWORD attributes = name ? GetFileAttributesW(name->c_str()) : INVALID_FILE_ATTRIBUTES;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string FolderAbove(const std::string& folder) {
  const std::size_t root = RootLength(folder);
  if (root == 0 || folder.size() <= root) return "";
  const std::size_t cut = folder.find_last_of("\\/", folder.size() - 2);
  return cut == std::string::npos || cut + 1 < root ? "" : folder.substr(0, cut + 1);
}

bool CanModify(const std::string& path) {
  const std::optional<std::wstring> name = ToSystemPath(path);
  if (!name) return false;
  const DWORD attributes = GetFileAttributesW(name->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  // Opening for writing fails while another program holds the file without
  // sharing it for writing. Nothing is written.
  const HANDLE handle =
      OpenExisting(*name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

// A target that no file can have gets no stream, and is not refused.
ReplacementFile::ReplacementFile(const std::string& target) {
  const std::optional<std::wstring> systemTarget = ToSystemPath(target);
  if (!systemTarget) return;
  target_ = *systemTarget;
  // CREATE_NEW never opens an existing file, so a name left by an earlier
  // crash, or one whose deletion is pending, is simply skipped. The name is
  // longer than the target's, so it may need the prefix where that did not.
  const DWORD process = GetCurrentProcessId();
  DWORD error = ERROR_SUCCESS;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = ExtendedLengthPath(
        target_ + Widened(std::string(kTemporaryMarker) + std::to_string(process) + "-" +
                          std::to_string(GetTickCount() + attempt)));
    const HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = GetLastError();
      if (error == ERROR_FILE_EXISTS ||
          (error == ERROR_ACCESS_DENIED && IsDeletePending(name))) {
        continue;
      }
      break;
    }
    temporary_ = name;
    stream_ = OpenStream(handle, _O_WRONLY, "wb");
    if (stream_ == nullptr) Discard();
    return;
  }
  refused_ = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
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

std::vector<std::string> RemoveLeftovers(const std::string& target,
                                         bool keepWhileTargetMissing) {
  std::vector<std::string> kept;
  const std::optional<std::wstring> pattern =
      ToSystemPath(target + std::string(kTemporaryMarker) + "*");
  if (!pattern) return kept;
  const std::wstring folder = pattern->substr(0, pattern->find_last_of(L"\\/") + 1);
  const std::string name = target.substr(target.find_last_of("\\/") + 1);
  const bool keep = keepWhileTargetMissing && !PathExists(target);
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern->c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return kept;
  do {
    // The pattern also matches short 8.3 names; only the long name counts.
    const std::string foundName = ToUtf8(found.cFileName);
    if (IsTemporaryNameFor(foundName, name) &&
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if (keep) {
        kept.push_back(foundName);
      } else {
        DeleteFileW(ExtendedLengthPath(folder + found.cFileName).c_str());
      }
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return kept;
}

// A lock file in the folder, opened without sharing and deleted when its
// handle closes. The file system enforces the sharing for every process,
// session and user, and a file server for every machine; the system closes
// the handle when the process ends, even by a crash. A file left behind by a
// machine that went down opens as any other, so it never blocks a later run.
FolderLock::FolderLock(const std::string& folder) {
  const std::optional<std::wstring> path =
      ToSystemPath(folder + "\\" + kFolderLockFileName);
  if (!path) return;
  HANDLE lock = INVALID_HANDLE_VALUE;
  const bool opened = TryWhileBusy(
      [&] {
        lock = CreateFileW(path->c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                           OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        return lock != INVALID_HANDLE_VALUE;
      },
      // The last run's lock file, still being deleted.
      [&](DWORD error) { return error == ERROR_ACCESS_DENIED && IsDeletePending(*path); });
  if (!opened) {
    held_ = GetLastError() != ERROR_SHARING_VIOLATION;
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(lock);
}

FolderLock::~FolderLock() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}
