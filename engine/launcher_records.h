#pragma once

// What game launchers record of their installs in JSON files of their own:
// the folders they installed games to. Portable: the caller reads the files.
//
// Each reader takes the whole text of one file and gives the folders it
// names, in its order and spelt as written (UTF-8; a Windows path, or a
// Linux one from a launcher on Linux), leaving out any that
// IsUsableListedPath refuses. Text that is not JSON, longer than
// kMaxLauncherRecordBytes or not of the expected shape gives none; an entry
// of the wrong shape is skipped, and values nested deeper than any record
// has are not kept. Throws only std::bad_alloc.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest text read as a launcher's record; a real one is a few
// kilobytes per game.
inline constexpr std::size_t kMaxLauncherRecordBytes = std::size_t{4} << 20;

// The Epic Games launcher's manifest of one install
// (Epic\EpicGamesLauncher\Data\Manifests\<id>.item in ProgramData): its
// "InstallLocation", unless "bIsIncompleteInstall" is true.
std::vector<std::string> EpicManifestFolders(std::string_view text);

// The Epic Games launcher's older list of installs
// (Epic\UnrealEngineLauncher\LauncherInstalled.dat in ProgramData): the
// "InstallLocation" of each entry of "InstallationList".
std::vector<std::string> EpicInstalledListFolders(std::string_view text);

// legendary's list of installs (installed.json), as Heroic keeps it too: an
// object of one object per game, each with its "install_path"; in the order
// of the games' names.
std::vector<std::string> LegendaryInstalledFolders(std::string_view text);

// Heroic's list of its GOG installs (gog_store/installed.json): the
// "install_path" of each entry of "installed".
std::vector<std::string> HeroicGogInstalledFolders(std::string_view text);
