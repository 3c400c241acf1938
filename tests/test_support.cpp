#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "car_files.h"
#include "notice.h"
#include "record_patch.h"

namespace {
std::vector<std::string> shownNotices;
}  // namespace

void ShowNotice(const std::string& text) { shownNotices.push_back(text); }

const std::vector<std::string>& Notices() { return shownNotices; }
void ClearNotices() { shownNotices.clear(); }

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("kestrune-test-" + std::to_string(stamp) + "-" +
           std::to_string(counter++));
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Undo what tests do to make files unwritable, so that removal works.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                    ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string TempFolder::DataPath() const {
  std::string text = path_.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text + "\\";
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

std::vector<std::string> FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string MakeCarData(int seed, int records, const std::string& brake) {
  std::mt19937 random(static_cast<unsigned>(seed));
  std::string data;
  for (int record = 0; record < records; ++record) {
    for (int field = 0; field < 300; ++field) {
      if (field > 0) data += ',';
      if (record == 0) {
        data += "col" + std::to_string(field);
      } else if (field == kBrakeFieldColumn) {
        data += brake;
      } else if (field % 7 == 0) {
        data += "part_" + std::to_string(random() % 1000);
      } else {
        data += std::to_string(static_cast<int>(random() % 20000) - 5000) + "." +
                std::to_string(random() % 1000);
      }
    }
    data += "\r\n";
  }
  return data;
}

fs::path CarDataFile(const fs::path& root, const std::string& id) {
  return root / "cars" / id / (id + ".csv");
}

fs::path CarBackupFile(const fs::path& root, const std::string& id) {
  return root / "cars" / id / (id + "_backup.csv");
}

std::map<std::string, std::string> MakeGameFolder(const fs::path& root,
                                                  std::vector<std::string> ids) {
  if (ids.empty()) ids.assign(kCarIds.begin(), kCarIds.end());
  std::map<std::string, std::string> contents;
  int seed = 0;
  for (const auto& id : ids) {
    ++seed;
    const std::string brake = std::to_string(seed) + "." + std::to_string(seed % 8) + "5";
    contents[id] = MakeCarData(seed, 2 + seed % 4, brake);
    WriteBytes(CarDataFile(root, id), contents[id]);
  }
  return contents;
}

std::string PatchBytes(const std::string& input, int level) {
  TempFolder folder;
  const fs::path source = folder.path() / "in.csv";
  const fs::path target = folder.path() / "out.csv";
  WriteBytes(source, input);
  std::FILE* in = std::fopen(source.string().c_str(), "rb");
  std::FILE* out = std::fopen(target.string().c_str(), "wb");
  EXPECT_NE(in, nullptr);
  EXPECT_NE(out, nullptr);
  if (in == nullptr || out == nullptr) return {};
  EXPECT_EQ(PatchRecordStream(in, out, level), StreamResult::kDone);
  std::fclose(in);
  std::fclose(out);
  return ReadBytes(target);
}
