#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "car_files.h"
#include "notice.h"
#include "record_patch.h"
#include "remove_tree.h"

namespace {
std::vector<std::string> shownNotices;
}  // namespace

void ShowNotice(const std::string& text) { shownNotices.push_back(text); }

std::string BusyNotice(const std::string& path) {
  return "Another copy of the tweaker is working on the data folder '" + path +
         "'. Wait until it has finished, then try again.";
}

const std::vector<std::string>& Notices() { return shownNotices; }
void ClearNotices() { shownNotices.clear(); }

TempFolder::TempFolder(bool inMemory) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
  const fs::path memory = "Z:\\dev\\shm";
#else
  const fs::path memory = "/dev/shm";
#endif
  std::error_code error;
  path_ = (inMemory && fs::is_directory(memory, error) ? memory : fs::temp_directory_path()) /
          ("kestrune-test-" + std::to_string(stamp) + "-" +
           std::to_string(counter++));
  fs::create_directories(path_);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

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

fs::path CarKeptBackupFile(const fs::path& root, const std::string& id, int n) {
  return root / "cars" / id /
         (id + "_backup_before_update" + (n > 1 ? "_" + std::to_string(n) : "") + ".csv");
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

namespace {

#ifdef _WIN32
// The Linux name of a file under Wine; empty on Windows itself.
std::string UnixName(const fs::path& file) {
  using Converter = char* (*)(const wchar_t*);
  const auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  char* name = convert(file.wstring().c_str());
  if (name == nullptr) return {};
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Sets or clears the flag with Linux's chattr. Wine does not report when a
// Linux program ends, so the command leaves a mark beside the folder when it
// has succeeded, and this waits for the mark.
bool SetImmutable(const fs::path& folder, bool immutable) {
  const fs::path mark = folder.parent_path() / (folder.filename().string() + ".done");
  const std::string unixFolder = UnixName(folder);
  const std::string unixMark = UnixName(mark);
  if (unixFolder.empty() || unixMark.empty()) return false;
  std::string command = std::string("/bin/sh -c \"/usr/bin/chattr ") +
                        (immutable ? "+i" : "-i") + " '" + unixFolder +
                        "' && touch '" + unixMark + "'\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int wait = 0; wait < 100; ++wait) {
    std::error_code error;
    if (fs::remove(mark, error)) return true;
    Sleep(50);
  }
  return false;
}
#else
bool SetImmutable(const fs::path& folder, bool immutable) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}
#endif

}  // namespace

UnwritableFolder::UnwritableFolder(const fs::path& folder) : folder_(folder) {
  locked_ = SetImmutable(folder_, true);
}

UnwritableFolder::~UnwritableFolder() {
  if (locked_) SetImmutable(folder_, false);
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
