#pragma once

#include <array>
#include <string>

#include "file_system.h"

// The cars a run visits, in the order it visits them.
inline constexpr std::array<const char*, 47> kCarIds = {
    "131", "205", "207", "307", "405", "555", "aqp", "att", "bah", "bss",
    "c6r", "cc2", "cc4", "cel", "che", "cli", "cme", "cor", "cr4", "del",
    "esc", "exi", "fen", "frl", "fto", "gt4", "ick", "k2k", "kam", "man",
    "me9", "n12", "nav", "paj", "pun", "rdw", "rmx", "sab", "sil", "sst",
    "str", "tac", "tou", "tri", "tun", "x3x", "xsa"};

// Paths are composed by plain concatenation onto the data path as typed,
// which is expected to end with a backslash; nothing is normalised.

// The data path as typed, without surrounding white space and without one
// pair of enclosing double quotes (as Explorer's "Copy as path" adds); a
// Windows path can hold neither. Nothing else is changed.
std::string CleanDataPath(const std::string& typed);

// path + "cars\<id>\<id>.csv"
std::string CarDataFilePath(const std::string& path, const std::string& id);
// path + "cars\<id>\<id>_backup.csv"
std::string CarBackupFilePath(const std::string& path, const std::string& id);
// The most kept backups a car may have; each game update adds one.
inline constexpr int kMostKeptBackups = 999;
// path + "cars\<id>\<id>_backup_before_update.csv" for n = 1, and
// "..._backup_before_update_<n>.csv" for n from 2: the n-th name under which
// a backup that a game update made out of date is kept.
std::string CarKeptBackupFilePath(const std::string& path, const std::string& id, int n);
// path + "cars\n12\n12.csv": the file whose presence shows the path is right.
std::string ProbeFilePath(const std::string& path);

// True when `path` names a file that can be opened for binary reading.
// Folders, missing files and unreadable files give false; `held` says
// whether a file that another program holds is waited for.
bool FileExists(const std::string& path, WhenHeld held = WhenHeld::kRetry);

// What a typed path names, as both runs and the dialog's status take it.
struct TypedDataPath {
  std::string path;     // CleanDataPath's, ending with a separator: a '/'
                        // appended where it is written with forward slashes
                        // only, else a backslash; empty when nothing was typed
  bool holdsCars = false;  // the probe file is there (perhaps held by
                           // another program, which its car then meets)
  std::string leadsTo;  // otherwise DataFolderFor(path), perhaps empty
};
// `held` says whether a probe that another program holds is waited for.
TypedDataPath ReadTypedDataPath(const std::string& typed, WhenHeld held = WhenHeld::kRetry);

// The game's data folder that `item` leads to, spelt from `item` and ending
// with a separator, each one it adds of the kind ReadTypedDataPath adds (so
// that a Linux path is named with '/' alone): `item`'s folder (for a file,
// the folder that holds it; a separator after the file's name is ignored) if
// it holds the probe file, else its `data` subfolder if that does (the game's
// own folder), else the nearest folder above that does (the cars folder, a
// car's folder or file), up to FolderAbove's end. Empty if none does, and if `item` names neither a
// folder nor a readable file, so that a mistyped name leads nowhere. A probe
// file that another program holds counts as there; `held` says whether such
// a file is waited for.
std::string DataFolderFor(const std::string& item, WhenHeld held = WhenHeld::kRetry);
