// The dialog's status against what the buttons then do: on generated game
// folders, every count the status gives is the count the notices give, and
// what it says Restore changes is what Restore changes on disk.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "car_files.h"
#include "game_state.h"
#include "game_status.h"
#include "runs.h"
#include "test_support.h"

namespace {

enum class Kind { kNotInstalled, kNeverApplied, kRestored, kTweaked, kUpdated, kEdited, kNoFile };

// A game folder of cars of the given kinds. A tweak is at the car's level;
// an edited car carries a 50% tweak, so that its edit shows.
void MakeFolder(const fs::path& root, const std::vector<Kind>& kinds,
                const std::vector<int>& levels) {
  const auto originals = MakeGameFolder(root);
  for (std::size_t i = 0; i < kCarIds.size(); ++i) {
    const std::string id = kCarIds[i];
    const std::string& original = originals.at(id);
    const fs::path data = CarDataFile(root, id);
    if (kinds[i] != Kind::kNotInstalled && kinds[i] != Kind::kNeverApplied) {
      WriteBytes(CarBackupFile(root, id), original);
    }
    switch (kinds[i]) {
      case Kind::kNotInstalled:
        fs::remove(data);
        break;
      case Kind::kNeverApplied:
      case Kind::kRestored:
        break;
      case Kind::kTweaked:
        WriteBytes(data, ReferencePatch(original, levels[i]));
        break;
      case Kind::kUpdated:
        WriteBytes(data, MakeCarData(100 + static_cast<int>(i), 3, "3.5"));
        break;
      case Kind::kEdited:
        WriteBytes(data, MakeCarData(200 + static_cast<int>(i), 1, "x") +
                             ReferencePatch(original, 2));
        break;
      case Kind::kNoFile:
        fs::remove(data);
        fs::create_directory(data);
        break;
    }
  }
}

std::map<std::string, std::string> DataFiles(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const char* id : kCarIds) {
    if (fs::is_regular_file(CarDataFile(root, id))) files[id] = ReadBytes(CarDataFile(root, id));
  }
  return files;
}

// The whole number that `text` holds right after `before`, or -1; `rest`
// gets what follows it.
int NumberAfter(const std::string& text, const std::string& before, std::string* rest = nullptr) {
  const std::size_t at = text.find(before);
  if (at == std::string::npos) return -1;
  const char* first = text.data() + at + before.size();
  int number = -1;
  const char* end = std::from_chars(first, text.data() + text.size(), number).ptr;
  if (rest != nullptr) *rest = std::string(end, text.data() + text.size());
  return end == first ? -1 : number;
}

// The whole number that `text` holds right before `after`, or -1.
int NumberBefore(const std::string& text, const std::string& after) {
  std::size_t end = text.find(after), start = end;
  if (end == std::string::npos) return -1;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) --start;
  return start == end ? -1 : std::stoi(text.substr(start, end - start));
}

// How many cars the notice that begins with `which` lists; 0 without one.
int Listed(const std::vector<std::string>& notices, const std::string& which) {
  for (const std::string& notice : notices) {
    if (notice.rfind(which + ": ", 0) != 0) continue;
    const std::string list = notice.substr(which.size() + 2, notice.find('.') - which.size() - 2);
    return 1 + static_cast<int>(std::count(list.begin(), list.end(), ','));
  }
  return 0;
}

// What the status says Restore will do: backups copied back (the notice's
// count) and data files that then change; -1 where it says nothing.
struct RestoreSaid {
  int copies = -1, changes = -1;
};
RestoreSaid ReadRestoreLine(const std::string& status) {
  if (status.find("\nRestore has nothing to copy back.") != std::string::npos) return {0, 0};
  const std::string back = "\nRestore puts the game's own files back on ";
  if (const int n = NumberAfter(status, back + "all "); n >= 0) return {n, n};
  if (const int n = NumberAfter(status, back); n >= 0) return {n, n};
  std::string rest;
  const int copies = NumberAfter(status, "\nRestore copies back ", &rest);
  if (rest.starts_with(" backup, the same as") || rest.starts_with(" backups, the same as")) {
    return {copies, 0};
  }
  std::string tail;
  const int changes = NumberAfter(rest, " backups: ", &tail);
  if (tail.starts_with(" car gets the game's own files back, ") ||
      tail.starts_with(" cars get the game's own files back, ")) {
    return {copies, changes};
  }
  return {};
}

TEST(StatusTest, NeverContradictsTheNoticesTheButtonsThenGive) {
  std::map<std::string, std::pair<int, int>> families;  // trials, wrong
  const auto tally = [&](const std::string& family, bool right) {
    ++families[family].first;
    families[family].second += !right;
  };
  for (int seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    // One folder in three has every car alike, as after a run, in turn the
    // game's own, restored, tweaked at each level, updated by the game.
    const bool alike = seed % 3 == 0;
    const Kind common = static_cast<Kind>(1 + seed / 3 % 4);
    const int commonLevel = (seed / 3 + 2) % 5;
    std::vector<Kind> kinds(kCarIds.size());
    std::vector<int> levels(kCarIds.size());
    for (std::size_t i = 0; i < kCarIds.size(); ++i) {
      kinds[i] = alike ? common : static_cast<Kind>(random() % 7);
      levels[i] = alike ? commonLevel : static_cast<int>(random() % 5);
      if (std::string(kCarIds[i]) == "n12" && kinds[i] == Kind::kNotInstalled) {
        kinds[i] = Kind::kNeverApplied;  // the probe file
      }
    }
    const int applyLevel = static_cast<int>(random() % 5);
    TempFolder folder(true);
    MakeFolder(folder.path(), kinds, levels);
    const std::atomic<bool> stop = false;
    const std::string status = GameStatusText(ReadGameFolderState(folder.DataPath(), stop));
    const std::string where = "folder " + std::to_string(seed) + ": " + status;

    const auto before = DataFiles(folder.path());
    ClearNotices();
    RestoreRun(folder.DataPath());
    const std::vector<std::string> restore = Notices();
    const auto after = DataFiles(folder.path());
    int changed = 0;
    for (const auto& [id, bytes] : before) changed += after.at(id) != bytes;  // none removed
    const int restored = NumberAfter(restore.back(), "Restored backup copies of ");

    const RestoreSaid said = ReadRestoreLine(status);
    if (said.copies >= 0) {
      const std::string kind = said.copies == 0                ? "nothing to copy back"
                               : said.changes == said.copies ? "puts the game's own files back"
                               : said.changes == 0           ? "backups the same as the files"
                                                             : "some back, some the same";
      tally("Restore: " + kind, said.copies == restored && said.changes == changed);
      EXPECT_EQ(said.copies, restored) << where;
      EXPECT_EQ(said.changes, changed) << where;
    }
    if (status.find("online play works") != std::string::npos) {
      tally("online play works: Restore changes no file", changed == 0);
      EXPECT_EQ(changed, 0) << where;
    }
    if (status.find("online play needs Restore") != std::string::npos) {
      tally("at 100%, online play needs Restore: Restore changes files", changed > 0);
      EXPECT_GT(changed, 0) << where;
    }

    // Restore has left the cars the game updated or something else changed
    // as they were, and Apply meets them as the status did.
    ClearNotices();
    std::string applyPath = folder.DataPath();
    ApplyRun(applyPath, applyLevel);
    const std::vector<std::string> apply = Notices();
    const int updated = NumberBefore(status, " updated by the game (Apply tweaks");
    if (updated >= 0) {
      const int named = Listed(apply, "Updated by the game");
      tally("updated by the game: named so by Apply", updated == named);
      EXPECT_EQ(updated, named) << where;
    }
    const int edited = NumberBefore(status, " changed by hand or another program (both");
    if (edited >= 0) {
      const std::string which = "Changed by hand or by another program after a tweak";
      const bool right = Listed(apply, which) == edited && Listed(restore, which) == edited;
      tally("changed by hand: named so by both buttons", right);
      EXPECT_TRUE(right) << where;
    }
  }
  std::printf("%-58s %6s %6s\n", "what the status says", "trials", "wrong");
  for (const auto& [family, counts] : families) {
    std::printf("%-58s %6d %6d\n", family.c_str(), counts.first, counts.second);
  }
  EXPECT_EQ(families.size(), 8u) << "every kind of sentence was met";
}

}  // namespace
