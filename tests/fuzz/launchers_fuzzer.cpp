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
    char escaped[8] = {c};
    if (c == '"' || c == '\\') {
      escaped[0] = '\\', escaped[1] = c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
    }
    quoted += escaped;
  }
  return quoted + '"';
}

// `folders` under `key` in an array `list` of objects, or without `list` in
// an object of games named in the order of `folders`.
std::string Record(const Folders& folders, const char* key, const char* list) {
  std::string text;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    char game[32];
    std::snprintf(game, sizeof game, "\"g%08zu\": ", i);
    text += std::string(i > 0 ? ", " : "") + (list ? "" : game) + "{\"x\": [1, null], \"" + key +
            "\": " + Quoted(folders[i]) + "}";
  }
  return list ? "{\"" + std::string(list) + "\": [" + text + "]}" : "{" + text + "}";
}

void Check(Folders (*read)(std::string_view), const char* key, const char* list,
           const std::string& input) {
  const Folders folders = read(input);
  for (const std::string& folder : folders) {
    if (!IsUsableListedPath(folder)) Fail(std::string(key) + ": an unusable folder", input);
  }
  const std::string rewritten = Record(folders, key, list);
  if (rewritten.size() <= kMaxLauncherRecordBytes && read(rewritten) != folders) {
    Fail(std::string(key) + ": folders read differently when written back", input);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const Folders manifest = EpicManifestFolders(input);
  if (manifest.size() > 1) Fail("a manifest with more than one folder", input);
  if (!manifest.empty() &&
      (!IsUsableListedPath(manifest[0]) ||
       EpicManifestFolders("{\"InstallLocation\": " + Quoted(manifest[0]) + "}") != manifest)) {
    Fail("a manifest's folder unusable, or read differently when written back", input);
  }
  Check(EpicInstalledListFolders, "InstallLocation", "InstallationList", input);
  Check(LegendaryInstalledFolders, "install_path", nullptr, input);
  Check(HeroicGogInstalledFolders, "install_path", "installed", input);
  return 0;
}
