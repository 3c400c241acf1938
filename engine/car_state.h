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
                      // program or a hand edit changed a tweaked file), do
                      // not tell either way, or tell opposite ways record by
                      // record and all together
};

// Reads the car's data file and backup and says which state they are in.
// Changes nothing, and never waits on a pipe or device.
//
// A changed data file is judged by its brake values (see brake_evidence.h),
// in two views. In the paired view, a record pairs with the backup's record
// whose other fields are the same only where those fields occur once in
// each file; the records whose other fields repeat in either file (records
// alike but for the brake, records repeated whole) are judged as a group,
// their brake values side by side as sorted lists, and so are the records
// that pair with none. The other fields compare as bytes, or, where some
// records then pair in neither file, as the values they hold (1, 1.0 and
// 1e0 are one). The lists view sets records aside: all the file's brake
// values beside all the backup's, as sorted lists. The paired view decides
// where it is clear, unless the lists clearly say the opposite; where it is
// not clear, the lists decide. Two clear views that disagree, or two that
// are not clear, make the file edited after a tweak, which leaves it as it
// is.
//
// Cost: one pass over both files decides whether the data file is the
// backup patched at any level, all levels at once, keying no record; once
// no level fits, it keys the records it passes while they stay in step, and
// stops where they no longer do. Only for a file that is neither are the
// records passed before that keyed, from the data file's bytes, and the
// rest of both files read again, keyed. Memory: constant while the files
// are compared byte for byte; after that 16 bytes a record of each file, and
// up to 24 more a record of the data file while brake values are judged as
// sorted lists.
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
