#include "game_status.h"

#include "record_patch.h"

namespace {

const char* const kLevelNames[] = {"0%", "25%", "50%", "75%", "100%"};

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
  const int tweaked = state.Count(Condition::kTweaked);
  const int own = state.Count(Condition::kGamesOwn);
  const int updated = state.Count(Condition::kUpdated);
  const int missing = state.Count(Condition::kNotInstalled);
  const int installed = static_cast<int>(state.cars.size()) - missing;
  const std::string all =
      "All " + std::to_string(installed) + (missing > 0 ? " installed cars" : " cars");

  std::string text;
  int level = 0;
  while (level <= kUntouchedLevel && state.CountAt(level) != installed) ++level;
  if (level <= kUntouchedLevel) {
    text = all + ": " + kLevelNames[level] + ".";
  } else if (own + updated == installed) {
    text = all + " have the game's own files: online play works.";
  } else {
    std::string counts;
    const auto add = [&](int count, const std::string& what) {
      if (count > 0) counts += (counts.empty() ? "" : ", ") + std::to_string(count) + what;
    };
    for (int l = 0; l <= kUntouchedLevel; ++l) {
      add(state.CountAt(l), std::string(" at ") + kLevelNames[l]);
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
  // What an unreadable car holds is not known.
  if (tweaked == 0) {
    return state.Count(Condition::kUnreadable) > 0 ? text
                                                   : text + "\nRestore has nothing to put back.";
  }
  return text + "\nRestore puts the game's own files back on " +
         (tweaked == installed ? "all " : "") + std::to_string(tweaked) +
         (tweaked == 1 ? " car." : " cars.");
}

std::string EmptyBoxStatusText(int found, bool searching) {
  constexpr char kHowToTake[] = ": press Down in the Path box, or click it.";
  if (found > 1) return "The game was found in " + std::to_string(found) + " places" + kHowToTake;
  if (found == 1) return std::string("The game was found on this PC") + kHowToTake;
  return searching ? "" : "The game was not found on this PC: type or drop its data folder.";
}
