#include "game_state.h"

#include <algorithm>

#include "file_system.h"
#include "record_patch.h"

namespace {

// Kept backups are read past a few names that nothing has (one kept backup
// deleted, say), not to test all kMostKeptBackups names.
constexpr int kMostMissingInARow = 8;

void FindEarlierOriginal(const std::string& path, const std::string& id, WhenHeld held,
                         const std::atomic<bool>* stop, CarReading& reading) {
  const std::string data = CarDataFilePath(path, id);
  for (int n = 1, missing = 0; n <= kMostKeptBackups && missing < kMostMissingInARow; ++n) {
    if (stop != nullptr && *stop) return;
    const std::string kept = CarKeptBackupFilePath(path, id, n);
    if (!PathExists(kept)) {
      ++missing;
      continue;
    }
    missing = 0;
    unsigned levels = 0;
    const CarState state = ReadCarState(data, kept, &levels, held);
    if (state == CarState::kTweaked || state == CarState::kEditedAfterTweak) {
      reading.earlier = kept;
      reading.earlierState = state;
      reading.tweakLevels = levels;
      return;
    }
  }
}

}  // namespace

CarReading ReadCar(const std::string& path, const std::string& id, WhenHeld held,
                   const std::atomic<bool>* stop) {
  CarReading reading;
  reading.state = ReadCarState(CarDataFilePath(path, id), CarBackupFilePath(path, id),
                               &reading.tweakLevels, held);
  if (reading.state == CarState::kUpdatedByGame) {
    FindEarlierOriginal(path, id, held, stop, reading);
  }
  return reading;
}

CarCondition ConditionOf(const CarReading& reading) {
  switch (reading.state) {
    case CarState::kNoDataFile:
      return CarCondition::kNotInstalled;
    case CarState::kNoBackup:
    case CarState::kAsBackedUp:
      return CarCondition::kGamesOwn;
    case CarState::kTweaked:
      return CarCondition::kTweaked;
    case CarState::kUpdatedByGame:
      switch (reading.earlierState) {
        case CarState::kTweaked:
          return CarCondition::kTweaked;
        case CarState::kEditedAfterTweak:
          return CarCondition::kChanged;
        default:
          return CarCondition::kUpdated;
      }
    case CarState::kEditedAfterTweak:
      return CarCondition::kChanged;
    case CarState::kDataNotAFile:
    case CarState::kBackupUnreadable:
    case CarState::kDataUnreadable:
      return CarCondition::kUnreadable;
  }
  return CarCondition::kUnreadable;
}

int GameFolderState::Count(CarCondition condition) const {
  return static_cast<int>(std::count_if(cars.begin(), cars.end(), [&](const Car& car) {
    return car.condition == condition;
  }));
}

int GameFolderState::CountAt(int level) const {
  return static_cast<int>(std::count_if(cars.begin(), cars.end(), [&](const Car& car) {
    return car.condition == CarCondition::kTweaked && car.level == level;
  }));
}

int GameFolderState::CountSameAsBackup() const {
  return static_cast<int>(std::count_if(cars.begin(), cars.end(),
                                        [](const Car& car) { return car.sameAsBackup; }));
}

GameFolderState ReadGameFolderState(const std::string& typed, const std::atomic<bool>& stop) {
  GameFolderState state;
  const TypedDataPath path = ReadTypedDataPath(typed, WhenHeld::kGiveUp);
  if (!path.holdsCars) {
    state.dataFolder = path.leadsTo;
    if (!path.leadsTo.empty()) state.path = GameFolderState::Path::kLeadsToDataFolder;
    return state;
  }
  state.path = GameFolderState::Path::kDataFolder;
  state.dataFolder = path.path;
  std::array<unsigned, kCarIds.size()> levels{};
  for (std::size_t i = 0; i < kCarIds.size() && !stop; ++i) {
    const CarReading reading = ReadCar(path.path, kCarIds[i], WhenHeld::kGiveUp, &stop);
    state.cars[i].condition = ConditionOf(reading);
    state.cars[i].sameAsBackup = reading.state == CarState::kAsBackedUp;
    if (state.cars[i].condition == CarCondition::kTweaked) levels[i] = reading.tweakLevels;
  }
  if (stop) {
    state.complete = false;
    return state;
  }
  // Where more than one level explains a tweak, the level that most cars'
  // files allow; among those as common, the lowest.
  std::array<int, kUntouchedLevel + 1> allowing{};
  for (const unsigned car : levels) {
    for (int l = 0; l <= kUntouchedLevel; ++l) allowing[l] += (car >> l) & 1u;
  }
  for (std::size_t i = 0; i < kCarIds.size(); ++i) {
    int best = -1;
    for (int l = 0; l <= kUntouchedLevel; ++l) {
      if (((levels[i] >> l) & 1u) != 0 && (best < 0 || allowing[l] > allowing[best])) best = l;
    }
    state.cars[i].level = std::max(best, 0);
  }
  return state;
}
