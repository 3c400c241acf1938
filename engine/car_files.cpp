#include "car_files.h"

#include "file_system.h"

namespace {
std::string CarFileStem(const std::string& path, const std::string& id) {
  return path + "cars\\" + id + "\\" + id;
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

bool FileExists(const std::string& path) { return OpenForReading(path) != nullptr; }
