#include "game_finder.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "file_system.h"
#include "under_wine.h"
#include "utf16_win32.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A cloud placeholder: its contents, or the folder's list, come from the
// network when opened or read. Not every SDK names the first two.
constexpr DWORD kRecallOnOpen = 0x00040000;
constexpr DWORD kRecallOnDataAccess = 0x00400000;
constexpr DWORD kNotOnThisPC = FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess;

FolderEntry EntryOf(std::string name, DWORD attributes) {
  return {std::move(name), (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
          (attributes & kNotOnThisPC) != 0};
}

// A folder's path without its last backslash (but for a drive's root), so
// that a link at its end is the link itself rather than the way into it.
std::string WithoutSeparator(const std::string& folder) {
  return folder.size() > 3 && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
}

// The kind of the volume a path names: a drive (C:\) or a volume
// (Volume{...}\), also after \\?\ or \??\; kElsewhere for a share, a device
// or a relative path. Nothing on the volume is read.
VolumeKind KindOf(std::wstring_view path) {
  if (path.starts_with(LR"(\\?\)") || path.starts_with(LR"(\??\)")) path.remove_prefix(4);
  std::wstring root;
  if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') {
    root = path.substr(0, 3);
  } else if (path.starts_with(L"Volume{") && path.find(L'\\') != std::wstring_view::npos) {
    root = LR"(\\?\)" + std::wstring(path.substr(0, path.find(L'\\') + 1));
  }
  switch (root.empty() ? DRIVE_UNKNOWN : GetDriveTypeW(root.c_str())) {
    case DRIVE_FIXED:
      return VolumeKind::kFixed;
    case DRIVE_REMOVABLE:
      return VolumeKind::kRemovable;
    default:
      return VolumeKind::kElsewhere;
  }
}

// Calls `each` with every entry that FindFirstFileExW gives for `folder` and
// `search` (which, limited to folders, may give files too); with none where
// the folder cannot be read.
template <typename Each>
void ForEachEntry(const std::string& folder, FINDEX_SEARCH_OPS search, Each each) {
  const std::optional<std::wstring> pattern = ToSystemPath(folder + "*");
  WIN32_FIND_DATAW entry;
  const HANDLE found = pattern ? FindFirstFileExW(pattern->c_str(), FindExInfoBasic, &entry,
                                                  search, nullptr, FIND_FIRST_EX_LARGE_FETCH)
                               : INVALID_HANDLE_VALUE;
  if (found == INVALID_HANDLE_VALUE) return;
  const std::unique_ptr<void, decltype(&FindClose)> closer(found, &FindClose);
  do {
    each(entry);
  } while (FindNextFileW(found, &entry));
}

HANDLE OpenFolder(const std::wstring& path, DWORD flags) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// A folder's path as a link stores it (\??\C:\Games) or as the system gives
// it (\\?\UNC\server\share), in the form the search takes: a drive's path,
// a share as \\server\share\, a volume as \\?\Volume{...}\, with a backslash
// at its end.
std::string SearchPath(std::wstring path) {
  if (path.starts_with(LR"(\??\)") || path.starts_with(LR"(\\?\)")) path.erase(0, 4);
  if (path.starts_with(LR"(UNC\)")) {
    path.replace(0, 3, L"\\");
  } else if (path.starts_with(L"Volume{")) {
    path.insert(0, LR"(\\?\)");
  }
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return ToUtf8(path);
}

// The folder that a relative link's `target` names from `folder`, the one
// that holds the link (C:\Games\), its "." and ".." taken by name, as the
// system takes them, and never above `folder`'s drive; a target that begins
// with a backslash starts at the drive's root.
std::wstring Joined(std::wstring folder, std::wstring_view target) {
  const std::size_t root = folder.starts_with(LR"(\\?\)") ? 7 : 3;
  if (target.starts_with(L'\\')) folder.erase(std::min(root, folder.size()));
  while (!target.empty()) {
    const std::size_t end = std::min(target.find(L'\\'), target.size());
    const std::wstring_view name = target.substr(0, end);
    target.remove_prefix(std::min(end + 1, target.size()));
    if (name == L"..") {
      if (folder.size() > root) folder.erase(folder.find_last_of(L'\\', folder.size() - 2) + 1);
    } else if (!name.empty() && name != L".") {
      folder.append(name).push_back(L'\\');
    }
  }
  return folder;
}

// Where the folder at `path` finally lies, every link on its way followed,
// in the search's form (SearchPath); empty when it cannot be opened.
std::string FinalPath(const std::wstring& path) {
  const HANDLE folder = OpenFolder(path, 0);
  if (folder == INVALID_HANDLE_VALUE) return "";
  std::wstring final(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(folder, final.data(),
                                           static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
  if (length >= final.size()) {
    final.resize(length);
    length = GetFinalPathNameByHandleW(folder, final.data(), static_cast<DWORD>(final.size()),
                                       VOLUME_NAME_DOS);
  }
  CloseHandle(folder);
  return length > 0 && length < final.size() ? SearchPath(final.substr(0, length)) : "";
}

// The reparse data of a junction or mount point, and of a symbolic link
// (which has a flags field more), as FSCTL_GET_REPARSE_POINT gives them.
struct ReparseData {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;  // into the names, in bytes
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
};
constexpr ULONG kRelativeLink = 1;  // SYMLINK_FLAG_RELATIVE

// `path` as a folder: with one backslash at its end.
std::string AsFolder(std::wstring_view path) {
  std::string folder = ToUtf8(path);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// The folder of each running steam.exe, from its process's image path. Only
// the limited query right is asked for, which reads nothing of the process
// but such facts and changes nothing; a process that refuses it is passed
// over.
std::vector<std::string> RunningSteamFolders() {
  std::vector<std::string> folders;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return folders;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, L"steam.exe", -1, TRUE) != CSTR_EQUAL) continue;
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    if (QueryFullProcessImageNameW(process, 0, image.data(), &length)) {
      image.resize(length);
      const std::size_t name = image.find_last_of(L'\\');
      if (name != std::wstring::npos) folders.push_back(AsFolder(image.substr(0, name)));
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return folders;
}

// Under Wine, the Linux home of the user who runs it, as Wine names it for
// Windows programs (WINEHOMEDIR, \??\Z:\home\you); empty elsewhere.
std::string WineHomeFolder() {
  if (!RunningUnderWine()) return "";
  std::wstring home(32768, L'\0');
  const DWORD length =
      GetEnvironmentVariableW(L"WINEHOMEDIR", home.data(), static_cast<DWORD>(home.size()));
  if (length == 0 || length >= home.size()) return "";
  home.resize(length);
  if (home.starts_with(LR"(\??\)")) home.erase(0, 4);
  return AsFolder(home);
}

}  // namespace

GameSearchPlaces ThisComputersPlaces() {
  GameSearchPlaces places;
  const DWORD drives = GetLogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (drives >> (letter - 'A') & 1) places.drives.push_back(std::string(1, letter) + ":\\");
  }
  if (const std::wstring& root = LinuxRootDrive(); !root.empty()) {
    places.linuxRoot = ToUtf8(root) + '\\';
    places.homes = places.linuxRoot + "home\\";
    places.ownHome = WineHomeFolder();
  }
  PWSTR programData = nullptr;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DONT_VERIFY, nullptr,
                                     &programData))) {
    places.programData = AsFolder(programData);
  }
  CoTaskMemFree(programData);
  places.steamFolders = RunningSteamFolders();
  return places;
}

VolumeKind CWin32Disks::DriveKind(const std::string& path) {
  return KindOf(ToUtf16ForDisplay(path));
}

std::vector<FolderEntry> CWin32Disks::Subfolders(const std::string& folder) {
  std::vector<FolderEntry> found;
  ForEachEntry(folder, FindExSearchLimitToDirectories, [&](const WIN32_FIND_DATAW& entry) {
    const std::wstring_view name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") {
      found.push_back(EntryOf(ToUtf8(name), entry.dwFileAttributes));
    }
  });
  return found;
}

std::optional<FolderEntry> CWin32Disks::Look(const std::string& folder) {
  const std::string path = WithoutSeparator(folder);
  const std::optional<std::wstring> name = ToSystemPath(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!name || !GetFileAttributesExW(name->c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return std::nullopt;
  }
  return EntryOf(path.substr(path.find_last_of('\\') + 1), data.dwFileAttributes);
}

// Only junctions, mount points and symbolic links are followed: other
// reparse points are a cloud's, a deduplicator's or a packaged program's.
std::string CWin32Disks::LinkTarget(const std::string& folder) {
  const std::string linkPath = WithoutSeparator(folder);
  const std::optional<std::wstring> path = ToSystemPath(linkPath);
  const HANDLE link = path ? OpenFolder(*path, FILE_FLAG_OPEN_REPARSE_POINT) : INVALID_HANDLE_VALUE;
  if (link == INVALID_HANDLE_VALUE) return "";
  std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD size = 0;
  const bool read = DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                    static_cast<DWORD>(data.size()), &size, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(link);
  if (!read) {
    // Wine shows a Linux symbolic link as a reparse point without data, and
    // Linux follows it wherever it leads.
    return RunningUnderWine() && error == ERROR_NOT_A_REPARSE_POINT ? FinalPath(*path) : "";
  }
  ReparseData header;
  if (size < sizeof header) return "";
  std::memcpy(&header, data.data(), sizeof header);
  const bool symbolic = header.tag == IO_REPARSE_TAG_SYMLINK;
  if (!symbolic && header.tag != IO_REPARSE_TAG_MOUNT_POINT) return "";
  const std::size_t names = sizeof header + (symbolic ? sizeof(ULONG) : 0);
  const std::size_t end = names + header.substituteOffset + header.substituteLength;
  if (end > size) return "";
  ULONG flags = 0;
  if (symbolic) std::memcpy(&flags, data.data() + sizeof header, sizeof flags);
  std::wstring target(header.substituteLength / sizeof(wchar_t), L'\0');
  std::memcpy(target.data(), data.data() + names + header.substituteOffset,
              target.size() * sizeof(wchar_t));
  if (symbolic && (flags & kRelativeLink)) {
    const std::wstring linkFolder = ToUtf16ForDisplay(linkPath);
    target = Joined(linkFolder.substr(0, linkFolder.find_last_of(L'\\') + 1), target);
  }
  return SearchPath(target);
}

// The 128-bit id, from Windows 8 on; the 64-bit one need not be unique on ReFS.
std::optional<FolderId> CWin32Disks::IdOf(const std::string& folder) {
  const std::optional<std::wstring> path = ToSystemPath(folder);
  const HANDLE handle = path ? OpenFolder(*path, 0) : INVALID_HANDLE_VALUE;
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  FILE_ID_INFO info;
  const bool known = GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info);
  CloseHandle(handle);
  if (!known) return std::nullopt;
  FolderId id;
  id.volume = info.VolumeSerialNumber;
  std::memcpy(id.file.data(), info.FileId.Identifier, id.file.size());
  return id;
}

std::string CWin32Disks::Text(const std::string& file, std::size_t most) {
  std::string text;
  const std::optional<std::wstring> path = ToSystemPath(file);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!path || !GetFileAttributesExW(path->c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & kNotOnThisPC)) {
    return text;
  }
  if (const FilePtr stream = OpenForReading(file, nullptr, WhenHeld::kGiveUp)) {
    char block[16384];
    std::size_t read = 0;
    while (text.size() < most &&
           (read = std::fread(block, 1, std::min(sizeof block, most - text.size()),
                              stream.get())) > 0) {
      text.append(block, read);
    }
  }
  return text;
}

bool CWin32Disks::HasFile(const std::string& file) {
  const std::optional<std::wstring> path = ToSystemPath(file);
  WIN32_FILE_ATTRIBUTE_DATA data;
  return path && GetFileAttributesExW(path->c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> CWin32Disks::Files(const std::string& folder) {
  std::vector<std::string> found;
  ForEachEntry(folder, FindExSearchNameMatch, [&](const WIN32_FIND_DATAW& entry) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      found.push_back(ToUtf8(entry.cFileName));
    }
  });
  return found;
}

// A drive without its medium fails at once rather than asking the user for
// it, and the search's reads wait behind the other programs'.
void FindGameOnThisPC(const std::atomic<bool>& stop,
                      const std::function<void(const std::string&)>& found) {
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);
  SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
  try {
    CWin32Disks disks;
    FindGameDataFolders(ThisComputersPlaces(), disks, found, stop);
  } catch (const std::bad_alloc&) {
    // What was found stays found.
  }
  SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_END);
}
