// The launchers' records of their installs as the launchers write them, and
// as they may reach us broken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher_records.h"

namespace {

using Folders = std::vector<std::string>;
using Reader = Folders (*)(std::string_view);

TEST(LauncherRecords, ReadTheFoldersOfEachLauncher) {
  const struct {
    Reader read;
    std::string text;
    Folders folders;
  } kRecords[] = {
      {EpicManifestFolders, R"({
	"FormatVersion": 0,
	"bIsIncompleteInstall": false,
	"LaunchExecutable": "Kestrune.exe",
	"ManifestLocation": "D:\\Games\\Kestrune/.egstore",
	"AppName": "Osprey",
	"InstallTags": [],
	"DisplayName": "Kestrune",
	"InstallLocation": "D:\\Games\\Kestrune",
	"InstallSize": 8123456789
})",
       {R"(D:\Games\Kestrune)"}},
      // With a byte-order mark and no final newline, from a launcher that
      // writes no completion flag.
      {EpicManifestFolders, "\xEF\xBB\xBF{\"InstallLocation\": \"E:/Epic/K\\u00e9strune\"}",
       {"E:/Epic/K\xC3\xA9strune"}},
      {EpicInstalledListFolders, R"({
	"InstallationList": [
		{ "InstallLocation": "C:\\Program Files\\Epic Games\\Kestrune", "AppName": "Osprey" },
		{ "AppName": "NoLocation" },
		{ "InstallLocation": 7 },
		{ "InstallLocation": "F:\\Spiele\\Other", "AppVersion": "2" }
	]
})",
       {R"(C:\Program Files\Epic Games\Kestrune)", R"(F:\Spiele\Other)"}},
      {EpicInstalledListFolders, "{\n\t\"InstallationList\": []\n}\n", {}},
      {LegendaryInstalledFolders, R"({
  "Osprey": {
    "app_name": "Osprey",
    "base_urls": ["https://example.invalid/Builds/default"],
    "install_path": "/home/deck/Games/Heroic/Kestrune",
    "is_dlc": false,
    "prereq_info": null,
    "save_path": null,
    "title": "Kestrune"
  },
  "Wren": {
    "install_path": "/home/deck/Games/Heroic/Prefixes/default/drive_c/Program Files/Epic Games/wren",
    "requires_ot": 0
  },
  "Broken": "not a game"
})",
       {"/home/deck/Games/Heroic/Kestrune",
        "/home/deck/Games/Heroic/Prefixes/default/drive_c/Program Files/Epic Games/wren"}},
      {HeroicGogInstalledFolders, R"({
  "installed": [
    {
      "platform": "windows",
      "executable": "",
      "install_path": "/run/media/mmcblk0p1/Heroic/Kestrune",
      "install_size": "7.6 GiB",
      "is_dlc": false,
      "version": "1.0.4",
      "appName": "1207664663",
      "language": "en-US"
    },
    { "platform": "linux", "install_path": "/home/you/Games/Heroic/Native" }
  ]
})",
       {"/run/media/mmcblk0p1/Heroic/Kestrune", "/home/you/Games/Heroic/Native"}},
  };
  for (const auto& [read, text, folders] : kRecords) EXPECT_EQ(read(text), folders) << text;
}

// An unfinished install, a file cut off or not JSON at all, values of the
// wrong type, folders that no file can have, and text past the limits.
TEST(LauncherRecords, GiveNothingThatIsNotAFinishedInstallsFolder) {
  const std::string manifest =
      R"({"bIsIncompleteInstall": false, "InstallLocation": "D:\\Games\\Kestrune", "x": 1})";
  std::string deep = R"({"installed": [{"install_path": "/games/k", "more": )";
  for (int i = 0; i < 100000; ++i) deep += '[';
  const struct {
    Reader read;
    std::string text;
  } kFaults[] = {
      {EpicManifestFolders, R"({"bIsIncompleteInstall": true, "InstallLocation": "$InstallLocation$"})"},
      {EpicManifestFolders, R"({"bIsIncompleteInstall": true, "InstallLocation": "D:\\Games\\Kestrune"})"},
      {EpicManifestFolders, manifest.substr(0, manifest.size() - 1)},
      {EpicManifestFolders, manifest.substr(0, 60)},
      {EpicManifestFolders, manifest + ","},
      {EpicManifestFolders, R"(["D:\\Games\\Kestrune"])"},
      {EpicManifestFolders, R"({"InstallLocation": ["D:\\Games\\Kestrune"]})"},
      {EpicManifestFolders, R"({"InstallLocation": ""})"},
      {EpicManifestFolders, R"({"InstallLocation": "D:\\Games\u0000\\Kestrune"})"},
      {EpicManifestFolders, R"({"InstallLocation": "D:\\Games\tKestrune"})"},
      {EpicManifestFolders, "{\"InstallLocation\": \"D:\\\\\xFF\"}"},
      {EpicManifestFolders, R"({"InstallLocation": "D:\\Games\\Kestrune" // a comment
})"},
      {EpicManifestFolders, manifest + std::string(kMaxLauncherRecordBytes, ' ')},
      {EpicInstalledListFolders, R"({"InstallationList": {"InstallLocation": "C:\\Kestrune"}})"},
      {EpicInstalledListFolders, R"({"InstallationList": [{"InstallLocation": "C:\\Kestrune"})"},
      {LegendaryInstalledFolders, R"([{"install_path": "/home/you/Games/Kestrune"}])"},
      {LegendaryInstalledFolders, R"({"Osprey": {"install_path": null}})"},
      {HeroicGogInstalledFolders, R"({"installed": [{"install_path": "/games/k"}]} trailing)"},
      {HeroicGogInstalledFolders, R"({"games": [{"install_path": "/games/k"}]})"},
      {HeroicGogInstalledFolders, deep},
      {HeroicGogInstalledFolders, ""},
  };
  for (const auto& [read, text] : kFaults) {
    EXPECT_EQ(read(text), Folders{}) << text.substr(0, 200);
  }
  // Nested deeper than a record, a value is left out and the rest read.
  std::string nested = R"({"installed": [{"extra": )";
  for (int i = 0; i < 1000; ++i) nested += '[';
  nested += std::string(1000, ']') + R"(, "install_path": "/games/k"}]})";
  EXPECT_EQ(HeroicGogInstalledFolders(nested), Folders{"/games/k"});
}

}  // namespace
