#pragma once

// Finding the game's data folders on this PC (game_search.h) from the
// dialog: this PC's disks as the search asks them.

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "game_search.h"

// This PC's drives, its ProgramData folder and the folder of each running
// steam.exe; under Wine also its Linux root and homes, the player's own
// among them.
GameSearchPlaces ThisComputersPlaces();

// The disks through Windows' file functions. A reparse point (junction,
// symbolic link, mount point) counts as a link; a cloud placeholder (recall
// on open or on data access, offline) is never opened. Safe on any thread.
class CWin32Disks final : public SearchDisks {
 public:
  VolumeKind DriveKind(const std::string& path) override;
  std::vector<FolderEntry> Subfolders(const std::string& folder) override;
  std::optional<FolderEntry> Look(const std::string& folder) override;
  // Read from the link's reparse data, which opens nothing through it; a
  // relative link's target is taken from the link's folder. Under Wine, a
  // Linux symbolic link shows no such data: its final target, which Linux
  // would reach anyway.
  std::string LinkTarget(const std::string& folder) override;
  std::optional<FolderId> IdOf(const std::string& folder) override;
  // Gives up at once on a file another program holds.
  std::string Text(const std::string& file, std::size_t most) override;
  bool HasFile(const std::string& file) override;
  std::vector<std::string> Files(const std::string& folder) override;
};

// FindGameDataFolders(ThisComputersPlaces(), CWin32Disks, found, stop) on the
// calling thread, at background priority so that a window stays usable
// meanwhile; no drive without its medium asks the user for one.
void FindGameOnThisPC(const std::atomic<bool>& stop,
                      const std::function<void(const std::string&)>& found);
