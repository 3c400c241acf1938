// The launchers' records of their installs as the launchers write them, and
// as they may reach us broken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher_records.h"

namespace {

using Folders = std::vector<std::string>;
using Reader = Folders (*)(std::string_view);

// Entries of the wrong shape are passed over, a byte-order mark too.
TEST(LauncherRecords, ReadTheFoldersOfEachLauncher) {
  const struct {
    Reader read;
    std::string text;
    Folders folders;
  } kRecords[] = {
      {EpicManifestFolders, R"({
	"FormatVersion": 0,
	"bIsIncompleteInstall": false,
	"ManifestLocation": "D:\\Games\\Kestrune/.egstore",
	"InstallTags": [],
	"InstallLocation": "D:\\Games\\Kestrune",
	"InstallSize": 8123456789
})",
       {R"(D:\Games\Kestrune)"}},
      {EpicManifestFolders, "\xEF\xBB\xBF{\"InstallLocation\": \"E:/K\\u00e9strune\"}",
       {"E:/K\xC3\xA9strune"}},
      {EpicInstalledListFolders, R"({"InstallationList": [
		{ "InstallLocation": "C:\\Program Files\\Epic Games\\Kestrune", "AppName": "Osprey" },
		{ "AppName": "NoLocation" }, { "InstallLocation": 7 }, "C:\\Bare",
		{ "InstallLocation": "F:\\Spiele\\Other" }]})",
       {R"(C:\Program Files\Epic Games\Kestrune)", R"(F:\Spiele\Other)"}},
      {LegendaryInstalledFolders, R"({
  "Osprey": {"install_path": "/home/deck/Games/Heroic/Kestrune", "prereq_info": null},
  "Wren": {"install_path": "/home/deck/pfx/drive_c/Program Files/Epic Games/wren"},
  "Broken": "not a game", "Null": {"install_path": null}})",
       {"/home/deck/Games/Heroic/Kestrune", "/home/deck/pfx/drive_c/Program Files/Epic Games/wren"}},
      {HeroicGogInstalledFolders, R"({"installed": [
    {"platform": "windows", "install_path": "/run/media/mmcblk0p1/Heroic/Kestrune", "is_dlc": false},
    {"platform": "linux", "install_path": "/home/you/Games/Heroic/Native"}]})",
       {"/run/media/mmcblk0p1/Heroic/Kestrune", "/home/you/Games/Heroic/Native"}},
  };
  for (const auto& [read, text, folders] : kRecords) EXPECT_EQ(read(text), folders) << text;
}

// An unfinished install, a file cut off or not JSON at all, records of
// another shape, folders that no file can have, and text past the limits.
TEST(LauncherRecords, GiveNothingButAFinishedInstallsFolder) {
  const std::string manifest = R"({"bIsIncompleteInstall": false, "InstallLocation": "D:\\K"})";
  std::string deep = R"({"installed": [{"install_path": "/games/k", "more": )";
  deep += std::string(100000, '[');
  const struct {
    Reader read;
    std::string text;
  } kFaults[] = {
      {EpicManifestFolders, R"({"bIsIncompleteInstall": true, "InstallLocation": "$InstallLocation$"})"},
      {EpicManifestFolders, R"({"bIsIncompleteInstall": true, "InstallLocation": "D:\\K"})"},
      {EpicManifestFolders, manifest.substr(0, manifest.size() - 1)},
      {EpicManifestFolders, manifest + ","},
      {EpicManifestFolders, R"({"InstallLocation": "D:\\K" // a comment
})"},
      {EpicManifestFolders, manifest + std::string(kMaxLauncherRecordBytes, ' ')},
      {EpicManifestFolders, R"(["D:\\K"])"},
      {EpicManifestFolders, R"({"InstallLocation": ["D:\\K"]})"},
      {EpicManifestFolders, R"({"InstallLocation": ""})"},
      {EpicManifestFolders, R"({"InstallLocation": "D:\\\u0000K"})"},
      {EpicManifestFolders, R"({"InstallLocation": "D:\\\tK"})"},
      {EpicManifestFolders, "{\"InstallLocation\": \"D:\\\\\xFF\"}"},
      {EpicInstalledListFolders, R"({"InstallationList": {"InstallLocation": "C:\\K"}})"},
      {LegendaryInstalledFolders, R"([{"install_path": "/home/you/Games/Kestrune"}])"},
      {HeroicGogInstalledFolders, R"({"games": [{"install_path": "/games/k"}]})"},
      {HeroicGogInstalledFolders, deep},
      {HeroicGogInstalledFolders, ""},
  };
  for (const auto& [read, text] : kFaults) EXPECT_EQ(read(text), Folders{}) << text.substr(0, 99);
}

}  // namespace
