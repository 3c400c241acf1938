#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kBrakeFieldColumn = 278;  // 0-based field index
inline constexpr int kUntouchedLevel = 4;      // leaves the brake field as it is
// Longest brake field text that can be rewritten is kFieldCapacity - 1 bytes.
inline constexpr std::size_t kFieldCapacity = 1024;

enum class StreamResult {
  kDone,               // the whole input was read and written
  kReadError,          // reading the input failed
  kWriteError,         // writing the output failed
  kBrakeFieldTooLong,  // a brake field to rewrite had over kFieldCapacity - 1 bytes
};

// Rewrites one car's data file from its backup at `level` (0 to 4) and
// returns true. The data file is replaced only by a complete result; on any
// failure it stays as it was, a notice says why, and the result is false.
bool PatchCarFile(int level, const std::string& backupPath,
                  const std::string& dataPath);

// Copies records from `in` to `out`: fields end at ',' or CR, records at CR,
// which is written as CR LF; LF and NUL bytes are dropped; the end of input
// adds two record ends. The field at kBrakeFieldColumn of every record is
// rewritten by RewriteBrakeField; every other byte passes unchanged. Reads in
// blocks, keeps constant memory and stops at the first failure.
StreamResult PatchRecordStream(std::FILE* in, std::FILE* out, int level);

// When `column` is kBrakeFieldColumn and `level` is 0 to 3, replaces `field`
// by its leading decimal number times level * 0.25, written with exactly three
// decimals ("%.3f" as the C locale writes it). Any other field is left as is.
void RewriteBrakeField(std::string& field, int column, int level);

// The number that the patch writes at `level` (0 to 3) in place of a brake
// field whose leading decimal number is `value`. A larger value never gives a
// smaller number.
double PatchedBrakeValue(double value, int level);

// The text the patch writes in place of a brake field whose number is
// `value`, at `level` (0 to 3), in `text`.
std::string_view PatchedBrakeText(double value, int level,
                                  char (&text)[kFieldCapacity]);

// A brake field's number as the patch reads it: its leading decimal number,
// 0 when it has none.
double BrakeFieldValue(std::string_view field);

// What WalkRecords finds in a stream, in order.
class RecordSink {
 public:
  // Bytes other than brake fields and record ends, as the patch writes them.
  virtual void Append(const char* bytes, std::size_t count) = 0;
  // A record's brake field (at most kFieldCapacity - 1 bytes, LF and NUL
  // dropped), which the sink may change, and the byte that ends it.
  virtual void BrakeField(std::string& field, char terminator) = 0;
  // Whether a longer brake field goes on as other bytes (true) or ends the
  // walk with kBrakeFieldTooLong (false).
  virtual bool PassOverlongBrakeField() = 0;
  // The end of a record, which the patch writes as CR LF; the next record
  // begins at `nextRecordOffset` in the input.
  virtual void EndRecord(std::uint64_t nextRecordOffset) = 0;
  // True stops the walk, within a block, with kWriteError.
  virtual bool failed() const = 0;

 protected:
  ~RecordSink() = default;
};

// Reads `in` from where it stands as the patch reads it and hands what it
// finds to `sink`: fields end at ',' or CR, records at CR; LF and NUL bytes
// are dropped; the end of input closes the last record and adds an empty
// one. Without `collectBrakeFields`, brake fields go on as other bytes.
// Reads in blocks and keeps constant memory. kDone, kReadError, kWriteError
// or kBrakeFieldTooLong.
StreamResult WalkRecords(std::FILE* in, bool collectBrakeFields, RecordSink& sink);
