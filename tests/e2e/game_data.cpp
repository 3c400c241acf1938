#include "game_data.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "car_files.h"  // kCarIds, the cars the game has
#include "utf16_win32.h"

namespace {

constexpr int kBrakeColumn = 278;
constexpr int kFields = 300;
constexpr int kRecords = 3;

std::vector<std::string> Split(const std::string& text, const std::string& by) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(by, start)) != std::string::npos;
       start = end + by.size()) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string Join(const std::vector<std::string>& parts, const std::string& by) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? by : "") + parts[i];
  return text;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// One record of plausible handling data: a setup name, then numbers.
std::string Record(int car, int record) {
  static const char* const kSetups[] = {"road", "track", "rally"};
  std::vector<std::string> fields(kFields);
  fields[0] = kSetups[record % 3];
  for (int column = 1; column < kFields; ++column) {
    const int n = (column * 37 + car * 11 + record * 7) % 1000;
    fields[column] = column % 4 == 0 ? std::to_string(n * 5)
                                     : Format("%.2f", n / 100.0);
  }
  fields[kBrakeColumn] = Format("%.1f", 1.0 + 0.5 * ((car + record * 3) % 20));
  return Join(fields, ",");
}

// Game folders may be longer than MAX_PATH: files are reached in the form
// that the program itself uses.
std::wstring SystemPath(const std::string& path) {
  return ToSystemPath(path).value_or(std::wstring());
}

}  // namespace

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = _wfopen(SystemPath(path).c_str(), L"wb");
  if (file == nullptr) throw std::runtime_error("cannot create " + path);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::string ReadBytes(const std::string& path) {
  std::FILE* file = _wfopen(SystemPath(path).c_str(), L"rb");
  if (file == nullptr) return "<missing>";
  std::string bytes;
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
    bytes.append(block, n);
  }
  std::fclose(file);
  return bytes;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string BrakeValues(const std::string& data) {
  std::string values;
  for (const std::string& record : Split(data, "\r\n")) {
    const std::vector<std::string> fields = Split(record, ",");
    if (fields.size() <= kBrakeColumn) continue;
    values += (values.empty() ? "" : " ") + fields[kBrakeColumn];
  }
  return values;
}

std::map<std::string, std::string> MakeGameFolder(const std::string& folder) {
  for (std::size_t end = folder.find('\\', 3);; end = folder.find('\\', end + 1)) {
    CreateDirectoryW(SystemPath(folder.substr(0, end)).c_str(), nullptr);
    if (end == std::string::npos) break;
  }
  CreateDirectoryW(SystemPath(folder + "\\cars").c_str(), nullptr);
  std::map<std::string, std::string> cars;
  int car = 0;
  for (const char* id : kCarIds) {
    const std::string carFolder = folder + "\\cars\\" + id;
    CreateDirectoryW(SystemPath(carFolder).c_str(), nullptr);
    std::string data;
    for (int record = 0; record < kRecords; ++record) {
      data += Record(car, record) + "\r\n";
    }
    WriteBytes(carFolder + "\\" + id + ".csv", data);
    cars[id] = data;
    ++car;
  }
  return cars;
}

std::string Patched(const std::string& original, int level) {
  std::vector<std::string> records = Split(original, "\r\n");
  records.pop_back();  // the text after the last CR LF: nothing
  if (level != 4) {
    for (std::string& record : records) {
      std::vector<std::string> fields = Split(record, ",");
      if (fields.size() <= kBrakeColumn) continue;
      const double value = std::strtod(fields[kBrakeColumn].c_str(), nullptr);
      fields[kBrakeColumn] = Format("%.3f", value * level * 0.25);
      record = Join(fields, ",");
    }
  }
  return Join(records, "\r\n") + "\r\n" + "\r\n" + "\r\n";
}

std::string GameUpdate(const std::string& original) {
  std::vector<std::string> records = Split(original, "\r\n");
  for (std::string& record : records) {
    std::vector<std::string> fields = Split(record, ",");
    if (fields.size() <= kBrakeColumn) continue;
    fields[kBrakeColumn] = Format("%.1f", std::strtod(fields[kBrakeColumn].c_str(), nullptr) + 0.3);
    record = Join(fields, ",");
  }
  return Join(records, "\r\n");
}
