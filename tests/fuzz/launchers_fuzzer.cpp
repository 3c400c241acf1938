// Fuzz target: the readers of the launchers' records (launcher_records.h) on
// any text. The folders they give must be usable names, and written back as
// each launcher writes its record, they must read the same.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "launcher_records.h"
#include "steam_libraries.h"

namespace {

using Folders = std::vector<std::string>;

// A JSON string holding `text`, control characters escaped.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

// The folders as an array of objects, each naming its folder under `key`
// beside another member.
std::string Array(const Folders& folders, const char* key) {
  std::string array = "[";
  for (const std::string& folder : folders) {
    array += (array.size() > 1 ? ", {" : "{") + std::string("\"x\": [1, null], \"") + key +
             "\": " + Quoted(folder) + "}";
  }
  return array + "]";
}

std::string Legendary(const Folders& folders) {
  std::string list = "{";
  for (std::size_t i = 0; i < folders.size(); ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "g%06zu", i);
    list += (i > 0 ? ", \"" : "\"") + std::string(name) +
            "\": {\"install_path\": " + Quoted(folders[i]) + ", \"is_dlc\": false}";
  }
  return list + "}";
}

void Check(const Folders& folders, const std::string& rewritten, Folders (*read)(std::string_view),
           const char* what, const std::string& input) {
  for (const std::string& folder : folders) {
    if (!IsUsableListedPath(folder)) Fail(std::string(what) + ": an unusable folder", input);
  }
  if (rewritten.size() <= kMaxLauncherRecordBytes && read(rewritten) != folders) {
    Fail(std::string(what) + ": folders read differently when written back", input);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const Folders manifest = EpicManifestFolders(input);
  if (manifest.size() > 1) Fail("a manifest with more than one folder", input);
  Check(manifest,
        manifest.empty() ? "{}" : "{\"bIsIncompleteInstall\": false, \"InstallLocation\": " +
                                      Quoted(manifest[0]) + "}",
        EpicManifestFolders, "Epic manifest", input);
  const Folders epicList = EpicInstalledListFolders(input);
  Check(epicList, "{\"InstallationList\": " + Array(epicList, "InstallLocation") + "}",
        EpicInstalledListFolders, "Epic's list", input);
  const Folders legendary = LegendaryInstalledFolders(input);
  Check(legendary, Legendary(legendary), LegendaryInstalledFolders, "legendary's list", input);
  const Folders gog = HeroicGogInstalledFolders(input);
  Check(gog, "{\"installed\": " + Array(gog, "install_path") + "}", HeroicGogInstalledFolders,
        "Heroic's GOG list", input);
  return 0;
}
