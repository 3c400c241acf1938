#include "car_state.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "file_system.h"
#include "record_patch.h"

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

enum class Match { kSame, kDifferent, kDataUnreadable, kBackupUnreadable };

// Compares the bytes it is given with the data file, from where it stands.
class DataFileMatcher : public ByteSink {
 public:
  explicit DataFileMatcher(std::FILE* data)
      : data_(data), block_(std::make_unique_for_overwrite<char[]>(kBlockSize)) {}

  bool Write(const char* bytes, std::size_t count) override {
    while (count > 0) {
      const std::size_t part = std::min(count, kBlockSize);
      if (std::fread(block_.get(), 1, part, data_) != part ||
          std::memcmp(block_.get(), bytes, part) != 0) {
        return false;
      }
      bytes += part;
      count -= part;
    }
    return true;
  }

  // The verdict once everything has been written, or once Write failed.
  Match Verdict(bool allWritten) const {
    if (std::ferror(data_)) return Match::kDataUnreadable;
    if (!allWritten) return Match::kDifferent;
    return std::fgetc(data_) == EOF && !std::ferror(data_) ? Match::kSame
                                                           : Match::kDifferent;
  }

 private:
  std::FILE* data_;
  std::unique_ptr<char[]> block_;
};

// Whether the data file is the backup byte for byte (level < 0), or the
// backup patched at `level`.
Match MatchBackup(std::FILE* data, std::FILE* backup, int level) {
  std::rewind(data);
  std::rewind(backup);
  DataFileMatcher matcher(data);
  if (level >= 0) {
    switch (PatchRecordStream(backup, matcher, level)) {
      case StreamResult::kDone:
        return matcher.Verdict(true);
      case StreamResult::kReadError:
        return Match::kBackupUnreadable;
      case StreamResult::kWriteError:
        return matcher.Verdict(false);
      case StreamResult::kBrakeFieldTooLong:
        return Match::kDifferent;
    }
  }
  const auto block = std::make_unique_for_overwrite<char[]>(kBlockSize);
  for (;;) {
    const std::size_t count = std::fread(block.get(), 1, kBlockSize, backup);
    if (std::ferror(backup)) return Match::kBackupUnreadable;
    if (!matcher.Write(block.get(), count)) return matcher.Verdict(false);
    if (count < kBlockSize) return matcher.Verdict(true);
  }
}

// Whether two files are known to differ in length: then neither is the
// other byte for byte.
bool LengthsDiffer(std::FILE* a, std::FILE* b) {
  if (std::fseek(a, 0, SEEK_END) != 0 || std::fseek(b, 0, SEEK_END) != 0) {
    return false;
  }
  const long lengthA = std::ftell(a);
  const long lengthB = std::ftell(b);
  return lengthA >= 0 && lengthB >= 0 && lengthA != lengthB;
}

// How many values of the sorted list `now` can be paired, each with a value
// of the sorted list `before` mapped by `map`, to which it is equal. `map`
// must keep the order of values.
template <typename Map>
std::size_t CommonValues(const std::vector<double>& before, Map map,
                         const std::vector<double>& now) {
  std::size_t common = 0;
  auto next = now.begin();
  double from = 0.0;
  double to = map(from);
  for (const double value : before) {
    if (value != from) to = map(from = value);  // equal values map once
    while (next != now.end() && *next < to) ++next;
    if (next == now.end()) break;
    if (*next == to) {
      ++common;
      ++next;
    }
  }
  return common;
}

// Whether some level from 0% to 75% explains the data file's brake values
// better than the backup's own values do. A record whose value a level leaves
// as it is (zero, an empty or non-numeric field) counts the same either way.
bool CarriesTweak(std::vector<double> before, std::vector<double> now) {
  std::sort(before.begin(), before.end());
  std::sort(now.begin(), now.end());
  const std::size_t asBackedUp =
      CommonValues(before, [](double value) { return value; }, now);
  for (int level = 0; level < kUntouchedLevel; ++level) {
    const auto patched = [level](double value) {
      return PatchedBrakeValue(value, level);
    };
    if (CommonValues(before, patched, now) > asBackedUp) return true;
  }
  return false;
}

}  // namespace

CarState ReadCarState(const std::string& dataPath, const std::string& backupPath) {
  OpenFailure failure{};
  const FilePtr data = OpenForReading(dataPath, &failure);
  if (!data) {
    switch (failure) {
      case OpenFailure::kMissing:
        return CarState::kNoDataFile;
      case OpenFailure::kNotAFile:
        return CarState::kDataNotAFile;
      case OpenFailure::kRefused:
        return CarState::kDataUnreadable;
    }
  }
  if (!PathExists(backupPath)) return CarState::kNoBackup;
  const FilePtr backup = OpenForReading(backupPath);
  if (!backup) return CarState::kBackupUnreadable;

  // A wrong level stops at the first brake field it would write otherwise.
  const int first = LengthsDiffer(data.get(), backup.get()) ? 0 : -1;
  for (int level = first; level <= kUntouchedLevel; ++level) {
    switch (MatchBackup(data.get(), backup.get(), level)) {
      case Match::kSame:
        return level < 0 ? CarState::kAsBackedUp : CarState::kTweaked;
      case Match::kDifferent:
        break;
      case Match::kDataUnreadable:
        return CarState::kDataUnreadable;
      case Match::kBackupUnreadable:
        return CarState::kBackupUnreadable;
    }
  }

  std::rewind(data.get());
  std::rewind(backup.get());
  std::vector<double> now;
  std::vector<double> before;
  if (ReadBrakeValues(data.get(), now) != StreamResult::kDone) {
    return CarState::kDataUnreadable;
  }
  if (ReadBrakeValues(backup.get(), before) != StreamResult::kDone) {
    return CarState::kBackupUnreadable;
  }
  return CarriesTweak(std::move(before), std::move(now))
             ? CarState::kEditedAfterTweak
             : CarState::kUpdatedByGame;
}
