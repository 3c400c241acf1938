#include "car_files.h"

#include "file_system.h"

namespace {
std::string CarFileStem(const std::string& path, const std::string& id) {
  return path + "cars\\" + id + "\\" + id;
}
}  // namespace

std::string CarDataFilePath(const std::string& path, const std::string& id) {
  return CarFileStem(path, id) + ".csv";
}

std::string CarBackupFilePath(const std::string& path, const std::string& id) {
  return CarFileStem(path, id) + "_backup.csv";
}

std::string ProbeFilePath(const std::string& path) {
  return path + "cars\\n12\\n12.csv";
}

bool FileExists(const std::string& path) {
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}
