#pragma once

// Finding the game's data folders on this PC (game_search.h) from the
// dialog: this PC's disks as the search asks them, and the search on a
// thread of its own.

#include <windows.h>

#include <memory>
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
  // Reads the target that the link names first, and opens nothing through a
  // link that names anything but a fixed disk; only then finds its final
  // target with GetFinalPathNameByHandleW.
  VolumeKind LinkTarget(const std::string& folder) override;
  std::optional<FolderId> IdOf(const std::string& folder) override;
  // Gives up at once on a file another program holds.
  std::string Text(const std::string& file, std::size_t most) override;
  bool HasFile(const std::string& file) override;
  std::vector<std::string> Files(const std::string& folder) override;
};

// FindGameDataFolders(ThisComputersPlaces(), CWin32Disks) run once on a
// thread of its own at background priority, so that a window stays usable
// meanwhile, and no drive without its medium asks the user for one. The
// thread touches no window but to post the message, and no COM; it may
// outlive this object, and is left to end by itself (or with the process).
class CGameSearch {
 public:
  CGameSearch() = default;
  ~CGameSearch();  // no message after this
  CGameSearch(const CGameSearch&) = delete;
  CGameSearch& operator=(const CGameSearch&) = delete;

  // Starts the search; `message` is posted to `window` after each folder
  // found and when the search has ended. Where no thread can be made, it
  // ends at once, having found nothing.
  void Start(HWND window, UINT message);
  // The folders found since the last call, in the order found; `ended` tells
  // whether the search has ended (after Start).
  std::vector<std::string> TakeFound(bool& ended);

 private:
  struct Shared;
  static unsigned __stdcall Run(void* shared);

  std::shared_ptr<Shared> m_shared;
};
