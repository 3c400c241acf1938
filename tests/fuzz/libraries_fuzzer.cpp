// Fuzz target: SteamLibraryPaths on any text. The folders it gives must be
// usable names (no control characters, at most 256 of them), and written
// back as Steam writes a list, in either format, they must read the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "steam_libraries.h"

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

// The list as Steam writes it: since 2021 (`blocks`) or before.
std::string ListOf(const std::vector<std::string>& paths, bool blocks) {
  std::string list = "\"libraryfolders\"\n{\n\t\"contentstatsid\"\t\t\"1\"\n";
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string key = "\t" + Quoted(std::to_string(i));
    list += blocks ? key + "\n\t{\n\t\t\"path\"\t\t" + Quoted(paths[i]) +
                         "\n\t\t\"apps\"\n\t\t{\n\t\t}\n\t}\n"
                   : key + "\t\t" + Quoted(paths[i]) + "\n";
  }
  return list + "}\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> paths = SteamLibraryPaths(input);
  if (paths.size() > 256) Fail("more than 256 folders", input);
  for (const std::string& path : paths) {
    for (const char c : path) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        Fail("a folder with a control character", input);
      }
    }
  }
  for (const bool blocks : {true, false}) {
    const std::string list = ListOf(paths, blocks);
    if (list.size() <= kMaxLibraryListBytes && SteamLibraryPaths(list) != paths) {
      Fail(blocks ? "folders read differently from a list of blocks"
                  : "folders read differently from an older list",
           input);
    }
  }
  return 0;
}
