#include "game_finder.h"

#include <windows.h>
#include <process.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <set>

#include "car_files.h"
#include "file_system.h"
#include "steam_libraries.h"
#include "under_wine.h"
#include "utf16_win32.h"

namespace {

constexpr const char* kSteamOnADrive[] = {"Program Files (x86)\\Steam\\",
                                          "Program Files\\Steam\\", "Steam\\",
                                          "SteamLibrary\\"};
constexpr const char* kSteamInAHome[] = {
    ".local\\share\\Steam\\", ".steam\\steam\\",
    ".var\\app\\com.valvesoftware.Steam\\.local\\share\\Steam\\"};
constexpr const char* kStoreGames[] = {"Program Files (x86)\\GOG Galaxy\\Games\\",
                                       "Program Files\\Epic Games\\"};
constexpr int kDataFolderDepth = 2;  // levels below a game's folder

bool IsFixedDrive(const std::string& root) {
  const std::optional<std::wstring> name = ToUtf16(root);
  return name && GetDriveTypeW(name->c_str()) == DRIVE_FIXED;
}

// The folders in `folder`, each with its backslash; none if it cannot be read.
std::vector<std::string> Subfolders(const std::string& folder) {
  std::vector<std::string> found;
  const std::optional<std::wstring> pattern = ToSystemPath(folder + "*");
  if (!pattern) return found;
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileExW(pattern->c_str(), FindExInfoBasic, &entry,
                                         FindExSearchLimitToDirectories, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return found;
  const std::unique_ptr<void, decltype(&FindClose)> closer(search, &FindClose);
  do {
    const std::wstring name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") {
      found.push_back(folder + ToUtf8(name) + '\\');
    }
  } while (FindNextFileW(search, &entry));
  return found;
}

// What tells folders apart however they are reached: the volume's serial
// number and the folder's 128-bit file id, in hex after a '*' (from Windows 8
// on; the 64-bit id need not be unique on ReFS). Without them, the path in
// upper case, which holds no '*'.
std::wstring FolderKey(const std::string& folder) {
  const std::wstring path = ToSystemPath(folder).value_or(std::wstring());
  const HANDLE handle =
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    FILE_ID_INFO id;
    const bool known = GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id);
    CloseHandle(handle);
    if (known) {
      std::wstring key = L"*";
      const auto* bytes = reinterpret_cast<const unsigned char*>(&id);
      for (std::size_t i = 0; i < sizeof id; ++i) {
        key += L"0123456789abcdef"[bytes[i] >> 4];
        key += L"0123456789abcdef"[bytes[i] & 15];
      }
      return key;
    }
  }
  std::wstring upper(path.size(), L'\0');
  upper.resize(LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(),
                             static_cast<int>(path.size()), upper.data(),
                             static_cast<int>(upper.size()), nullptr, nullptr, 0));
  return upper;
}

class Search {
 public:
  explicit Search(const GameSearchPlaces& places) : places_(places) {}

  std::vector<std::string> Run() {
    for (const std::string& drive : places_.drives) {
      for (const char* steam : kSteamOnADrive) Steam(drive + steam);
      for (const char* store : kStoreGames) {
        for (const std::string& game : Subfolders(drive + store)) Game(game, 0);
      }
    }
    if (!places_.homes.empty()) {
      for (const std::string& home : Subfolders(places_.homes)) {
        for (const char* steam : kSteamInAHome) Steam(home + steam);
      }
    }
    std::sort(found_.begin(), found_.end(), [](const std::string& a, const std::string& b) {
      const std::wstring wa = ToUtf16ForDisplay(a), wb = ToUtf16ForDisplay(b);
      return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                                  static_cast<int>(wb.size()), TRUE) == CSTR_LESS_THAN;
    });
    return found_;
  }

 private:
  // A Steam folder is a library itself, and lists the others.
  void Steam(const std::string& folder) {
    Library(folder);
    std::string list;
    if (FilePtr file = OpenForReading(folder + "steamapps\\libraryfolders.vdf")) {
      char block[16384];
      std::size_t read = 0;
      while (list.size() <= kMaxLibraryListBytes &&
             (read = std::fread(block, 1, sizeof block, file.get())) > 0) {
        list.append(block, read);
      }
    }
    for (const std::string& listed : SteamLibraryPaths(list)) {
      const std::string library = WindowsFolder(listed);
      if (!library.empty()) Library(library);
    }
  }

  // A listed library as a folder with its backslash, on a fixed drive; empty
  // for anything else (a share, a relative path, a Linux path on Windows).
  std::string WindowsFolder(const std::string& listed) const {
    std::string folder = listed;
    if (folder[0] == '/') {
      if (places_.linuxRoot.empty()) return "";
      folder = places_.linuxRoot + folder.substr(1);
    }
    std::replace(folder.begin(), folder.end(), '/', '\\');
    if (folder.back() != '\\') folder += '\\';
    const char letter = static_cast<char>(folder[0] & ~0x20);
    const bool drive = folder.size() >= 3 && letter >= 'A' && letter <= 'Z' &&
                       folder[1] == ':' && folder[2] == '\\';
    return drive && IsFixedDrive(folder.substr(0, 3)) ? folder : "";
  }

  void Library(const std::string& folder) {
    if (!libraries_.insert(FolderKey(folder)).second) return;
    for (const std::string& game : Subfolders(folder + "steamapps\\common\\")) Game(game, 0);
  }

  // Looks no further into a data folder.
  void Game(const std::string& folder, int depth) {
    if (FileExists(ProbeFilePath(folder))) {
      if (dataFolders_.insert(FolderKey(folder)).second) found_.push_back(folder);
      return;
    }
    if (depth == kDataFolderDepth) return;
    for (const std::string& below : Subfolders(folder)) Game(below, depth + 1);
  }

  const GameSearchPlaces& places_;
  std::set<std::wstring> libraries_;
  std::set<std::wstring> dataFolders_;
  std::vector<std::string> found_;
};

}  // namespace

GameSearchPlaces ThisComputersPlaces() {
  GameSearchPlaces places;
  const DWORD drives = GetLogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if ((drives >> (letter - 'A') & 1) && IsFixedDrive(root)) places.drives.push_back(root);
  }
  if (RunningUnderWine()) {
    places.homes = "Z:\\home\\";
    places.linuxRoot = "Z:\\";
  }
  return places;
}

std::vector<std::string> FindGameDataFolders(const GameSearchPlaces& places) {
  return Search(places).Run();
}

struct CGameSearch::Shared {
  SRWLOCK lock = SRWLOCK_INIT;  // guards the rest
  HWND window = nullptr;        // nullptr once nobody waits
  UINT message = 0;
  std::vector<std::string> found;
};

CGameSearch::~CGameSearch() {
  if (m_shared == nullptr) return;
  AcquireSRWLockExclusive(&m_shared->lock);
  m_shared->window = nullptr;
  ReleaseSRWLockExclusive(&m_shared->lock);
}

// The thread calls into the C runtime, so it is made by _beginthreadex.
void CGameSearch::Start(HWND window, UINT message) {
  try {
    m_shared = std::make_shared<Shared>();
    m_shared->window = window;
    m_shared->message = message;
    auto parameter = std::make_unique<std::shared_ptr<Shared>>(m_shared);
    const std::uintptr_t thread =
        _beginthreadex(nullptr, 0, &CGameSearch::Run, parameter.get(), 0, nullptr);
    if (thread == 0) {
      m_shared = nullptr;
      return;
    }
    parameter.release();  // the thread's now
    CloseHandle(reinterpret_cast<HANDLE>(thread));
  } catch (const std::bad_alloc&) {
    m_shared = nullptr;
  }
}

unsigned __stdcall CGameSearch::Run(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Shared>> shared(
      static_cast<std::shared_ptr<Shared>*>(parameter));
  std::vector<std::string> found;
  try {
    found = FindGameDataFolders(ThisComputersPlaces());
  } catch (...) {
    // Out of memory: nothing found.
  }
  Shared& state = **shared;
  AcquireSRWLockExclusive(&state.lock);
  state.found.swap(found);
  if (state.window != nullptr) PostMessageW(state.window, state.message, 0, 0);
  ReleaseSRWLockExclusive(&state.lock);
  return 0;
}

std::vector<std::string> CGameSearch::TakeFound() {
  std::vector<std::string> found;
  if (m_shared == nullptr) return found;
  AcquireSRWLockExclusive(&m_shared->lock);
  found.swap(m_shared->found);
  ReleaseSRWLockExclusive(&m_shared->lock);
  return found;
}
