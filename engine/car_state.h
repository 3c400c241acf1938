#pragma once

#include <string>

// What a car's files say about it, read from their bytes alone.
enum class CarState {
  kNoDataFile,        // nothing has the data file's name
  kDataNotAFile,      // a folder, pipe or device has the data file's name
  kNoBackup,          // nothing has the backup's name: the data file is the
                      // game's own as far as this program knows
  kBackupUnreadable,  // something has the backup's name but cannot be read
  kDataUnreadable,    // the data file cannot be opened, or reading it failed
  // The data file is explained by its backup:
  kAsBackedUp,  // equal to it (never tweaked, or restored)
  kTweaked,     // equal to it patched at one of the levels
  // The data file has changed since its backup was made:
  kUpdatedByGame,     // and its brake values are the game's own: the game (an
                      // update, a check of its files) has put a new file there
  kEditedAfterTweak,  // but its brake values still carry a tweak: another
                      // program or a hand edit changed a tweaked file
};

// Reads the car's data file and backup and says which state they are in.
// Changes nothing, and never waits on a pipe or device.
//
// A changed data file carries the tweak when, for some level from 0% to 75%,
// more of its brake values are the backup's values patched at that level
// than are the backup's values themselves. Values are compared as numbers
// (1, 1.0 and 1.000 are one), as sorted lists, so that records added,
// removed or moved do not matter; ties go to the game.
//
// Cost: each comparison with the backup, as it is or patched at a level,
// stops at the first byte that differs; only a changed data file is read a
// second time, with its backup, for their brake values. Memory: constant,
// but for a changed data file 8 bytes a record of each file.
CarState ReadCarState(const std::string& dataPath, const std::string& backupPath);

// Whether the two files hold the same bytes; false when either cannot be
// read.
bool HaveSameBytes(const std::string& pathA, const std::string& pathB);
