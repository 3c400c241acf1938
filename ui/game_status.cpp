#include "game_status.h"

#include "record_patch.h"

namespace {

const char* const kLevelNames[] = {"0%", "25%", "50%", "75%", "100%"};

std::string Cars(int count) { return std::to_string(count) + (count == 1 ? " car" : " cars"); }

// What Restore will do, in the words of the notice it then gives, which
// counts every backup it copies back: over a tweak, or over a file that is
// the same already. Empty when that is not known.
std::string RestoreLine(const GameFolderState& state, int installed) {
  const int tweaked = state.Count(CarCondition::kTweaked);
  const int same = state.CountSameAsBackup();
  // What an unreadable car holds is not known.
  const bool known = state.Count(CarCondition::kUnreadable) == 0;
  if (tweaked + same == 0) return known ? "Restore has nothing to copy back." : "";
  if (same == 0) {
    return "Restore puts the game's own files back on " +
           std::string(tweaked == installed ? "all " : "") + Cars(tweaked) + ".";
  }
  if (tweaked == 0) {
    return "Restore copies back " +
           (same == 1 ? std::string("1 backup, the same as its car's file")
                      : std::to_string(same) + " backups, the same as the cars' files") +
           (known ? ": nothing changes." : ".");
  }
  return "Restore copies back " + std::to_string(tweaked + same) + " backups: " + Cars(tweaked) +
         (tweaked == 1 ? " gets" : " get") + " the game's own files back, " +
         std::to_string(same) + (same == 1 ? " has" : " have") + " them already.";
}

}  // namespace

std::string GameStatusText(const GameFolderState& state) {
  using Condition = CarCondition;
  switch (state.path) {
    case GameFolderState::Path::kNoGame:
      return "";
    case GameFolderState::Path::kLeadsToDataFolder:
      return "This is not the data folder. The game's data folder is '" +
             state.dataFolder + "'.";
    case GameFolderState::Path::kDataFolder:
      break;
  }
  const int own = state.Count(Condition::kGamesOwn);
  const int updated = state.Count(Condition::kUpdated);
  const int missing = state.Count(Condition::kNotInstalled);
  const int installed = static_cast<int>(state.cars.size()) - missing;
  const std::string all =
      "All " + std::to_string(installed) + (missing > 0 ? " installed cars" : " cars");
  std::string text;
  int level = 0;
  while (level <= kUntouchedLevel && state.CountAt(level) != installed) ++level;
  // At 100% the brakes keep the game's values, but the files are still the
  // tweaker's, which online play does not take.
  if (level < kUntouchedLevel) {
    text = all + ": " + kLevelNames[level] + ".";
  } else if (level == kUntouchedLevel) {
    text = all + ": 100%; online play needs Restore.";
  } else if (own + updated == installed) {
    text = all + " have the game's own files: online play works.";
  } else {
    std::string counts;
    const auto add = [&](int count, const std::string& what) {
      if (count > 0) counts += (counts.empty() ? "" : ", ") + std::to_string(count) + what;
    };
    for (int l = 0; l <= kUntouchedLevel; ++l) {
      add(state.CountAt(l), std::string(" at ") + kLevelNames[l] +
                                (l == kUntouchedLevel ? " (online play needs Restore)" : ""));
    }
    const auto them = [](int count) { return count == 1 ? "it" : "them"; };
    add(own, " the game's own");
    add(updated, std::string(" updated by the game (Apply tweaks ") + them(updated) + " again)");
    const int changed = state.Count(Condition::kChanged);
    add(changed, std::string(" changed by hand or another program (both buttons leave ") +
                     them(changed) + ")");
    const int unreadable = state.Count(Condition::kUnreadable);
    add(unreadable,
        std::string(" unreadable (another program may hold ") + them(unreadable) + ")");
    add(missing, " not installed");
    text = "Cars: " + counts + ".";
  }
  const std::string restore = RestoreLine(state, installed);
  return restore.empty() ? text : text + "\n" + restore;
}

std::string EmptyBoxStatusText(int found, bool searching) {
  constexpr char kHowToTake[] = ": press Down in the Path box, or click it.";
  if (found > 1) return "The game was found in " + std::to_string(found) + " places" + kHowToTake;
  if (found == 1) return std::string("The game was found on this PC") + kHowToTake;
  return searching ? "" : "The game was not found on this PC: type or drop its data folder.";
}
