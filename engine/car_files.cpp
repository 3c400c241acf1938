#include "car_files.h"

#include "file_system.h"

namespace {
std::string CarFileStem(const std::string& path, const std::string& id) {
  return path + "cars\\" + id + "\\" + id;
}
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
// The separator to add to `path`: '/' where it is written with forward
// slashes only (a Linux path, say), else Windows' own.
char SeparatorFor(const std::string& path) {
  return path.find('/') != std::string::npos && path.find('\\') == std::string::npos ? '/' : '\\';
}
// A probe that cannot be opened (held, say) is there all the same.
bool HoldsCars(const std::string& folder, WhenHeld held) {
  OpenFailure failure{};
  return OpenForReading(ProbeFilePath(folder), &failure, held) != nullptr ||
         failure == OpenFailure::kRefused;
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' ||
         c == '\f';
}
}  // namespace

std::string CleanDataPath(const std::string& typed) {
  std::size_t begin = 0;
  std::size_t end = typed.size();
  while (begin < end && IsBlank(typed[begin])) ++begin;
  while (end > begin && IsBlank(typed[end - 1])) --end;
  if (end - begin >= 2 && typed[begin] == '"' && typed[end - 1] == '"') {
    ++begin;
    --end;
  }
  return typed.substr(begin, end - begin);
}

std::string CarDataFilePath(const std::string& path, const std::string& id) {
  return CarFileStem(path, id) + ".csv";
}

std::string CarBackupFilePath(const std::string& path, const std::string& id) {
  return CarFileStem(path, id) + "_backup.csv";
}

std::string CarKeptBackupFilePath(const std::string& path, const std::string& id,
                                  int n) {
  std::string name = CarFileStem(path, id) + "_backup_before_update";
  if (n > 1) name += '_' + std::to_string(n);
  return name + ".csv";
}

std::string ProbeFilePath(const std::string& path) {
  return path + "cars\\n12\\n12.csv";
}

bool FileExists(const std::string& path, WhenHeld held) {
  return OpenForReading(path, nullptr, held) != nullptr;
}

std::string DataFolderFor(const std::string& item, WhenHeld held) {
  std::string folder = item;
  const char separator = SeparatorFor(item);
  if (IsFolder(folder)) {
    if (!folder.empty() && !IsSeparator(folder.back())) folder += separator;
  } else {
    if (!folder.empty() && IsSeparator(folder.back())) folder.pop_back();
    if (!FileExists(folder, held)) return "";
    folder.erase(folder.find_last_of("\\/") + 1);
  }
  if (folder.empty()) return "";
  if (HoldsCars(folder, held)) return folder;
  if (const std::string data = folder + "data" + separator; HoldsCars(data, held)) return data;
  for (std::string above = FolderAbove(folder); !above.empty(); above = FolderAbove(above)) {
    if (HoldsCars(above, held)) return above;
  }
  return "";
}

TypedDataPath ReadTypedDataPath(const std::string& typed, WhenHeld held) {
  TypedDataPath read;
  read.path = CleanDataPath(typed);
  if (read.path.empty()) return read;
  if (!IsSeparator(read.path.back())) read.path += SeparatorFor(read.path);
  read.holdsCars = HoldsCars(read.path, held);
  if (!read.holdsCars) read.leadsTo = DataFolderFor(read.path, held);
  return read;
}
