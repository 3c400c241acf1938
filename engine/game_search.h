#pragma once

// Finding the game's data folders on this PC without the registry: only in
// the places where Steam, GOG and the Epic Games launcher put games by
// default, in the Steam libraries Steam's lists name, and in the folders that
// the launchers' own records of their installs name. No disk is walked, and
// the search stays on the PC's own disks. Portable: it asks the disks
// through SearchDisks, which the program implements over Windows and tests
// fake. Paths are UTF-8 with backslashes; folders end with one.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What kind of volume a folder lies on.
enum class VolumeKind {
  kFixed,      // a disk of this PC's own
  kRemovable,  // a removable drive: an SD card, a USB stick
  kElsewhere,  // a network share, an optical or RAM disk, anything unknown
};

// A folder as its parent lists it, or as it is looked up by its path.
struct FolderEntry {
  std::string name;          // without separator
  bool link = false;         // a junction, symbolic link or mount point
  bool placeholder = false;  // a cloud file's stand-in, its contents elsewhere
};

// What tells a folder apart however it is reached.
struct FolderId {
  std::uint64_t volume = 0;              // the volume's serial number
  std::array<std::uint8_t, 16> file{};   // the file system's 128-bit id
};

// The few questions the search asks of the disks. None of them follows a
// link that the search has not judged: a query names a folder only when
// every link on its way leads, hop by hop, where the search may go.
class SearchDisks {
 public:
  virtual ~SearchDisks() = default;
  // The kind of the drive (C:\) or volume (\\?\Volume{...}\) that `path`
  // begins with; kElsewhere for a share or a path without either. Reads
  // nothing from the drive.
  virtual VolumeKind DriveKind(const std::string& path) = 0;
  // The folders in `folder`; none when it cannot be read.
  virtual std::vector<FolderEntry> Subfolders(const std::string& folder) = 0;
  // `folder` itself, a link at its end not followed; nullopt when no folder
  // has that name.
  virtual std::optional<FolderEntry> Look(const std::string& folder) = 0;
  // The folder that the link `folder` names, read from the link itself
  // without following it: absolute, with its backslash. Empty where it names
  // none that the search can judge (another kind of reparse point, a link
  // that cannot be read).
  virtual std::string LinkTarget(const std::string& folder) = 0;
  // The folder's id; nullopt when the system gives none.
  virtual std::optional<FolderId> IdOf(const std::string& folder) = 0;
  // Up to `most` bytes of the file; empty when it cannot be read at once.
  virtual std::string Text(const std::string& file, std::size_t most) = 0;
  // Whether a file (not a folder) has this name.
  virtual bool HasFile(const std::string& file) = 0;
  // The names of the files (not folders) in `folder`; none when it cannot
  // be read.
  virtual std::vector<std::string> Files(const std::string& folder) = 0;
};

// Where a search starts.
struct GameSearchPlaces {
  std::vector<std::string> drives;  // the drives (C:\) or folders standing for them
  std::string homes;                // Linux homes, one folder each (Z:\home\)
  std::string linuxRoot;            // where Linux's / is (Z:\); empty: none
  std::string ownHome = {};         // the player's Linux home, wherever it is
                                    // (Z:\root\); empty: none
  std::string programData = {};     // Windows' folder for all users' program
                                    // data (C:\ProgramData\); empty: none
  std::vector<std::string> steamFolders = {};  // where a running Steam is (E:\Apps\Steam\)
};

// Calls `found` with each data folder of the game in `places`, with its
// trailing backslash, as soon as it is found, and each folder once however it
// was reached (spelling, case, links).
//
// Where it looks: on each fixed drive, Steam at Program Files (x86)\Steam,
// Program Files\Steam, Steam and SteamLibrary; Steam in each of
// `steamFolders`; in each home and in `ownHome`, Steam at .local\share\Steam,
// .steam\steam and Flatpak's
// .var\app\com.valvesoftware.Steam\.local\share\Steam; every library that
// such a Steam's steamapps\libraryfolders.vdf names on a fixed drive or a
// removable one; and on each fixed drive the games of GOG Galaxy at Program
// Files (x86)\GOG Galaxy\Games, of GOG's offline installers at GOG Games and
// of the Epic Games launcher at Program Files\Epic Games. Each folder in a
// library's steamapps\common and in those three is a game.
//
// A game is also each folder that a launcher's record names
// (launcher_records.h), on a fixed drive or a removable one: in
// `programData`, the Epic Games launcher's manifests
// (Epic\EpicGamesLauncher\Data\Manifests\*.item) and its older list
// (Epic\UnrealEngineLauncher\LauncherInstalled.dat); in each home and in `ownHome`, the lists of
// legendary (.config\legendary\installed.json) and of Heroic
// (.config\heroic\legendaryConfig\legendary\installed.json and
// .config\heroic\gog_store\installed.json, also below Flatpak's
// .var\app\com.heroicgameslauncher.hgl\). Linux paths in lists and records
// are taken below linuxRoot; a path in any other form but a drive's (C:\) is
// skipped.
//
// A game's data folder, the one that holds the probe file, is the game's
// folder, its `data` folder, or the `data` folder of one of its folders (as
// Epic installs it); the first two are looked at for every game before the
// third for any.
//
// A link on the way is followed only where it leads to a fixed disk (within a
// library that a list names or a game that a record names, to a removable
// drive too), and so is each link on the way to its target, up to a chain of
// kMostLinkHops; a cloud placeholder is never opened. A list or record that
// is missing or malformed is skipped, as is a folder that cannot be read.
// Once `stop` is set, the disks are asked nothing more and the search soon
// returns. Throws only what `found` throws, and std::bad_alloc.
inline constexpr int kMostLinkHops = 8;
inline const std::atomic<bool> kNeverStopped = false;
void FindGameDataFolders(const GameSearchPlaces& places, SearchDisks& disks,
                         const std::function<void(const std::string&)>& found,
                         const std::atomic<bool>& stop = kNeverStopped);
