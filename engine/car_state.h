#pragma once

#include <string>

#include "file_system.h"

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
  kUpdatedByGame,     // and its brake values are clearly the game's own: the
                      // game (an update, a check of its files) has put a new
                      // file there
  kEditedAfterTweak,  // but its brake values still carry a tweak (another
                      // program or a hand edit changed a tweaked file), or do
                      // not tell either way
};

// Reads the car's data file and backup and says which state they are in.
// Changes nothing, and never waits on a pipe or device.
//
// A changed data file is judged record by record (see brake_evidence.h).
// Its records are paired with the backup's by their other fields: while the
// two files run in step, then by a hash of their other bytes, and, where
// some still pair in neither file, by the values those fields hold (1, 1.0
// and 1e0 are one). Records that pair in neither file count as sorted
// lists of values. A clear verdict is taken; where there is none, the brake
// values are judged again as plain sorted lists, records set aside, and if
// that is not clear either, the file is taken as edited after a tweak,
// which leaves it as it is.
//
// Cost: one pass over both files decides whether the data file is the
// backup patched at any level, all levels at once, and pairs the records
// that stay in step; it stops where they no longer do, and only the rest
// is read again, keyed. Memory: constant, but for the records read keyed
// 16 bytes a record of each file, and 8 more for those that pair by neither
// key; judging plain lists takes 8 bytes a record of each file.
//
// For kTweaked, `tweakLevels` gets the levels (bit L for level L, 0 to 4) at
// which the backup's patch is the data file: more than one where those
// levels write the same text (every brake 0, say). `held` says whether a
// file that another program holds is waited for.
CarState ReadCarState(const std::string& dataPath, const std::string& backupPath,
                      unsigned* tweakLevels = nullptr, WhenHeld held = WhenHeld::kRetry);

// Whether the two files hold the same bytes; false when either cannot be
// read.
bool HaveSameBytes(const std::string& pathA, const std::string& pathB);
