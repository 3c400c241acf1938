#pragma once

#include <string>

// What a car's files say about it, read from their bytes alone.
enum class CarState {
  kNoDataFile,        // the data file cannot be opened for reading
  kNoBackup,          // nothing has the backup's name: the data file is the
                      // game's own as far as this program knows
  kBackupUnreadable,  // something has the backup's name but cannot be read
  kDataUnreadable,    // reading the data file failed part-way
  // The data file is explained by its backup:
  kAsBackedUp,  // equal to it (never tweaked, or restored)
  kTweaked,     // equal to it patched at one of the levels
  // The data file has changed since its backup was made:
  kUpdatedByGame,     // and holds no tweaked brake value: the game (an update,
                      // a check of its files) has put a new file of its own
  kEditedAfterTweak,  // but still holds tweaked brake values: another program
                      // or a hand edit changed a tweaked file
};

// Reads the car's data file and backup and says which state they are in:
// both once side by side, then again for each level their brake fields allow,
// in blocks, in constant memory. Changes nothing.
CarState ReadCarState(const std::string& dataPath, const std::string& backupPath);
