#include "game_search.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>

#include "car_files.h"
#include "launcher_records.h"
#include "steam_libraries.h"

namespace {

constexpr const char* kSteamOnADrive[] = {"Program Files (x86)\\Steam\\",
                                          "Program Files\\Steam\\", "Steam\\",
                                          "SteamLibrary\\"};
constexpr const char* kSteamInAHome[] = {
    ".local\\share\\Steam\\", ".steam\\steam\\",
    ".var\\app\\com.valvesoftware.Steam\\.local\\share\\Steam\\"};
constexpr const char* kStoreGames[] = {"Program Files (x86)\\GOG Galaxy\\Games\\",
                                       "GOG Games\\", "Program Files\\Epic Games\\"};

// A launcher's record of its installs: a file in `folder`, read by `read`.
struct Record {
  const char* folder;
  const char* file;
  std::vector<std::string> (*read)(std::string_view);
};
constexpr char kEpicManifests[] = "Epic\\EpicGamesLauncher\\Data\\Manifests\\";
constexpr Record kEpicList = {"Epic\\UnrealEngineLauncher\\", "LauncherInstalled.dat",
                              EpicInstalledListFolders};
constexpr Record kRecordsInAHome[] = {
    {".config\\legendary\\", "installed.json", LegendaryInstalledFolders},
    {".config\\heroic\\legendaryConfig\\legendary\\", "installed.json",
     LegendaryInstalledFolders},
    {".config\\heroic\\gog_store\\", "installed.json", HeroicGogInstalledFolders},
    {".var\\app\\com.heroicgameslauncher.hgl\\config\\heroic\\legendaryConfig\\legendary\\",
     "installed.json", LegendaryInstalledFolders},
    {".var\\app\\com.heroicgameslauncher.hgl\\config\\heroic\\gog_store\\", "installed.json",
     HeroicGogInstalledFolders},
};
constexpr char kProbeFolder[] = "cars\\n12\\";  // below a data folder

// Where a link on the way may lead.
enum class Reach {
  kFixed,             // to a fixed disk only
  kFixedOrRemovable,  // also to a removable drive: a library that a list names
};

// The length of the drive (C:\) or volume (\\?\Volume{...}\) that `path`
// begins with; 0 for a share, a device or a relative path.
std::size_t VolumeRootLength(std::string_view path) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && path[2] == '\\') return 3;
  constexpr std::string_view kVolume = "\\\\?\\Volume{";
  const std::size_t end = path.starts_with(kVolume) ? path.find('\\', kVolume.size()) : path.npos;
  return end == path.npos ? 0 : end + 1;
}

// The disks, asked nothing once `stop` is set: every question then has the
// answer that ends the search's way there.
class StoppableDisks final : public SearchDisks {
 public:
  StoppableDisks(SearchDisks& disks, const std::atomic<bool>& stop) : disks_(disks), stop_(stop) {}

  VolumeKind DriveKind(const std::string& path) override {
    return stop_ ? VolumeKind::kElsewhere : disks_.DriveKind(path);
  }
  std::vector<FolderEntry> Subfolders(const std::string& folder) override {
    return stop_ ? std::vector<FolderEntry>() : disks_.Subfolders(folder);
  }
  std::optional<FolderEntry> Look(const std::string& folder) override {
    return stop_ ? std::nullopt : disks_.Look(folder);
  }
  std::string LinkTarget(const std::string& folder) override {
    return stop_ ? std::string() : disks_.LinkTarget(folder);
  }
  std::optional<FolderId> IdOf(const std::string& folder) override {
    return stop_ ? std::nullopt : disks_.IdOf(folder);
  }
  std::string Text(const std::string& file, std::size_t most) override {
    return stop_ ? std::string() : disks_.Text(file, most);
  }
  bool HasFile(const std::string& file) override { return !stop_ && disks_.HasFile(file); }
  std::vector<std::string> Files(const std::string& folder) override {
    return stop_ ? std::vector<std::string>() : disks_.Files(folder);
  }

 private:
  SearchDisks& disks_;
  const std::atomic<bool>& stop_;
};

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

// The folder that holds `folder` (which ends with a backslash).
std::string_view Parent(std::string_view folder) {
  return folder.substr(0, folder.find_last_of('\\', folder.size() - 2) + 1);
}

// An id that the system gives for a file system without 128-bit ids (all
// zeros) or for a file without a unique one (all ones) must be ignored.
bool IsKnownId(const FolderId& id) {
  const auto same = [&](std::uint8_t byte) {
    return std::all_of(id.file.begin(), id.file.end(), [=](std::uint8_t b) { return b == byte; });
  };
  return !same(0) && !same(0xFF);
}

class Search {
 public:
  Search(const GameSearchPlaces& places, SearchDisks& disks,
         const std::function<void(const std::string&)>& found)
      : places_(places), disks_(disks), found_(found) {}

  void Run() {
    for (const std::string& drive : places_.drives) {
      if (disks_.DriveKind(drive) != VolumeKind::kFixed) continue;
      for (const char* steam : kSteamOnADrive) {
        if (Reaches(drive, steam, Reach::kFixed)) Steam(drive + steam);
      }
      for (const char* store : kStoreGames) {
        if (Reaches(drive, store, Reach::kFixed)) Games(drive + store);
      }
    }
    for (const std::string& steam : places_.steamFolders) {
      const std::string folder = OnADrive(steam);
      if (!folder.empty() && disks_.DriveKind(folder) == VolumeKind::kFixed &&
          Reaches(folder.substr(0, 3), folder.substr(3), Reach::kFixed)) {
        Steam(folder);
      }
    }
    if (!places_.homes.empty() && disks_.DriveKind(places_.homes) == VolumeKind::kFixed) {
      for (const FolderEntry& entry : disks_.Subfolders(places_.homes)) {
        if (Enters(places_.homes, entry, Reach::kFixed)) Home(places_.homes + entry.name + '\\');
      }
    }
    const std::string& own = places_.ownHome;
    if (!own.empty() && !SameName(Parent(own), places_.homes) &&
        disks_.DriveKind(own) == VolumeKind::kFixed) {
      Home(own);
    }
    if (!places_.programData.empty() &&
        disks_.DriveKind(places_.programData) == VolumeKind::kFixed) {
      EpicRecords(places_.programData);
    }
    for (Game& game : games_) LookAtGame(game);
    for (Game& game : games_) LookBelowGame(game);
  }

 private:
  struct Game {
    std::string folder;
    std::vector<FolderEntry> entries;  // its folders, until the game is done
  };

  // Whether the search may go into `parent`'s folder `entry`, which lies
  // `hops` links down a chain.
  bool Enters(const std::string& parent, const FolderEntry& entry, Reach reach, int hops = 0) {
    if (entry.placeholder) return false;
    return !entry.link || Follows(parent + entry.name + '\\', reach, hops);
  }

  // Whether the link `link` leads where `reach` allows: its target on such a
  // volume, and every link on the way to the target judged in turn before
  // anything is asked through it.
  bool Follows(const std::string& link, Reach reach, int hops) {
    if (hops >= kMostLinkHops) return false;
    const std::string target = disks_.LinkTarget(link);
    const std::size_t root = VolumeRootLength(target);
    if (root == 0) return false;
    const VolumeKind kind = disks_.DriveKind(target);
    return (kind == VolumeKind::kFixed ||
            (kind == VolumeKind::kRemovable && reach == Reach::kFixedOrRemovable)) &&
           Reaches(target.substr(0, root), std::string_view(target).substr(root), reach,
                   hops + 1);
  }

  // Whether the folders `below` (each ending with a backslash) lead from
  // `folder` to an existing folder that the search may go into.
  bool Reaches(const std::string& folder, std::string_view below, Reach reach, int hops = 0) {
    std::string path = folder;
    while (!below.empty()) {
      const std::size_t end = std::min(below.find('\\'), below.size());
      const std::string_view name = below.substr(0, end);
      below.remove_prefix(std::min(end + 1, below.size()));
      if (name.empty()) continue;
      const std::optional<FolderEntry> entry = disks_.Look(path + std::string(name) + '\\');
      if (!entry || !Enters(path, *entry, reach, hops)) return false;
      path += entry->name + '\\';
    }
    return true;
  }

  void Home(const std::string& home) {
    for (const char* steam : kSteamInAHome) {
      if (Reaches(home, steam, Reach::kFixed)) Steam(home + steam);
    }
    for (const Record& record : kRecordsInAHome) Records(home, record);
  }

  // The Epic Games launcher's manifests, one install each, and its older list.
  void EpicRecords(const std::string& programData) {
    if (Reaches(programData, kEpicManifests, Reach::kFixed)) {
      const std::string manifests = programData + kEpicManifests;
      for (const std::string& name : disks_.Files(manifests)) {
        if (name.size() > 5 && SameName(std::string_view(name).substr(name.size() - 5), ".item")) {
          RecordedGames(EpicManifestFolders(Text(manifests + name)));
        }
      }
    }
    Records(programData, kEpicList);
  }

  void Records(const std::string& folder, const Record& record) {
    if (Reaches(folder, record.folder, Reach::kFixed)) {
      RecordedGames(record.read(Text(folder + record.folder + record.file)));
    }
  }

  std::string Text(const std::string& file) {
    return disks_.Text(file, kMaxLauncherRecordBytes + 1);
  }

  // Each folder that a launcher's record names is a game, where it is there.
  void RecordedGames(const std::vector<std::string>& recorded) {
    for (const std::string& listed : recorded) {
      const std::string folder = ListedFolder(listed);
      if (!folder.empty() && recordedGames_.insert(Key(folder)).second) {
        games_.push_back({folder, {}});
      }
    }
  }

  // A Steam folder is a library itself, and lists the others.
  void Steam(const std::string& folder) {
    Library(folder);
    if (!Reaches(folder, "steamapps\\", Reach::kFixed)) return;
    const std::string list =
        disks_.Text(folder + "steamapps\\libraryfolders.vdf", kMaxLibraryListBytes + 1);
    for (const std::string& listed : SteamLibraryPaths(list)) {
      const std::string library = ListedFolder(listed);
      if (!library.empty()) Library(library);
    }
  }

  // `path` as a folder on a drive (C:\) with backslashes, ending with one; a
  // Linux path below linuxRoot. Empty for any other form: a share, a
  // relative path, a Linux path on Windows.
  std::string OnADrive(const std::string& path) {
    if (path.empty()) return "";
    std::string folder = path;
    if (folder[0] == '/') {
      if (places_.linuxRoot.empty()) return "";
      folder = places_.linuxRoot + folder.substr(1);
    }
    std::replace(folder.begin(), folder.end(), '/', '\\');
    if (folder.back() != '\\') folder += '\\';
    const char letter = UpperAscii(folder[0]);
    return folder.size() >= 3 && letter >= 'A' && letter <= 'Z' && folder[1] == ':' &&
                   folder[2] == '\\'
               ? folder
               : "";
  }

  // A folder that a list or record names, on a fixed drive or a removable
  // one; empty for a folder in any other form or place, and for one that is
  // not there.
  std::string ListedFolder(const std::string& listed) {
    const std::string folder = OnADrive(listed);
    if (folder.empty() || disks_.DriveKind(folder) == VolumeKind::kElsewhere) return "";
    return Reaches(folder.substr(0, 3), folder.substr(3), Reach::kFixedOrRemovable) ? folder : "";
  }

  void Library(const std::string& folder) {
    if (!libraries_.insert(Key(folder)).second) return;
    if (Reaches(folder, "steamapps\\common\\", Reach::kFixed)) {
      Games(folder + "steamapps\\common\\");
    }
  }

  // Each folder in `folder` is a game.
  void Games(const std::string& folder) {
    for (const FolderEntry& entry : disks_.Subfolders(folder)) {
      if (Enters(folder, entry, Reach::kFixed)) games_.push_back({folder + entry.name + '\\', {}});
    }
  }

  // The game's folder and its data folder; the game is done when either
  // holds the probe file.
  void LookAtGame(Game& game) {
    game.entries = disks_.Subfolders(game.folder);
    const auto named = [&](std::string_view name) {
      return std::any_of(game.entries.begin(), game.entries.end(),
                         [&](const FolderEntry& entry) { return SameName(entry.name, name); });
    };
    if ((named("cars") && Offer(game.folder)) ||
        (named("data") && Reaches(game.folder, "data\\", Reach::kFixed) &&
         Offer(game.folder + "data\\"))) {
      game.entries.clear();
    }
  }

  // The data folder of each of the game's folders.
  void LookBelowGame(Game& game) {
    for (const FolderEntry& entry : game.entries) {
      if (Enters(game.folder, entry, Reach::kFixed)) {
        const std::string folder = game.folder + entry.name + '\\';
        if (Reaches(folder, "data\\", Reach::kFixed)) Offer(folder + "data\\");
      }
    }
    game.entries = {};
  }

  // Offers `folder` if it holds the probe file and was not offered before;
  // returns whether it holds it.
  bool Offer(const std::string& folder) {
    if (!Reaches(folder, kProbeFolder, Reach::kFixed) || !disks_.HasFile(ProbeFilePath(folder))) {
      return false;
    }
    if (dataFolders_.insert(Key(folder)).second) found_(folder);
    return true;
  }

  // The folder's id in hex after a '*'; without one, the path with its ASCII
  // letters in upper case, which holds no '*'.
  std::string Key(const std::string& folder) {
    std::string key;
    const std::optional<FolderId> id = disks_.IdOf(folder);
    if (!id || !IsKnownId(*id)) {
      std::transform(folder.begin(), folder.end(), std::back_inserter(key), UpperAscii);
      return key;
    }
    key = '*';
    const auto hex = [&](std::uint8_t byte) {
      key += "0123456789abcdef"[byte >> 4];
      key += "0123456789abcdef"[byte & 15];
    };
    for (int shift = 56; shift >= 0; shift -= 8) hex(static_cast<std::uint8_t>(id->volume >> shift));
    for (const std::uint8_t byte : id->file) hex(byte);
    return key;
  }

  const GameSearchPlaces& places_;
  SearchDisks& disks_;
  const std::function<void(const std::string&)>& found_;
  std::set<std::string> libraries_;
  std::set<std::string> recordedGames_;
  std::set<std::string> dataFolders_;
  std::vector<Game> games_;
};

}  // namespace

void FindGameDataFolders(const GameSearchPlaces& places, SearchDisks& disks,
                         const std::function<void(const std::string&)>& found,
                         const std::atomic<bool>& stop) {
  StoppableDisks stoppable(disks, stop);
  Search(places, stoppable, found).Run();
}
