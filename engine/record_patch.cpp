#include "record_patch.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "file_system.h"
#include "notice.h"

namespace {

constexpr std::size_t kBlockSize = 1024 * 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// White space as the C locale defines it.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Whether a decimal number that std::from_chars found out of range is too
// large (rather than too small): the power of ten of its first significant
// digit plus its exponent is then positive.
bool IsTooLarge(std::string_view number) {
  std::size_t i = 0;
  long long magnitude = 0;
  while (i < number.size() && number[i] == '0') ++i;
  while (i < number.size() && IsDigit(number[i])) ++i, ++magnitude;
  if (i < number.size() && number[i] == '.') {
    ++i;
    if (magnitude == 0) {
      while (i < number.size() && number[i] == '0') ++i, --magnitude;
    }
    while (i < number.size() && IsDigit(number[i])) ++i;
  }
  long long exponent = 0;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
    for (; i < number.size() && IsDigit(number[i]); ++i) {
      exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000000LL);
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0;
}

// The longest leading decimal number of `text`, read as strtod reads it in
// the C locale: white space, sign, digits, point, fraction, exponent. No
// hexadecimal, "inf" or "nan". No number gives 0.0; a number too large for a
// double gives the largest finite double of its sign, one too small gives
// zero of its sign.
double LeadingDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::string_view rest = text.substr(i);
  const bool startsNumber =
      !rest.empty() && (IsDigit(rest[0]) ||
                        (rest[0] == '.' && rest.size() > 1 && IsDigit(rest[1])));
  if (!startsNumber) return 0.0;

  double value = 0.0;
  const auto [end, error] = std::from_chars(
      rest.data(), rest.data() + rest.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    value = IsTooLarge(std::string_view(rest.data(), end - rest.data())) ? DBL_MAX
                                                                       : 0.0;
  } else if (error != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

// Collects output bytes and writes them in blocks; remembers a failed write.
class BlockWriter {
 public:
  explicit BlockWriter(std::FILE* out)
      : out_(out),
        buffer_(std::make_unique_for_overwrite<char[]>(kBlockSize)) {}

  void Append(const char* bytes, std::size_t count) {
    while (count > 0) {
      if (used_ == kBlockSize) Flush();
      const std::size_t part = std::min(count, kBlockSize - used_);
      std::memcpy(buffer_.get() + used_, bytes, part);
      used_ += part;
      bytes += part;
      count -= part;
    }
  }
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  bool Flush() {
    if (used_ > 0 && !failed_) {
      failed_ = std::fwrite(buffer_.get(), 1, used_, out_) != used_;
    }
    used_ = 0;
    return !failed_;
  }
  bool failed() const { return failed_; }

 private:
  std::FILE* out_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

// Bytes other than field text: CR ends a record, LF and NUL are dropped.
bool IsRecordByte(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// The scans below look at 64 bytes a step where SSE2 is there (every x86-64
// build), and one byte a step elsewhere; both give the same answers.
#if defined(__SSE2__)
constexpr std::size_t kStep = 64;
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

__m128i Load(const char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Whether the step at `bytes` may hold a record byte: whether any of its
// bytes is 13 ('\r') or less. Other low bytes cost only an exact look.
bool MayHoldRecordByte(const char* bytes) {
  __m128i low = Load(bytes);
  for (std::size_t part = 16; part < kStep; part += 16) {
    low = _mm_min_epu8(low, Load(bytes + part));
  }
  const __m128i atMost13 =
      _mm_cmpeq_epi8(_mm_min_epu8(low, _mm_set1_epi8('\r')), low);
  return _mm_movemask_epi8(atMost13) != 0;
}

// The number of commas in the step at `bytes`, summed in the vector lanes.
int CountCommas(const char* bytes) {
  const __m128i comma = _mm_set1_epi8(',');
  __m128i minusCounts = _mm_setzero_si128();  // -1 in a lane for each comma
  for (std::size_t part = 0; part < kStep; part += 16) {
    minusCounts =
        _mm_add_epi8(minusCounts, _mm_cmpeq_epi8(Load(bytes + part), comma));
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i sums = _mm_sad_epu8(_mm_sub_epi8(zero, minusCounts), zero);
  return _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
}

// Bit i set where bytes[i] is a record byte, and in `commas` where it is ','.
unsigned RecordByteMask(const char* bytes, unsigned& commas) {
  const __m128i chunk = Load(bytes);
  const __m128i records = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r')),
                   _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'))),
      _mm_cmpeq_epi8(chunk, _mm_setzero_si128()));
  commas = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(','))));
  return static_cast<unsigned>(_mm_movemask_epi8(records));
}

// The number of set bits in a 16-bit mask. Not std::popcount: without the
// POPCNT instruction (not in baseline x86-64) that is a library call, which
// costs more than a whole scan step.
int CountBits16(unsigned bits) {
  bits = bits - ((bits >> 1) & 0x5555);
  bits = (bits & 0x3333) + ((bits >> 2) & 0x3333);
  bits = (bits + (bits >> 4)) & 0x0F0F;
  return static_cast<int>((bits + (bits >> 8)) & 0x1F);
}

// FindCommaOrRecordByte within one step, 16 exact bytes at a time; kNotFound
// when the step holds neither, with its commas added to `commas`.
std::size_t FindInStep(const char* bytes, int wanted, int& commas) {
  for (std::size_t part = 0; part < kStep; part += 16) {
    unsigned commaBits;
    const unsigned records = RecordByteMask(bytes + part, commaBits);
    if (records != 0) commaBits &= (records & (0u - records)) - 1;  // before it
    const int count = CountBits16(commaBits);
    if (commas + count >= wanted) {
      for (int skip = wanted - commas - 1; skip > 0; --skip) {
        commaBits &= commaBits - 1;
      }
      commas = wanted - 1;
      return part + std::countr_zero(commaBits);
    }
    commas += count;
    if (records != 0) return part + std::countr_zero(records);
  }
  return kNotFound;
}
#endif

// The offset of the first record byte in [bytes, bytes + size), or size.
std::size_t FindRecordByte(const char* bytes, std::size_t size) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + kStep <= size; i += kStep) {
    if (!MayHoldRecordByte(bytes + i)) continue;
    for (std::size_t part = i; part < i + kStep; part += 16) {
      unsigned commas;
      const unsigned records = RecordByteMask(bytes + part, commas);
      if (records != 0) return part + std::countr_zero(records);
    }
  }
#endif
  while (i < size && !IsRecordByte(bytes[i])) ++i;
  return i;
}

// The offset of the `wanted`-th comma (wanted >= 1) or of the first record
// byte in [bytes, bytes + size), whichever comes first, or size; `commas` is
// set to the number of commas before that offset.
std::size_t FindCommaOrRecordByte(const char* bytes, std::size_t size,
                                  int wanted, int& commas) {
  commas = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + kStep <= size; i += kStep) {
    if (!MayHoldRecordByte(bytes + i)) {
      const int count = CountCommas(bytes + i);
      if (commas + count < wanted) {
        commas += count;
        continue;
      }
    }
    const std::size_t found = FindInStep(bytes + i, wanted, commas);
    if (found != kNotFound) return i + found;
  }
#endif
  for (; i < size; ++i) {
    if (IsRecordByte(bytes[i])) return i;
    if (bytes[i] == ',' && ++commas == wanted) {
      --commas;
      return i;
    }
  }
  return size;
}

}  // namespace

StreamResult WalkRecords(std::FILE* in, bool collectBrakeFields, RecordSink& sink) {
  const auto block = std::make_unique_for_overwrite<char[]>(kBlockSize);
  std::string brakeField;  // the text so far of a brake field
  brakeField.reserve(kFieldCapacity);
  bool overlong = false;  // the brake field is passed on as other bytes
  // Commas since the record began, counted only while it matters: up to the
  // brake field, when brake fields are collected at all.
  int column = 0;
  std::uint64_t blockOffset = 0;  // of the block's first byte in the input
  const auto collecting = [&] {
    return collectBrakeFields && column == kBrakeFieldColumn;
  };
  const auto endBrakeField = [&](char terminator) {
    if (!overlong) sink.BrakeField(brakeField, terminator);
    brakeField.clear();
    overlong = false;
    ++column;
  };
  const auto endRecord = [&](std::uint64_t next) {
    if (collecting()) endBrakeField('\r');
    sink.EndRecord(next);
    column = 0;
  };

  for (;;) {
    const std::size_t count = std::fread(block.get(), 1, kBlockSize, in);
    const char* const bytes = block.get();
    std::size_t i = 0;
    while (i < count) {
      if (collecting()) {
        // The brake field's text, up to a byte that ends it or is dropped.
        std::size_t end = i;
        while (end < count && bytes[end] != ',' && !IsRecordByte(bytes[end])) ++end;
        const std::size_t length = end - i;
        if (overlong) {
          sink.Append(bytes + i, length);
        } else if (brakeField.size() + length < kFieldCapacity) {
          brakeField.append(bytes + i, length);
        } else {
          const std::size_t fits = kFieldCapacity - 1 - brakeField.size();
          brakeField.append(bytes + i, fits);
          if (!sink.PassOverlongBrakeField()) return StreamResult::kBrakeFieldTooLong;
          overlong = true;
          sink.Append(brakeField.data(), brakeField.size());
          sink.Append(bytes + i + fits, length - fits);
        }
        i = end;
        if (i == count) break;
        if (bytes[i] == ',') {
          endBrakeField(',');  // the comma goes out with the text after it
        } else if (bytes[i++] == '\r') {
          endRecord(blockOffset + i);
        }
        continue;
      }
      // Copy text up to the next byte that matters: the comma before the
      // brake field, with it, while it is still ahead, else the next record
      // byte.
      std::size_t end;
      bool brakeAhead = false;
      if (collectBrakeFields && column < kBrakeFieldColumn) {
        int commas = 0;
        end = i + FindCommaOrRecordByte(bytes + i, count - i,
                                        kBrakeFieldColumn - column, commas);
        column += commas;
        if (end < count && bytes[end] == ',') {
          ++end;
          ++column;
          brakeAhead = true;
        }
      } else {
        end = i + FindRecordByte(bytes + i, count - i);
      }
      if (end > i) sink.Append(bytes + i, end - i);
      i = end;
      if (i == count || brakeAhead) continue;
      if (bytes[i++] == '\r') endRecord(blockOffset + i);
    }
    blockOffset += count;
    if (count < kBlockSize) {
      if (std::ferror(in)) return StreamResult::kReadError;
      break;
    }
    if (sink.failed()) return StreamResult::kWriteError;
  }
  // The end of the input closes the last record and adds one empty record.
  endRecord(blockOffset);
  endRecord(blockOffset);
  return StreamResult::kDone;
}

// The largest double has 309 digits, so the text always fits.
std::string_view PatchedBrakeText(double value, int level,
                                  char (&text)[kFieldCapacity]) {
  const auto result = std::to_chars(text, text + sizeof text, value * (level * 0.25),
                                    std::chars_format::fixed, 3);
  return {text, static_cast<std::size_t>(result.ptr - text)};
}

void RewriteBrakeField(std::string& field, int column, int level) {
  if (column != kBrakeFieldColumn || level < 0 || level >= kUntouchedLevel) {
    return;
  }
  char text[kFieldCapacity];
  field.assign(PatchedBrakeText(LeadingDecimal(field), level, text));
}

double PatchedBrakeValue(double value, int level) {
  // The number comes without the text where the rounding to thousandths is
  // plain: the whole thousandths divided by 1000 is what reading the text
  // gives, both being correctly rounded. The product's side of the halfway
  // point is taken exactly, its rounding error added back (Dekker's product,
  // exact as 1000 has few bits), so only a product exactly halfway, which
  // the text rounds to even, needs the text. (Plain arithmetic, with no
  // fused multiply-add, which the build does not use: the toolchain's
  // rounding functions would be one more library part in the program.)
  const double product = value * (level * 0.25);
  const double thousandths = product * 1000.0;
  if (std::fabs(thousandths) < 1e15) {
    const double split = product * 134217729.0;  // 2^27 + 1
    const double high = split - (split - product);
    const double error = (high * 1000.0 - thousandths) + (product - high) * 1000.0;
    const auto whole = static_cast<long long>(thousandths);  // toward zero
    const double fraction = thousandths - static_cast<double>(whole);
    // Past the halfway point away from zero (> 0), or short of it (< 0).
    const double pastHalf =
        thousandths >= 0 ? (fraction - 0.5) + error : -((fraction + 0.5) + error);
    if (pastHalf != 0) {
      const long long nearest = whole + (pastHalf > 0 ? (thousandths >= 0 ? 1 : -1) : 0);
      return static_cast<double>(nearest) / 1000.0;
    }
  }
  char text[kFieldCapacity];
  return LeadingDecimal(PatchedBrakeText(value, level, text));
}

double BrakeFieldValue(std::string_view field) { return LeadingDecimal(field); }

StreamResult PatchRecordStream(std::FILE* in, std::FILE* out, int level) {
  // Writes the records, each brake field rewritten, in blocks.
  class PatchSink : public RecordSink {
   public:
    PatchSink(std::FILE* out, int level) : output_(out), level_(level) {}
    void Append(const char* bytes, std::size_t count) override {
      output_.Append(bytes, count);
    }
    void BrakeField(std::string& field, char) override {
      RewriteBrakeField(field, kBrakeFieldColumn, level_);
      output_.Append(field);
    }
    bool PassOverlongBrakeField() override { return false; }
    void EndRecord(std::uint64_t) override { output_.Append("\r\n", 2); }
    bool failed() const override { return output_.failed(); }
    bool Flush() { return output_.Flush(); }

   private:
    BlockWriter output_;
    int level_;
  } sink(out, level);
  const bool rewrites = level >= 0 && level < kUntouchedLevel;
  const StreamResult result = WalkRecords(in, rewrites, sink);
  if (result != StreamResult::kDone) return result;
  return sink.Flush() ? StreamResult::kDone : StreamResult::kWriteError;
}

bool PatchCarFile(int level, const std::string& backupPath,
                  const std::string& dataPath) {
  const FilePtr backup(OpenForReading(backupPath));
  if (!backup) {
    ShowNotice("Failed to open backup file '" + backupPath +
               "' when trying to patch data");
    return false;
  }
  const std::string cannotModify =
      "Failed to open file for modifying '" + dataPath +
      "' when trying to patch data. Ensure the file is not read-only";
  if (PathExists(dataPath) && !CanModify(dataPath)) {
    ShowNotice(cannotModify);
    return false;
  }
  ReplacementFile data(dataPath);
  if (data.stream() == nullptr) {
    ShowNotice(cannotModify);
    return false;
  }
  const std::string writeFailed =
      "Failed to write file '" + dataPath + "' when trying to patch data";
  switch (PatchRecordStream(backup.get(), data.stream(), level)) {
    case StreamResult::kDone:
      break;
    case StreamResult::kReadError:
      ShowNotice("Failed to read backup file '" + backupPath +
                 "' when trying to patch data");
      return false;
    case StreamResult::kWriteError:
      ShowNotice(writeFailed);
      return false;
    case StreamResult::kBrakeFieldTooLong:
      ShowNotice("Failed to patch file '" + dataPath + "': a brake value in '" +
                 backupPath + "' is longer than 1023 characters");
      return false;
  }
  switch (data.Commit()) {
    case CommitResult::kCommitted:
      return true;
    case CommitResult::kWriteFailed:
      ShowNotice(writeFailed);
      return false;
    case CommitResult::kReplaceFailed:
    case CommitResult::kTargetExists:
      ShowNotice(cannotModify);
      return false;
  }
  return false;
}
