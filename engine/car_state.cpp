#include "car_state.h"

#include <algorithm>
#include <cstring>
#include <memory>

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

// Reads a file record by record as the patch does (fields end at ',' or CR,
// records at CR; LF and NUL bytes are dropped) and keeps each record's brake
// field.
class BrakeFieldReader {
 public:
  explicit BrakeFieldReader(std::FILE* file)
      : file_(file), block_(std::make_unique_for_overwrite<char[]>(kBlockSize)) {
    std::rewind(file_);
  }

  // Moves to the next record; false at the end of the file or on a failure.
  bool Next() {
    field_.clear();
    int column = 0;  // commas so far, counted up to just past the brake field
    int c = Get();
    if (c == EOF) return false;
    for (; c != EOF && c != '\r'; c = Get()) {
      if (c == ',') {
        if (column <= kBrakeFieldColumn) ++column;
      } else if (c != '\n' && c != '\0' && column == kBrakeFieldColumn &&
                 field_.size() < kFieldCapacity) {
        field_.push_back(static_cast<char>(c));
      }
    }
    hasField_ = column >= kBrakeFieldColumn;
    return true;
  }

  // The brake field of the current record, if it has one that could be
  // rewritten (at most kFieldCapacity - 1 bytes).
  const std::string* field() const {
    return hasField_ && field_.size() < kFieldCapacity ? &field_ : nullptr;
  }
  bool failed() const { return std::ferror(file_) != 0; }

 private:
  int Get() {
    if (used_ == count_) {
      count_ = std::fread(block_.get(), 1, kBlockSize, file_);
      used_ = 0;
      if (count_ == 0) return EOF;
    }
    return static_cast<unsigned char>(block_[used_++]);
  }

  std::FILE* file_;
  std::unique_ptr<char[]> block_;
  std::size_t count_ = 0;
  std::size_t used_ = 0;
  std::string field_;
  bool hasField_ = false;
};

// What the brake fields say when the records of both files are taken in
// order side by side. Reading them is cheap beside patching the backup, so
// this picks the levels worth a byte-for-byte comparison.
struct BrakeFieldVerdict {
  // Bit 0: every brake field is the backup's as it is; bit level + 1: every
  // brake field is the backup's patched at that level. A data file that is
  // the backup, or the backup patched at a level, always keeps that bit.
  unsigned candidates = 0x3F;
  // Some brake field holds a value that a level other than 100% makes of the
  // backup's one, and that differs from it.
  bool tweaked = false;
  bool dataFailed = false;
  bool backupFailed = false;
};

BrakeFieldVerdict CompareBrakeFields(std::FILE* data, std::FILE* backup) {
  BrakeFieldReader dataRecords(data);
  BrakeFieldReader backupRecords(backup);
  BrakeFieldVerdict verdict;
  while (dataRecords.Next() && backupRecords.Next()) {
    const std::string* now = dataRecords.field();
    const std::string* before = backupRecords.field();
    if (now == nullptr || before == nullptr) {
      if (now != before) verdict.candidates = 0;
      continue;
    }
    unsigned levels = *now == *before ? 1u | (1u << (kUntouchedLevel + 1)) : 0u;
    for (int level = 0; level < kUntouchedLevel; ++level) {
      std::string tweaked = *before;
      RewriteBrakeField(tweaked, kBrakeFieldColumn, level);
      if (tweaked != *now) continue;
      levels |= 1u << (level + 1);
      verdict.tweaked = verdict.tweaked || *now != *before;
    }
    verdict.candidates &= levels;
  }
  verdict.dataFailed = dataRecords.failed();
  verdict.backupFailed = backupRecords.failed();
  return verdict;
}

}  // namespace

// A data file that matches neither the backup nor any of its patches has
// changed since the backup was made. It still carries the tweak when any of
// its brake fields does: a file holding even one tweaked value is never taken
// for the game's own.
CarState ReadCarState(const std::string& dataPath, const std::string& backupPath) {
  const FilePtr data(OpenForReading(dataPath));
  if (!data) return CarState::kNoDataFile;
  if (!PathExists(backupPath)) return CarState::kNoBackup;
  const FilePtr backup(OpenForReading(backupPath));
  if (!backup) return CarState::kBackupUnreadable;
  const BrakeFieldVerdict brakes = CompareBrakeFields(data.get(), backup.get());
  if (brakes.dataFailed) return CarState::kDataUnreadable;
  if (brakes.backupFailed) return CarState::kBackupUnreadable;
  for (int level = -1; level <= kUntouchedLevel; ++level) {
    if ((brakes.candidates & (1u << (level + 1))) == 0) continue;
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
  return brakes.tweaked ? CarState::kEditedAfterTweak : CarState::kUpdatedByGame;
}
