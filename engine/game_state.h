#pragma once

// What a game folder holds now, car by car, read from the cars' files alone:
// what the runs act on, and what the dialog shows the player before either
// button is pressed. Nothing here changes a file.

#include <array>
#include <atomic>
#include <string>

#include "car_files.h"
#include "car_state.h"

// A car's files as the runs act on them: the data file beside its backup,
// and, where the game seems to have replaced it, beside its kept backups.
struct CarReading {
  CarState state = CarState::kNoDataFile;  // beside the backup
  // kUpdatedByGame only: the kept backup, if any, that explains the data
  // file better, being the original that it is a tweak of (`earlierState`
  // kTweaked), or a tweak of since changed by something else
  // (kEditedAfterTweak). Kept backups are read in the order of their names.
  std::string earlier;
  CarState earlierState = CarState::kUpdatedByGame;
  // The levels (bit L for level L, 0 to 4) that a tweak carries, beside the
  // backup or beside `earlier`; 0 for anything but a tweak.
  unsigned tweakLevels = 0;
};

// Reads car `id` of the data folder `path` (ending with a backslash). Once
// `stop` (if given) is set, no further kept backup is opened, and what is
// read is not to be relied on.
CarReading ReadCar(const std::string& path, const std::string& id,
                   WhenHeld held = WhenHeld::kRetry, const std::atomic<bool>* stop = nullptr);

// A car in the player's terms.
enum class CarCondition {
  kNotInstalled,  // no data file
  kGamesOwn,      // the game's own file: never tweaked, or restored
  kTweaked,       // tweaked at a level; Restore puts its original back
  kUpdated,       // the game has replaced its tweak since: Apply tweaks
                  // the new file again, Restore leaves it
  kChanged,       // changed by another program or by hand after a tweak:
                  // both buttons leave it as it is
  kUnreadable,    // a file cannot be read: another program holds it, no
                  // permission, a disk error, or it is no file at all
};

CarCondition ConditionOf(const CarReading& reading);

// A typed path and what the cars of the data folder it names hold.
struct GameFolderState {
  enum class Path {
    kNoGame,             // empty, or leads to no data folder
    kLeadsToDataFolder,  // a folder or file in the game other than the
                         // data folder: `dataFolder` is the one to use
    kDataFolder,         // the data folder: `cars` says what they hold
  };
  Path path = Path::kNoGame;
  std::string dataFolder;  // with its backslash
  bool complete = true;    // false when stopped before every car was read

  struct Car {
    CarCondition condition = CarCondition::kNotInstalled;
    int level = 0;  // kTweaked: the level, 0 to 4
    // kGamesOwn: a backup holds the same bytes, so Restore copies it back
    // and the file stays as it is.
    bool sameAsBackup = false;
  };
  std::array<Car, kCarIds.size()> cars{};

  // The cars in each condition, those tweaked at each level, and the game's
  // own files that are the same as their backups.
  int Count(CarCondition condition) const;
  int CountAt(int level) const;
  int CountSameAsBackup() const;
};

// Reads what `typed`, a path as the player typed it, names: a data folder,
// a path that leads to one, or neither. Opens files as a look that must never
// wait: sharing them fully and never waiting on one that another program
// holds, the probe and the folders on the way included (its car reads as
// kUnreadable). `stop` is looked at between files: once it is set, no other
// file is opened and reading stops, with `complete` false. A tweak that more
// than one level explains (every brake 0, say) is given the level that most
// cars' files allow.
GameFolderState ReadGameFolderState(const std::string& typed, const std::atomic<bool>& stop);
