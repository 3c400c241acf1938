#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reference_patch.h"

namespace fs = std::filesystem;

// The notice of a run turned away because another run has the game folder.
std::string BusyNotice(const std::string& path);

// Every text the engine has shown since the last ClearNotices(), in order.
const std::vector<std::string>& Notices();
void ClearNotices();

// A new empty folder, removed with all it holds when the object goes.
class TempFolder {
 public:
  // `inMemory`: where the system has a folder in memory (Linux's /dev/shm,
  // also under Wine), there, for tests that write many files and need not
  // wait for the disk.
  explicit TempFolder(bool inMemory = false);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  // The folder as a player types it: backslashes, ending in one.
  std::string DataPath() const;

 private:
  fs::path path_;
};

std::string ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::string& bytes);
// The names of everything in `folder`, sorted.
std::vector<std::string> FolderListing(const fs::path& folder);

// Plausible car data: `records` CR LF records of 300 fields, numbers and
// words mixed, with `brake` as field 278 of every record after the header.
std::string MakeCarData(int seed, int records, const std::string& brake);

fs::path CarDataFile(const fs::path& root, const std::string& id);
fs::path CarBackupFile(const fs::path& root, const std::string& id);
// The n-th name under which an out-of-date backup is kept.
fs::path CarKeptBackupFile(const fs::path& root, const std::string& id, int n = 1);

// Writes the data files of `ids` (all 47 when empty) under root/cars and
// returns each car's contents.
std::map<std::string, std::string> MakeGameFolder(
    const fs::path& root, std::vector<std::string> ids = {});

// Makes a folder that nobody may write to, not even root: the file system's
// immutable flag (Linux ext2/3/4 and others; under Wine through chattr). It
// is cleared again when the object goes.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const fs::path& folder);
  ~UnwritableFolder();
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;
  // False where this system offers no such flag; the folder is then as it was.
  bool locked() const { return locked_; }

 private:
  fs::path folder_;
  bool locked_ = false;
};

// Runs PatchRecordStream from a file holding `input` into a new file and
// returns what it wrote.
std::string PatchBytes(const std::string& input, int level);

// Clears the notices before each test.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearNotices(); }
};
