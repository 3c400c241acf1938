#include "launcher_records.h"

#include <nlohmann/json.hpp>

#include "steam_libraries.h"

namespace {

using Json = nlohmann::json;

// A record's values lie within at most three containers.
constexpr int kDeepestKept = 3;

// The text as JSON, with what lies deeper than any record's values left out
// as it is read, so that deep nesting costs a few bytes a level; null where
// the text is not JSON or too long. Nothing is thrown but std::bad_alloc.
Json Parsed(std::string_view text) {
  if (text.size() > kMaxLauncherRecordBytes) return nullptr;
  const Json::parser_callback_t shallow = [](int depth, Json::parse_event_t, Json&) {
    return depth <= kDeepestKept;
  };
  Json parsed = Json::parse(text.begin(), text.end(), shallow, /*allow_exceptions=*/false);
  return parsed.is_discarded() ? nullptr : parsed;
}

// The text of `object`'s member `key`, or nullptr where it has none.
const std::string* TextOf(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto member = object.find(key);
  return member != object.end() && member->is_string() ? member->get_ptr<const std::string*>()
                                                        : nullptr;
}

void AddFolder(const Json& object, const char* key, std::vector<std::string>& folders) {
  const std::string* folder = TextOf(object, key);
  if (folder != nullptr && IsUsableListedPath(*folder)) folders.push_back(*folder);
}

// The `key` folder of each object in the array `list` of the top-level object.
std::vector<std::string> FoldersInList(std::string_view text, const char* list, const char* key) {
  std::vector<std::string> folders;
  const Json parsed = Parsed(text);
  if (!parsed.is_object()) return folders;
  const auto entries = parsed.find(list);
  if (entries == parsed.end() || !entries->is_array()) return folders;
  for (const Json& entry : *entries) AddFolder(entry, key, folders);
  return folders;
}

}  // namespace

std::vector<std::string> EpicManifestFolders(std::string_view text) {
  std::vector<std::string> folders;
  const Json parsed = Parsed(text);
  if (!parsed.is_object()) return folders;
  const auto incomplete = parsed.find("bIsIncompleteInstall");
  if (incomplete != parsed.end() && incomplete->is_boolean() && incomplete->get<bool>()) {
    return folders;
  }
  AddFolder(parsed, "InstallLocation", folders);
  return folders;
}

std::vector<std::string> EpicInstalledListFolders(std::string_view text) {
  return FoldersInList(text, "InstallationList", "InstallLocation");
}

std::vector<std::string> LegendaryInstalledFolders(std::string_view text) {
  std::vector<std::string> folders;
  const Json parsed = Parsed(text);
  if (!parsed.is_object()) return folders;
  for (const Json& game : parsed) AddFolder(game, "install_path", folders);
  return folders;
}

std::vector<std::string> HeroicGogInstalledFolders(std::string_view text) {
  return FoldersInList(text, "installed", "install_path");
}
