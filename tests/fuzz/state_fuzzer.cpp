// Fuzz target: ReadCarState on a data file and a backup of any bytes. The
// first input byte picks a level (0 to 4), the next two the length of the
// data file (little-endian), whose bytes follow; the rest is the backup. A
// file is as backed up beside itself and tweaked beside its own patch at
// any level; any other pair is read without failing, and is never taken as
// the game's where its brake values as plain lists clearly carry a tweak.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "brake_evidence.h"
#include "car_state.h"
#include "file_system.h"
#include "fuzz_support.h"
#include "record_patch.h"

namespace {

namespace fs = std::filesystem;

// A file of this process's own folder, holding `bytes`.
std::string FileWith(const char* name, const std::string& bytes) {
  static const fs::path folder = [] {
    fs::path made = fs::temp_directory_path() /
                    ("kestrune-state-fuzz-" +
                     std::to_string(reinterpret_cast<std::uintptr_t>(&made)));
    fs::create_directories(made);
    return made;
  }();
  const fs::path file = folder / name;
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  return file.string();
}

// The verdict on the brake values of the two files as plain sorted lists.
Verdict ListVerdict(const std::string& nowPath, const std::string& beforePath) {
  class Values : public RecordSink {
   public:
    void Append(const char*, std::size_t) override {}
    void BrakeField(std::string& field, char) override {
      values.push_back({0, BrakeFieldValue(field)});
    }
    bool PassOverlongBrakeField() override { return true; }  // no value
    void EndRecord(std::uint64_t) override {}
    bool failed() const override { return false; }
    std::vector<KeyedBrake> values;
  } now, before;
  for (auto [path, sink] : {std::pair{&nowPath, &now}, {&beforePath, &before}}) {
    const FilePtr file(std::fopen(path->c_str(), "rb"));
    WalkRecords(file.get(), true, *sink);
    std::sort(sink->values.begin(), sink->values.end(), kByValue);
  }
  BrakeEvidence evidence;
  evidence.AddValues(now.values, before.values);
  return Judge(evidence);
}

const char* Name(CarState state) {
  switch (state) {
    case CarState::kNoDataFile: return "no data file";
    case CarState::kDataNotAFile: return "data not a file";
    case CarState::kNoBackup: return "no backup";
    case CarState::kBackupUnreadable: return "backup unreadable";
    case CarState::kDataUnreadable: return "data unreadable";
    case CarState::kAsBackedUp: return "as backed up";
    case CarState::kTweaked: return "tweaked";
    case CarState::kUpdatedByGame: return "updated by the game";
    case CarState::kEditedAfterTweak: return "edited after a tweak";
  }
  return "?";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int level = data[0] % 5;
  const std::string input(reinterpret_cast<const char*>(data) + 3, size - 3);
  const std::size_t split = std::min<std::size_t>(data[1] | data[2] << 8, input.size());
  const std::string now = input.substr(0, split), before = input.substr(split);
  const std::string at = " at level " + std::to_string(level);

  const std::string backup = FileWith("backup.csv", before);
  const std::string copy = FileWith("copy.csv", before);
  if (const CarState state = ReadCarState(copy, backup); state != CarState::kAsBackedUp) {
    Fail(std::string("a copy of the backup read as ") + Name(state), input);
  }
  std::string patched;
  if (PatchInMemory(before, level, patched) == StreamResult::kDone) {
    const CarState state = ReadCarState(FileWith("patched.csv", patched), backup);
    const CarState expected =
        patched == before ? CarState::kAsBackedUp : CarState::kTweaked;
    if (state != expected) {
      Fail(std::string("the backup's patch read as ") + Name(state) + at, input);
    }
  }
  const std::string dataFile = FileWith("data.csv", now);
  const CarState state = ReadCarState(dataFile, backup);
  const bool changed = state == CarState::kUpdatedByGame ||
                       state == CarState::kEditedAfterTweak || state == CarState::kTweaked;
  if (now == before ? state != CarState::kAsBackedUp : !changed) {
    Fail(std::string("a data file read as ") + Name(state), input);
  }
  if (state == CarState::kUpdatedByGame && ListVerdict(dataFile, backup) == Verdict::kTweak) {
    Fail("a data file whose plain lists carry a tweak read as the game's", input);
  }
  if (HaveSameBytes(dataFile, backup) != (now == before)) {
    Fail("HaveSameBytes is wrong", input);
  }
  return 0;
}
