#pragma once

// Finding the game's data folders on this PC without the registry: only in
// the places where Steam, GOG Galaxy and the Epic Games launcher put games by
// default, and in the Steam libraries their lists name. No disk is walked.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// Where a search starts: UTF-8 folders, each ending with a backslash.
struct GameSearchPlaces {
  std::vector<std::string> drives;  // roots of the drives to look on (C:\)
  std::string homes;                // Linux homes, one folder each (Z:\home\)
  std::string linuxRoot;            // where Linux's / is (Z:\); empty: none
};

// This PC's fixed drives; under Wine also its Linux homes and root. Drives
// that may go away or hang (removable, network, optical) are left out.
GameSearchPlaces ThisComputersPlaces();

// The data folders of the game in `places`, each with its trailing backslash,
// sorted and distinct however they were reached (spelling, case, links).
// Looks on each drive for Steam at Program Files (x86)\Steam, Program
// Files\Steam, Steam and SteamLibrary; in each home for Steam at
// .local\share\Steam, .steam\steam and Flatpak's
// .var\app\com.valvesoftware.Steam\.local\share\Steam; and at every library
// in such a Steam's steamapps\libraryfolders.vdf on a fixed drive (Linux
// paths taken below linuxRoot). Each folder in a library's steamapps\common,
// in Program Files (x86)\GOG Galaxy\Games and in Program Files\Epic Games
// is a game; its data folder is the one, the game's own or up to two levels
// below, that holds the probe file. A list that is missing or malformed is
// skipped, as is a folder that cannot be read. Safe on any thread; it may
// take seconds on a slow disk. Throws only std::bad_alloc.
std::vector<std::string> FindGameDataFolders(const GameSearchPlaces& places);

// FindGameDataFolders(ThisComputersPlaces()) run once on a thread of its own,
// so that a window stays usable meanwhile. The thread touches no window but
// to post the message, and no COM; it may outlive this object, and is left to
// end by itself (or with the process).
class CGameSearch {
 public:
  CGameSearch() = default;
  ~CGameSearch();  // no message after this
  CGameSearch(const CGameSearch&) = delete;
  CGameSearch& operator=(const CGameSearch&) = delete;

  // Starts the search; once it has ended, `message` is posted to `window`.
  // Where no thread can be made, nothing is found and nothing posted.
  void Start(HWND window, UINT message);
  // What the search found, once; empty before it has ended.
  std::vector<std::string> TakeFound();

 private:
  struct Shared;
  static unsigned __stdcall Run(void* shared);

  std::shared_ptr<Shared> m_shared;
};
