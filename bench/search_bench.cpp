// Benchmark of the search for the game (Windows, or Wine): over a made-up PC
// whose Steam library holds the game among 300, then 3,000 other games of 20
// folders each, and a second copy of the game where the Epic Games launcher
// puts it, the time from the search's start to the first and to the last
// data folder offered and to its end, and the folders it opens per game.
//
//   search_bench FOLDER [RUNS]   the PCs go to FOLDER, made once and kept;
//                                each figure is the median of RUNS (5) runs
//
// The search runs as the program runs it (CWin32Disks), on this thread.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game_data.h"
#include "game_finder.h"

void ShowNotice(const std::string&) {}

namespace {

using Clock = std::chrono::steady_clock;

// The search's questions, counted, passed on to Windows.
class CountedDisks final : public SearchDisks {
 public:
  int lists = 0, looks = 0, others = 0;

  VolumeKind DriveKind(const std::string& path) override { return disks_.DriveKind(path); }
  std::vector<FolderEntry> Subfolders(const std::string& folder) override {
    ++lists;
    return disks_.Subfolders(folder);
  }
  std::optional<FolderEntry> Look(const std::string& folder) override {
    ++looks;
    return disks_.Look(folder);
  }
  std::string LinkTarget(const std::string& folder) override {
    ++others;
    return disks_.LinkTarget(folder);
  }
  std::optional<FolderId> IdOf(const std::string& folder) override {
    ++others;
    return disks_.IdOf(folder);
  }
  std::string Text(const std::string& file, std::size_t most) override {
    ++others;
    return disks_.Text(file, most);
  }
  bool HasFile(const std::string& file) override {
    ++others;
    return disks_.HasFile(file);
  }
  std::vector<std::string> Files(const std::string& folder) override {
    ++lists;
    return disks_.Files(folder);
  }

 private:
  CWin32Disks disks_;
};

// Writes `count` other games into `folder` (a library's steamapps\common),
// each a folder with 19 folders below it, a `data` folder among them, named
// across the alphabet so that the game's folder comes in their midst.
void MakeOtherGames(const std::string& folder, int count) {
  static const char* const kWords[] = {"Harbor", "Quest", "Drift", "Tactics", "Legends"};
  static const char* const kTop[] = {"bin", "content", "data", "engine", "redist"};
  for (int game = 0; game < count; ++game) {
    const std::string root = folder + "\\" + static_cast<char>('A' + game % 26) + "ero " +
                             kWords[game % 5] + " " + std::to_string(game);
    CreateDirectoryA(root.c_str(), nullptr);
    for (int top = 0; top < 5; ++top) {
      const std::string below = root + "\\" + kTop[(top + game) % 5];
      CreateDirectoryA(below.c_str(), nullptr);
      for (int leaf = 0; leaf < (top == 0 ? 2 : 3); ++leaf) {
        CreateDirectoryA((below + "\\part" + std::to_string(leaf)).c_str(), nullptr);
      }
    }
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A PC with the game among `games` others; returns its places.
GameSearchPlaces MakePc(const std::string& folder, int games) {
  const std::string drive = folder + "\\" + std::to_string(games) + "\\C";
  const std::string common = drive + "\\Program Files (x86)\\Steam\\steamapps\\common";
  if (GetFileAttributesA((common + "\\Kestrune\\data").c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("Making a PC with %d other games in %s\n", games, drive.c_str());
    MakeGameFolder(common + "\\Kestrune\\data");
    MakeGameFolder(drive + "\\Program Files\\Epic Games\\Kestrune\\Game\\data");
    MakeOtherGames(common, games);
  }
  return {{drive + "\\"}, "", ""};
}

bool Measure(const std::string& folder, int games, int runs) {
  const GameSearchPlaces places = MakePc(folder, games);
  std::vector<double> first, last, ended;
  CountedDisks disks;
  std::size_t offered = 0;
  for (int run = 0; run < runs; ++run) {
    disks = CountedDisks();
    std::vector<double> times;
    const Clock::time_point start = Clock::now();
    const auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    FindGameDataFolders(places, disks, [&](const std::string&) { times.push_back(seconds()); });
    ended.push_back(seconds());
    offered = times.size();
    first.push_back(times.empty() ? 0 : times.front());
    last.push_back(times.empty() ? 0 : times.back());
  }
  const double perGame = 1.0 / (games + 2);
  std::printf(
      "%5d games: first offered %.3f s, last %.3f s, search ended %.3f s; per game %.2f folders "
      "opened (%.2f listed, %.2f looked up, %.2f other)\n",
      games + 2, Median(first), Median(last), Median(ended),
      (disks.lists + disks.looks + disks.others) * perGame, disks.lists * perGame,
      disks.looks * perGame, disks.others * perGame);
  return offered == 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: search_bench FOLDER [RUNS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  CreateDirectoryA(folder.c_str(), nullptr);
  bool ok = true;
  for (const int games : {300, 3000}) ok = Measure(folder, games, runs) && ok;
  if (!ok) std::printf("The search did not offer both of the game's data folders.\n");
  return ok ? 0 : 1;
}
