// The search for the game's data folders on made-up PCs: drives of every
// kind, links, cloud placeholders and file ids as Windows may give them.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "game_search.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  return text;
}

// The drive (C:\) or share (\\nas\games\) that a path begins with.
std::string RootOf(const std::string& path) {
  if (!path.starts_with("\\\\")) return path.substr(0, 3);
  return path.substr(0, path.find('\\', path.find('\\', 2) + 1) + 1);
}

struct Node {
  std::string name;
  bool file = false, placeholder = false;
  std::string linkTo;  // the folder a link leads to
  std::string text;    // a file's
};

// A PC's folders, files and links, which records every volume that the
// search's queries reach and every placeholder that they open.
class FakePc final : public SearchDisks {
 public:
  std::map<std::string, VolumeKind> drives;  // by root
  std::set<std::string> zeroIdVolumes;       // roots whose file ids are all zeros
  std::set<std::string> reached;             // roots
  int placeholdersOpened = 0;

  // A folder when `path` ends with a backslash, else a file; the folders on
  // its way are made.
  Node& Add(const std::string& path) {
    Node* node = nullptr;
    for (std::size_t i = RootOf(path).size(), end = 0; i < path.size(); i = end + 1) {
      end = std::min(path.find('\\', i), path.size());
      node = &nodes_[Upper(path.substr(0, end)) + '\\'];
      node->name = path.substr(i, end - i);
    }
    node->file = path.back() != '\\';
    return *node;
  }

  VolumeKind DriveKind(const std::string& path) override { return KindOf(path); }

  std::vector<FolderEntry> Subfolders(const std::string& folder) override {
    std::vector<FolderEntry> found;
    for (const Node* node : Children(folder, false)) found.push_back(EntryOf(*node));
    return found;
  }

  std::optional<FolderEntry> Look(const std::string& folder) override {
    const auto node = nodes_.find(Upper(Resolve(folder, false)));
    if (node == nodes_.end() || node->second.file) return std::nullopt;
    return EntryOf(node->second);
  }

  std::string LinkTarget(const std::string& folder) override {
    const auto node = nodes_.find(Upper(Resolve(folder, false, false)));
    return node != nodes_.end() ? node->second.linkTo : "";
  }

  std::optional<FolderId> IdOf(const std::string& folder) override {
    const std::string at = Upper(Resolve(folder, true));
    FolderId id;
    id.volume = std::hash<std::string>()(RootOf(at));
    if (zeroIdVolumes.count(RootOf(at)) == 0) {
      const std::size_t hash = std::hash<std::string>()(at);
      std::copy_n(reinterpret_cast<const std::uint8_t*>(&hash), sizeof hash, id.file.begin());
    }
    return id;
  }

  std::string Text(const std::string& file, std::size_t) override {
    return HasFile(file) ? nodes_[Upper(Resolve(file, true))].text : "";
  }

  bool HasFile(const std::string& file) override {
    const auto node = nodes_.find(Upper(Resolve(file, true)));
    return node != nodes_.end() && node->second.file;
  }

  std::vector<std::string> Files(const std::string& folder) override {
    std::vector<std::string> found;
    for (const Node* node : Children(folder, true)) found.push_back(node->name);
    return found;
  }

 private:
  // The files or the folders in `folder`.
  std::vector<const Node*> Children(const std::string& folder, bool files) {
    const std::string at = Upper(Resolve(folder, true));
    std::vector<const Node*> found;
    for (auto node = nodes_.upper_bound(at); node != nodes_.end() && node->first.starts_with(at);
         ++node) {
      if (node->second.file == files &&
          node->first.find('\\', at.size()) == node->first.size() - 1) {
        found.push_back(&node->second);
      }
    }
    return found;
  }

  VolumeKind KindOf(const std::string& path) const {
    const auto drive = drives.find(Upper(RootOf(path)));
    return drive != drives.end() ? drive->second : VolumeKind::kElsewhere;
  }

  static FolderEntry EntryOf(const Node& node) {
    return {node.name, !node.linkTo.empty(), node.placeholder};
  }

  // Where `path` leads, each link on the way followed (the last one only
  // when `followLast`), and each on the way to its target, as the system
  // would open it; a name that nothing has past the system's 63 hops.
  std::string Resolve(std::string path, bool followLast, bool record = true, int hops = 0) {
    if (path.back() != '\\') path += '\\';
    std::string at = RootOf(path);
    if (record) reached.insert(Upper(at));
    for (std::size_t i = at.size(); i < path.size();) {
      const std::size_t end = path.find('\\', i);
      at += path.substr(i, end - i + 1);
      i = end + 1;
      const auto node = nodes_.find(Upper(at));
      if (node == nodes_.end() || (i == path.size() && !followLast)) continue;
      if (!node->second.linkTo.empty()) {
        if (hops == 63) return "?\\";
        at = Resolve(node->second.linkTo, true, record, hops + 1);
      } else if (node->second.placeholder && record) {
        ++placeholdersOpened;
      }
    }
    return at;
  }

  std::map<std::string, Node> nodes_;  // by upper-case path
};

constexpr char kSteam[] = "C:\\Program Files (x86)\\Steam\\";
constexpr char kProbe[] = "cars\\n12\\n12.csv";

// Steam's library list naming `folders`, as Steam wrote it before 2021.
std::string OldLibraryList(const std::vector<std::string>& folders) {
  std::string list = "\"LibraryFolders\" {";
  for (std::size_t i = 0; i < folders.size(); ++i) {
    list += " \"" + std::to_string(i + 1) + "\" \"";
    for (const char c : folders[i]) list += c == '\\' ? "\\\\" : std::string(1, c);
    list += '"';
  }
  return list + " }";
}

// What each family of generated PCs holds, and what the search must offer
// there. Each family has the game in a library of its own, behind what the
// family tries, and decoys in Steam's own library.
constexpr const char* kFamilies[] = {
    "game folder a link to a share",
    "game folder a link to a removable drive",
    "data folder a junction to a network drive",
    "game folder a link to another fixed disk (twice)",
    "game folder a cloud placeholder",
    "data folder a cloud placeholder",
    "library on an SD card that Steam's list names",
    "library on a removable drive not named",
    "library on a network drive that Steam's list names",
    "libraries on a disk whose file ids are all zeros",
};

// The game's data folder at one of its known places in `game`, by `place`.
std::string DataFolder(const std::string& game, int place) {
  return game + (place == 0 ? "" : place == 1 ? "data\\" : "Game\\data\\");
}

std::string AddGame(FakePc& pc, const std::string& game, int place) {
  pc.Add(DataFolder(game, place) + kProbe);
  return DataFolder(game, place);
}

TEST(GameSearch, StaysOnThisPCsDisksInGeneratedPCs) {
  constexpr int kTrialsPerFamily = 60;
  std::printf("%-52s %6s %8s %11s %18s\n", "family", "trials", "as due", "off this PC",
              "placeholder opened");
  for (std::size_t f = 0; f < std::size(kFamilies); ++f) {
    int asDue = 0, offDisk = 0, opened = 0;
    for (int trial = 0; trial < kTrialsPerFamily; ++trial) {
      std::mt19937 random(static_cast<unsigned>(1000 * f + trial));
      const auto pick = [&](int n) { return static_cast<int>(random() % n); };
      FakePc pc;
      pc.drives = {{"C:\\", VolumeKind::kFixed}, {"D:\\", VolumeKind::kFixed},
                   {"E:\\", VolumeKind::kRemovable}, {"N:\\", VolumeKind::kElsewhere}};
      const std::string common = std::string(kSteam) + "steamapps\\common\\";
      for (int decoy = pick(6); decoy > 0; --decoy) {
        const std::string game = common + "Decoy" + std::to_string(decoy) + "\\";
        pc.Add(game + (pick(2) ? "data\\cars\\" : "bin\\data\\"));
      }
      std::vector<std::string> listed = {pick(2) ? kSteam : Upper(kSteam)};
      std::vector<std::string> expected;
      std::set<std::string> allowed = {"C:\\", "D:\\"};
      const int place = pick(3);
      const std::string game = "Kestrune" + std::string(pick(2) ? "" : " Deluxe") + "\\";
      switch (f) {
        case 0:
        case 1: {
          const std::string target = (f == 0 ? "\\\\nas\\games\\" : "E:\\Games\\") + game;
          AddGame(pc, target, place);
          pc.Add(common + game).linkTo = target;
          break;
        }
        case 2:
          AddGame(pc, "N:\\Kestrune\\", 0);
          pc.Add(common + game + "data\\").linkTo = "N:\\Kestrune\\";
          break;
        case 3:
          expected = {DataFolder(common + game, place)};
          AddGame(pc, "D:\\Games\\" + game, place);
          pc.Add(common + game).linkTo = "D:\\Games\\" + game;
          pc.Add(common + "Zz " + game).linkTo = "D:\\Games\\" + game;
          break;
        case 4:
        case 5: {
          const std::string data = AddGame(pc, common + game, f == 4 ? place : 1);
          pc.Add(f == 4 ? common + game : data).placeholder = true;
          break;
        }
        case 6:
        case 7:
          expected = {AddGame(pc, "E:\\SteamLibrary\\steamapps\\common\\" + game, place)};
          if (f == 6) {
            listed.push_back(pick(2) ? "E:\\SteamLibrary" : "e:/SteamLibrary/");
            allowed.insert("E:\\");
          } else {
            expected.clear();
          }
          break;
        case 8:
          AddGame(pc, "N:\\SteamLibrary\\steamapps\\common\\" + game, place);
          listed.push_back("N:\\SteamLibrary");
          listed.push_back("\\\\nas\\games\\SteamLibrary");
          break;
        case 9:
          pc.zeroIdVolumes.insert("D:\\");
          expected = {AddGame(pc, "D:\\SteamLibrary\\steamapps\\common\\" + game, place),
                      AddGame(pc, "D:\\Lib\\steamapps\\common\\" + game, place)};
          listed.push_back("D:\\Lib");
          listed.push_back("d:\\steamlibrary");  // the drive's own, in other letters
          break;
      }
      std::shuffle(listed.begin(), listed.end(), random);
      pc.Add(std::string(kSteam) + "steamapps\\libraryfolders.vdf").text = OldLibraryList(listed);
      // Spelt as listed or as found, in any case.
      std::vector<std::string> found;
      FindGameDataFolders({{"C:\\", "D:\\", "E:\\", "N:\\"}, "", ""}, pc,
                          [&](const std::string& folder) { found.push_back(folder); });
      for (std::vector<std::string>* folders : {&found, &expected}) {
        std::transform(folders->begin(), folders->end(), folders->begin(), Upper);
        std::sort(folders->begin(), folders->end());
      }
      asDue += found == expected;
      offDisk +=
          !std::includes(allowed.begin(), allowed.end(), pc.reached.begin(), pc.reached.end());
      opened += pc.placeholdersOpened > 0;
      EXPECT_EQ(found, expected) << kFamilies[f] << ", seed " << 1000 * f + trial;
    }
    std::printf("%-52s %6d %8d %11d %18d\n", kFamilies[f], kTrialsPerFamily, asDue, offDisk,
                opened);
    EXPECT_EQ(offDisk, 0) << kFamilies[f] << ": a volume reached that is not this PC's own";
    EXPECT_EQ(opened, 0) << kFamilies[f] << ": a cloud placeholder opened";
  }
}

// A JSON string holding `text`.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
  return quoted + '"';
}

// The launchers' records naming `folders`, shaped as each launcher writes
// them: a manifest, a list in an array (`list`) or an object of games.
std::string EpicManifest(const std::string& folder, bool incomplete) {
  return std::string("{\n\t\"FormatVersion\": 0,\n\t\"bIsIncompleteInstall\": ") +
         (incomplete ? "true" : "false") + ",\n\t\"AppName\": \"Osprey\",\n\t\"InstallLocation\": " +
         Quoted(folder) + "\n}";
}
std::string List(const std::vector<std::string>& folders, const char* key,
                 const char* list = nullptr) {
  std::string text;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    text += (i > 0 ? ", " : "") + (list ? "" : Quoted("Game" + std::to_string(i)) + ": ") +
            "{\"" + key + "\": " + Quoted(folders[i]) + ", \"is_dlc\": false}";
  }
  return list ? "{\"" + std::string(list) + "\": [" + text + "]}" : "{" + text + "}";
}

constexpr const char* kRecordFamilies[] = {
    "Epic manifest, a folder of the player's choosing",
    "Epic's older list",
    "GOG offline installer's folder",
    "Heroic's list of Epic games (or Flatpak's)",
    "Heroic's list of Epic games, a path in a Wine prefix",
    "Heroic's list of GOG games (or Flatpak's)",
    "legendary's list in a home outside /home",
    "Steam running from a folder of its own",
    "broken records beside good ones",
    "unfinished installs, placeholder locations",
    "records naming a network drive, a share, a relative path",
    "a record naming a removable drive",
};

// Each family puts the game where a launcher records it, or records it where
// the search must not take it; decoys are in Steam's own library.
TEST(GameSearch, FindsTheGameWhereverItsLauncherRecordsItInGeneratedPCs) {
  constexpr int kTrialsPerFamily = 40;
  const std::string manifests = "C:\\ProgramData\\Epic\\EpicGamesLauncher\\Data\\Manifests\\";
  const std::string epicListFile =
      "C:\\ProgramData\\Epic\\UnrealEngineLauncher\\LauncherInstalled.dat";
  const std::string home = "Z:\\home\\deck\\", heroicGames = "/home/deck/Games/Heroic/";
  std::printf("%-58s %6s %8s %11s\n", "family", "trials", "as due", "off this PC");
  for (std::size_t f = 0; f < std::size(kRecordFamilies); ++f) {
    int asDue = 0, offDisk = 0;
    for (int trial = 0; trial < kTrialsPerFamily; ++trial) {
      std::mt19937 random(static_cast<unsigned>(7000 + 100 * f + trial));
      const auto pick = [&](int n) { return static_cast<int>(random() % n); };
      FakePc pc;
      pc.drives = {{"C:\\", VolumeKind::kFixed}, {"D:\\", VolumeKind::kFixed},
                   {"E:\\", VolumeKind::kRemovable}, {"N:\\", VolumeKind::kElsewhere},
                   {"Z:\\", VolumeKind::kFixed}};
      for (int decoy = pick(4); decoy > 0; --decoy) {
        pc.Add(std::string(kSteam) + "steamapps\\common\\Decoy" + std::to_string(decoy) + "\\data\\");
      }
      const int place = pick(3);
      const std::string name = pick(2) ? "Kestrune" : "Kestrune Deluxe", game = name + "\\";
      std::vector<std::string> expected;
      std::set<std::string> allowed = {"C:\\", "D:\\", "Z:\\"};
      GameSearchPlaces places = {{"C:\\", "D:\\", "E:\\", "N:\\", "Z:\\"}, "Z:\\home\\", "Z:\\"};
      places.programData = "C:\\ProgramData\\";
      pc.Add(home);
      const auto manifest = [&](const std::string& folder, bool incomplete = false) {
        pc.Add(manifests + std::to_string(100000 + pick(900000)) + (pick(2) ? ".item" : ".ITEM"))
            .text = EpicManifest(folder, incomplete);
      };
      const auto epicList = [&](const std::vector<std::string>& folders) {
        pc.Add(epicListFile).text = List(folders, "InstallLocation", "InstallationList");
      };
      // Heroic's list of Epic games (or of GOG games), native or Flatpak's.
      const auto heroicList = [&](const std::vector<std::string>& folders, bool gog = false) {
        pc.Add(home + (pick(2) ? ".config\\heroic\\"
                               : ".var\\app\\com.heroicgameslauncher.hgl\\config\\heroic\\") +
               (gog ? "gog_store\\installed.json" : "legendaryConfig\\legendary\\installed.json"))
            .text = List(folders, "install_path", gog ? "installed" : nullptr);
      };
      switch (f) {
        case 0:
          expected = {AddGame(pc, "D:\\Games\\" + game, place)};
          manifest(pick(2) ? "D:\\Games\\" + game : "d:/games/" + name);
          pc.Add(manifests + "Pending.item.tmp").text = EpicManifest("C:\\Elsewhere", false);
          break;
        case 1:
          expected = {AddGame(pc, "D:\\Epic\\" + game, place)};
          epicList({"C:\\Program Files\\Epic Games\\Other", "D:\\Epic\\" + name});
          break;
        case 2:
          expected = {AddGame(pc, (pick(2) ? "C:\\GOG Games\\" : "D:\\GOG Games\\") + game, place)};
          break;
        case 3:
          expected = {AddGame(pc, home + "Games\\Heroic\\" + game, place)};
          heroicList({heroicGames + "Other", heroicGames + name});
          break;
        case 4:
          expected = {AddGame(pc, home + "Games\\pfx\\drive_c\\Program Files\\Epic Games\\" + game,
                              place)};
          heroicList({"/home/deck/Games/pfx/drive_c/Program Files/Epic Games/" + name});
          break;
        case 5:
          expected = {AddGame(pc, home + "Games\\Heroic\\" + game, place)};
          heroicList({heroicGames + name}, true);
          break;
        case 6:
          places.ownHome = "Z:\\root\\";
          expected = {AddGame(pc, "Z:\\opt\\games\\" + game, place)};
          pc.Add("Z:\\root\\.config\\legendary\\installed.json").text =
              List({"/opt/games/" + name}, "install_path");
          break;
        case 7: {
          const std::string steam = pick(2) ? "D:\\Apps\\Steam\\" : "C:\\Tools\\Valve Steam\\";
          places.steamFolders = {pick(2) ? steam : Upper(steam)};
          const std::string library = pick(2) ? steam : "D:\\Steam Games\\";
          expected = {AddGame(pc, library + "steamapps\\common\\" + game, place)};
          pc.Add(steam + "steamapps\\libraryfolders.vdf").text = OldLibraryList({steam, library});
          break;
        }
        case 8: {
          expected = {AddGame(pc, "D:\\Games\\" + game, place),
                      AddGame(pc, home + "Games\\Heroic\\" + game, place)};
          const std::string good = EpicManifest("D:\\Games\\" + name, false);
          manifest("D:\\Broken\\");
          pc.Add(manifests + "00-cut-off.item").text = good.substr(0, pick(int(good.size())));
          pc.Add(manifests + "01-not-json.item").text = std::string{'\0', '\xFF'} + " garbage {";
          pc.Add(manifests + "zz-good.item").text = good;
          pc.Add(epicListFile).text = "{\"InstallationList\": [{\"InstallLocation\": 5}";
          heroicList({heroicGames + name});
          pc.Add(home + ".config\\heroic\\gog_store\\installed.json").text = "{\"installed\": [";
          break;
        }
        case 9:
          AddGame(pc, "D:\\Games\\" + game, place);
          manifest("$InstallLocation$", true);
          manifest("D:\\Games\\" + name, true);
          epicList({"$InstallLocation$"});
          break;
        case 10:
          AddGame(pc, "N:\\Games\\" + game, place);
          manifest(pick(2) ? "N:\\Games\\" + name : "\\\\nas\\games\\" + name);
          epicList({"Games\\" + name, "C:Games\\" + name});
          heroicList({"games/" + name, "//nas/games/" + name}, true);
          break;
        case 11:
          expected = {AddGame(pc, "E:\\Games\\" + game, place)};
          allowed.insert("E:\\");
          manifest("E:\\Games\\" + name);
          break;
      }
      std::vector<std::string> found;
      FindGameDataFolders(places, pc, [&](const std::string& folder) { found.push_back(folder); });
      for (std::vector<std::string>* folders : {&found, &expected}) {
        std::transform(folders->begin(), folders->end(), folders->begin(), Upper);
        std::sort(folders->begin(), folders->end());
      }
      asDue += found == expected;
      offDisk +=
          !std::includes(allowed.begin(), allowed.end(), pc.reached.begin(), pc.reached.end());
      EXPECT_EQ(found, expected) << kRecordFamilies[f] << ", seed " << 7000 + 100 * f + trial;
    }
    std::printf("%-58s %6d %8d %11d\n", kRecordFamilies[f], kTrialsPerFamily, asDue, offDisk);
    EXPECT_EQ(offDisk, 0) << kRecordFamilies[f] << ": a volume reached that is not this PC's own";
  }
}

// Chains of links from the game's folder in Steam's own library, each link
// to a folder on a volume of some kind, and the next link either that folder
// itself or a folder on the way to it. The game is found only where every
// hop stays on this PC's fixed disks, and no query reaches anything else.
constexpr const char* kChains[] = {
    "two links: a fixed disk, then a share",
    "two links: a fixed disk, then a network drive",
    "two links: a fixed disk, then a removable drive",
    "2 to 8 links, each to a fixed disk",
    "2 to 8 links, one of them off the fixed disks",
    "9 links, each to a fixed disk (too long)",
    "links in a loop",
};

TEST(GameSearch, JudgesEachLinkOfAChainInGeneratedPCs) {
  constexpr int kTrialsPerFamily = 40;
  const std::string volumes[] = {"C:\\", "D:\\", "E:\\", "N:\\", "\\\\nas\\games\\"};
  std::printf("%-52s %6s %8s %11s\n", "family", "trials", "as due", "off this PC");
  for (std::size_t f = 0; f < std::size(kChains); ++f) {
    int asDue = 0, offDisk = 0;
    for (int trial = 0; trial < kTrialsPerFamily; ++trial) {
      std::mt19937 random(static_cast<unsigned>(9000 + 100 * f + trial));
      const auto pick = [&](int n) { return static_cast<int>(random() % n); };
      FakePc pc;
      pc.drives = {{"C:\\", VolumeKind::kFixed}, {"D:\\", VolumeKind::kFixed},
                   {"E:\\", VolumeKind::kRemovable}, {"N:\\", VolumeKind::kElsewhere}};
      const int links = f < 3 ? 2 : f == 5 ? 9 : f == 6 ? 2 + pick(3) : 2 + pick(7);
      std::vector<int> on(links);  // the volume (in `volumes`) of each link's target
      for (int& volume : on) volume = pick(2);
      if (f < 3) on[1] = 4 - static_cast<int>(f);
      if (f == 4) on[pick(links)] = 2 + pick(3);
      // Link k is the folder `at[k]`; it leads to `to[k]`, which is link
      // k+1 itself or a folder in it.
      const std::string game = std::string(kSteam) + "steamapps\\common\\Kestrune\\";
      std::vector<std::string> at = {game}, to;
      std::string suffix;  // what lies below the last target, to the game
      for (int k = 0; k < links; ++k) {
        const std::string folder = volumes[on[k]] + "Hop" + std::to_string(k) + "\\";
        at.push_back(folder);
        const std::string below = pick(2) ? "" : "In" + std::to_string(k) + "\\";
        to.push_back(folder + below);
        suffix = below + suffix;
      }
      for (int k = 0; k + 1 < links; ++k) pc.Add(at[k]).linkTo = to[k];
      pc.Add(at[links - 1]).linkTo = f == 6 ? game : to[links - 1];
      const int place = pick(3);
      AddGame(pc, at.back() + suffix, place);

      std::vector<std::string> found;
      FindGameDataFolders({{"C:\\", "D:\\", "E:\\", "N:\\"}, "", ""}, pc,
                          [&](const std::string& folder) { found.push_back(folder); });
      const bool allFixed = std::all_of(on.begin(), on.end(), [](int v) { return v < 2; });
      const bool due = allFixed && links <= kMostLinkHops && f != 6;
      const std::vector<std::string> expected =
          due ? std::vector<std::string>{DataFolder(game, place)} : std::vector<std::string>{};
      asDue += found == expected;
      const std::set<std::string> allowed = {"C:\\", "D:\\"};
      offDisk +=
          !std::includes(allowed.begin(), allowed.end(), pc.reached.begin(), pc.reached.end());
      EXPECT_EQ(found, expected) << kChains[f] << ", seed " << 9000 + 100 * f + trial;
    }
    std::printf("%-52s %6d %8d %11d\n", kChains[f], kTrialsPerFamily, asDue, offDisk);
    EXPECT_EQ(offDisk, 0) << kChains[f] << ": a volume reached that is not this PC's own";
  }
}

// The disks of a PC, which set `stop` as their `stopAt`-th question is asked
// and count the questions asked after it.
class StoppingDisks final : public SearchDisks {
 public:
  StoppingDisks(FakePc& pc, int stopAt) : pc_(pc), stopAt_(stopAt) {}
  std::atomic<bool> stop = false;
  int asked = 0, askedAfterStop = 0;

  VolumeKind DriveKind(const std::string& path) override { return Ask(pc_.DriveKind(path)); }
  std::vector<FolderEntry> Subfolders(const std::string& folder) override {
    return Ask(pc_.Subfolders(folder));
  }
  std::optional<FolderEntry> Look(const std::string& folder) override {
    return Ask(pc_.Look(folder));
  }
  std::string LinkTarget(const std::string& folder) override {
    return Ask(pc_.LinkTarget(folder));
  }
  std::optional<FolderId> IdOf(const std::string& folder) override {
    return Ask(pc_.IdOf(folder));
  }
  std::string Text(const std::string& file, std::size_t most) override {
    return Ask(pc_.Text(file, most));
  }
  bool HasFile(const std::string& file) override { return Ask(pc_.HasFile(file)); }
  std::vector<std::string> Files(const std::string& folder) override {
    return Ask(pc_.Files(folder));
  }

 private:
  template <typename Answer>
  Answer Ask(Answer answer) {
    askedAfterStop += stop ? 1 : 0;
    if (++asked == stopAt_) stop = true;
    return answer;
  }
  FakePc& pc_;
  const int stopAt_;
};

// Stopped at any of its questions, the search asks the disks nothing more,
// and what it has offered by then is what it offers unstopped, so far.
TEST(GameSearch, AsksNothingMoreOnceStopped) {
  FakePc pc;
  pc.drives = {{"C:\\", VolumeKind::kFixed}, {"D:\\", VolumeKind::kFixed}};
  const std::string common = std::string(kSteam) + "steamapps\\common\\";
  for (const char* game : {"Alpha\\", "Kestrune\\", "Zeta\\"}) pc.Add(common + game + "bin\\");
  AddGame(pc, common + "Kestrune\\", 1);
  AddGame(pc, "D:\\Lib\\steamapps\\common\\Kestrune\\", 2);
  AddGame(pc, "D:\\Games\\Kestrune\\", 0);
  pc.Add(common + "Linked\\").linkTo = "D:\\Games\\Kestrune\\";
  pc.Add(std::string(kSteam) + "steamapps\\libraryfolders.vdf").text =
      OldLibraryList({kSteam, "D:\\Lib"});
  const GameSearchPlaces places = {{"C:\\", "D:\\"}, "", ""};
  std::vector<std::string> all;
  StoppingDisks unstopped(pc, 0);
  FindGameDataFolders(places, unstopped, [&](const std::string& f) { all.push_back(f); },
                      unstopped.stop);
  ASSERT_EQ(all.size(), 3u);
  for (int stopAt = 1; stopAt <= unstopped.asked; ++stopAt) {
    StoppingDisks disks(pc, stopAt);
    std::vector<std::string> found;
    FindGameDataFolders(places, disks, [&](const std::string& f) { found.push_back(f); },
                        disks.stop);
    EXPECT_EQ(disks.askedAfterStop, 0) << "stopped at question " << stopAt;
    EXPECT_TRUE(std::equal(found.begin(), found.end(), all.begin(),
                           all.begin() + std::min(found.size(), all.size())))
        << "stopped at question " << stopAt;
  }
  std::printf("stopped at each of its %d questions\n", unstopped.asked);
}

}  // namespace
