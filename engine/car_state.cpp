#include "car_state.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "brake_evidence.h"
#include "file_system.h"
#include "record_patch.h"

namespace {

constexpr std::size_t kBlockSize = 256 * 1024;
constexpr unsigned kAllLevels = (1u << (kUntouchedLevel + 1)) - 1;  // 0 to 4

// The data file read forward, checked against what it should hold.
class DataReader {
 public:
  explicit DataReader(std::FILE* file)
      : file_(file), block_(std::make_unique_for_overwrite<char[]>(kBlockSize)) {}

  // Whether the next `count` bytes are `bytes`, passing them; after a
  // difference, where it stands is unspecified.
  bool Consume(const char* bytes, std::size_t count) {
    while (count > 0) {
      if (start_ == end_ && !Fill(1)) return false;
      const std::size_t part = std::min(count, end_ - start_);
      if (std::memcmp(block_.get() + start_, bytes, part) != 0) return false;
      Skip(part);
      bytes += part;
      count -= part;
    }
    return true;
  }

  // The next `count` bytes (at most kFieldCapacity), fewer at the end of the
  // file; they stay to be read.
  std::string_view Peek(std::size_t count) {
    if (end_ - start_ < count) Fill(count);
    return {block_.get() + start_, std::min(count, end_ - start_)};
  }

  void Skip(std::size_t count) {
    start_ += count;
    passed_ += count;
  }

  bool AtEnd() { return start_ == end_ && !Fill(1); }
  bool failed() const { return std::ferror(file_) != 0; }
  // The bytes read and passed so far: the offset of the next one.
  std::uint64_t passed() const { return passed_; }

 private:
  // Reads on until `wanted` bytes are there to read, or the file ends.
  bool Fill(std::size_t wanted) {
    std::memmove(block_.get(), block_.get() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
    while (end_ < wanted) {
      const std::size_t count = std::fread(block_.get() + end_, 1, kBlockSize - end_, file_);
      if (count == 0) break;
      end_ += count;
    }
    return end_ >= wanted;
  }

  std::FILE* file_;
  std::unique_ptr<char[]> block_;
  std::size_t start_ = 0;  // of the bytes read but not yet passed
  std::size_t end_ = 0;
  std::uint64_t passed_ = 0;
};

// Walks the backup and checks the data file against it in one pass: whether
// it is the backup patched at any of the levels 0 to 4, all levels at once,
// and, once no level can be, whether its records still follow the backup's
// one for one, the same but for their brake fields. It stops where they no
// longer do. The records passed whole pair in order: their evidence is taken
// on the way, and where the next one begins in each file is kept, so that
// only the rest need be read again.
class RecordMatcher : public RecordSink {
 public:
  explicit RecordMatcher(std::FILE* data) : data_(data) {}

  void Append(const char* bytes, std::size_t count) override {
    if (inStep_ && !data_.Consume(bytes, count)) inStep_ = false;
  }

  void BrakeField(std::string& field, char terminator) override {
    if (!inStep_) return;
    const double before = BrakeFieldValue(field);
    if (MatchLevels(field, before, terminator)) return;
    // Any brake text, ended as the backup's is; the patch would have dropped
    // LF and NUL bytes, and rewritten no longer field.
    const std::string_view ahead = data_.Peek(kFieldCapacity);
    const std::size_t end = ahead.find_first_of(std::string_view(",\r\n\0", 4));
    if (end == std::string_view::npos || ahead[end] != terminator) {
      inStep_ = false;
      return;
    }
    const double now = BrakeFieldValue(ahead.substr(0, end));
    record_ = {true, now == before, LevelsExplaining(now, before)};
    data_.Skip(end);
  }

  // Levels 0 to 3 cannot write such a field; level 4 passes it as it is.
  bool PassOverlongBrakeField() override {
    levels_ &= 1u << kUntouchedLevel;
    return true;
  }

  void EndRecord(std::uint64_t nextRecordOffset) override {
    Append("\r\n", 2);
    if (!inStep_) return;
    if (record_.hasBrake) evidence_.Add(record_.own, record_.byLevels);
    record_ = {};
    backupResume_ = nextRecordOffset;
    dataResume_ = data_.passed();
  }

  bool failed() const override { return !inStep_; }

  // Once the walk is done: whether the data file is the patch at a level.
  bool Matched() { return inStep_ && levels_ != 0 && data_.AtEnd(); }
  // Then, the levels (bit L for level L) whose patch it is.
  unsigned levels() const { return levels_; }
  bool DataFailed() const { return data_.failed(); }
  const BrakeEvidence& evidence() const { return evidence_; }
  std::uint64_t backupResume() const { return backupResume_; }
  std::uint64_t dataResume() const { return dataResume_; }

 private:
  // Each level's text must stand in the data file here, followed by the
  // byte that ends the field (no text holds one), so the levels left all
  // have the same text. False when none is left.
  bool MatchLevels(const std::string& field, double before, char terminator) {
    char text[kFieldCapacity];
    std::string_view matched;
    unsigned levels = 0;
    for (int l = 0; l <= kUntouchedLevel; ++l) {
      if (((levels_ >> l) & 1u) == 0) continue;
      const std::string_view expected =
          l == kUntouchedLevel ? std::string_view(field) : PatchedBrakeText(before, l, text);
      const std::string_view found = data_.Peek(expected.size() + 1);
      if (found.size() == expected.size() + 1 && found.back() == terminator &&
          found.starts_with(expected)) {
        levels |= 1u << l;
        matched = found.substr(0, expected.size());
      }
    }
    levels_ = levels;
    if (levels_ == 0) return false;
    // What explains the text found: the levels whose text it is, and, for
    // the backup's own value, any level that leaves that number as it is.
    const double now = BrakeFieldValue(matched);
    const bool own = ((levels_ >> kUntouchedLevel) & 1u) != 0 || now == before;
    const unsigned byLevels = (levels_ & ~(1u << kUntouchedLevel)) |
                              (own ? LevelsExplaining(now, before) : 0u);
    record_ = {true, own, byLevels};
    data_.Skip(matched.size());
    return true;
  }

  struct Record {
    bool hasBrake = false;
    bool own = false;       // its backup value explains its brake as it is
    unsigned byLevels = 0;  // bit L: level L explains it
  };

  DataReader data_;
  bool inStep_ = true;            // the records so far follow the backup's
  unsigned levels_ = kAllLevels;  // bit L: level L may have written them
  Record record_;                 // of the record being passed
  BrakeEvidence evidence_;        // of the records passed whole
  std::uint64_t backupResume_ = 0;
  std::uint64_t dataResume_ = 0;
};

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 32);
}

// A record's brake value, and a key for its other fields: records with the
// same key pair.
struct KeyedBrake {
  std::uint64_t key;
  double value;
  bool operator<(const KeyedBrake& other) const {
    return key != other.key ? key < other.key : value < other.value;
  }
};

// Collects each record's brake value with a key for the rest of it; records
// without a brake field are left out.
class KeySink : public RecordSink {
 public:
  explicit KeySink(std::vector<KeyedBrake>& records) : records_(records) {}
  void BrakeField(std::string& field, char) override {
    value_ = BrakeFieldValue(field);
    hasBrake_ = true;
  }
  // Kept as other bytes: the record then has no brake value.
  bool PassOverlongBrakeField() override { return true; }
  void EndRecord(std::uint64_t) override {
    const std::uint64_t key = TakeKey();
    if (hasBrake_) records_.push_back({key, value_});
    hasBrake_ = false;
  }
  bool failed() const override { return false; }

 protected:
  // The key of the record that ends, which starts the next one's.
  virtual std::uint64_t TakeKey() = 0;
  ~KeySink() = default;

 private:
  std::vector<KeyedBrake>& records_;
  double value_ = 0;
  bool hasBrake_ = false;
};

// Two words mixed into one: the high and low halves of their 128-bit
// product, folded together, where the compiler has 128-bit numbers.
std::uint64_t MultiplyFold(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(product >> 64) ^ static_cast<std::uint64_t>(product);
#else
  return Mix(Mix(a, b), b);
#endif
}

// Keys records by their other bytes exactly: a fast hash of the bytes, fed
// sixteen at a time whatever the spans they come in.
class ByteKeySink final : public KeySink {
 public:
  using KeySink::KeySink;
  void Append(const char* bytes, std::size_t count) override {
    if (filled_ > 0) {
      const std::size_t part = std::min(count, sizeof chunk_ - filled_);
      std::memcpy(chunk_ + filled_, bytes, part);
      filled_ += part;
      bytes += part;
      count -= part;
      if (filled_ < sizeof chunk_) return;
      TakeChunks(chunk_, 1);
    }
    TakeChunks(bytes, count / sizeof chunk_);
    filled_ = count % sizeof chunk_;
    std::memcpy(chunk_, bytes + count - filled_, filled_);
  }

 private:
  static constexpr std::uint64_t kSeedA = 0xA0761D6478BD642Full;
  static constexpr std::uint64_t kSeedB = 0xE7037ED1A0B428DBull;  // no text's bytes

  // Chunks go to two lanes in turn, so that one's multiply need not wait for
  // the one before.
  void TakeChunks(const char* bytes, std::uint64_t count) {
    if (count > 0 && (chunks_ & 1) != 0) {
      lanes_[1] = TakeChunk(lanes_[1], bytes);
      ++chunks_;
      bytes += sizeof chunk_;
      --count;
    }
    // Locals, as the stores through `bytes` could otherwise reach the lanes.
    std::uint64_t even = lanes_[0], odd = lanes_[1];
    chunks_ += count;
    for (; count >= 2; count -= 2, bytes += 2 * sizeof chunk_) {
      even = TakeChunk(even, bytes);
      odd = TakeChunk(odd, bytes + sizeof chunk_);
    }
    if (count > 0) even = TakeChunk(even, bytes);
    lanes_ = {even, odd};
  }

  static std::uint64_t TakeChunk(std::uint64_t lane, const char* bytes) {
    std::uint64_t a, b;
    std::memcpy(&a, bytes, sizeof a);
    std::memcpy(&b, bytes + sizeof a, sizeof b);
    return MultiplyFold(lane ^ a ^ kSeedA, b ^ kSeedB);
  }

  std::uint64_t TakeKey() override {
    std::memset(chunk_ + filled_, 0, sizeof chunk_ - filled_);
    std::uint64_t a, b;
    std::memcpy(&a, chunk_, sizeof a);
    std::memcpy(&b, chunk_ + sizeof a, sizeof b);
    const std::uint64_t length = chunks_ * sizeof chunk_ + filled_;
    const std::uint64_t key = MultiplyFold(
        MultiplyFold(lanes_[0] ^ a ^ kSeedA, lanes_[1] ^ b ^ kSeedB), length ^ kSeedA);
    lanes_ = {};
    chunks_ = 0;
    filled_ = 0;
    return key;
  }

  std::array<std::uint64_t, 2> lanes_{};
  std::uint64_t chunks_ = 0;  // whole chunks taken
  char chunk_[16];            // the bytes of the next one so far
  std::size_t filled_ = 0;
};

// Keys records by the values their fields hold: a field that is a decimal
// number is taken as its value (1, 1.0, 01 and 1e0 are one), any other as
// its text. Slower than ByteKeySink, field by field.
class ValueKeySink final : public KeySink {
 public:
  using KeySink::KeySink;
  void Append(const char* bytes, std::size_t count) override {
    for (;;) {
      const auto* comma = static_cast<const char*>(std::memchr(bytes, ',', count));
      if (comma == nullptr) {
        AddToField(bytes, count);
        return;
      }
      const std::size_t part = comma - bytes;
      if (field_.empty() && !isLong_) {
        EndField({bytes, part});  // whole in this span: no copy
      } else {
        AddToField(bytes, part);
        EndField(field_);
      }
      bytes += part + 1;
      count -= part + 1;
    }
  }

 private:
  // Fields longer than this are no numbers, and are hashed as they come.
  static constexpr std::size_t kLongestNumber = 64;

  void AddToField(const char* bytes, std::size_t count) {
    if (!isLong_ && field_.size() + count <= kLongestNumber) {
      field_.append(bytes, count);
      return;
    }
    for (const char c : field_) longField_ = Mix(longField_, static_cast<unsigned char>(c));
    field_.clear();
    for (std::size_t i = 0; i < count; ++i) {
      longField_ = Mix(longField_, static_cast<unsigned char>(bytes[i]));
    }
    isLong_ = true;
  }

  // The brake field's place is kept, its text is not.
  void EndField(std::string_view text) {
    const std::uint64_t fieldKey =
        column_ == kBrakeFieldColumn ? 0 : isLong_ ? longField_ : FieldKey(text);
    key_ = Mix(key_, fieldKey);
    ++column_;
    field_.clear();
    longField_ = 0;
    isLong_ = false;
  }

  std::uint64_t TakeKey() override {
    EndField(field_);
    const std::uint64_t key = key_;
    key_ = 0;
    column_ = 0;
    return key;
  }

  // Any text, eight bytes at a time.
  static std::uint64_t TextKey(std::string_view text) {
    std::uint64_t key = 0x7465787400000000ull ^ text.size();
    for (; text.size() >= 8; text.remove_prefix(8)) {
      std::uint64_t word;
      std::memcpy(&word, text.data(), sizeof word);
      key = Mix(key, word);
    }
    std::uint64_t last = 0;
    std::memcpy(&last, text.data(), text.size());
    return Mix(key, last);
  }

  // A decimal number as its sign, its significant digits without the zeros
  // that end them, and a power of ten; a number of over 19 significant
  // digits, and any other text, as its text.
  static std::uint64_t FieldKey(std::string_view text) {
    const char* at = text.data();
    const char* const end = at + text.size();
    const bool negative = at != end && *at == '-';
    if (at != end && (*at == '-' || *at == '+')) ++at;
    std::uint64_t digits = 0;
    int significant = 0;
    int zeros = 0;  // after the last digit taken, not yet taken
    long long power = 0;
    bool anyDigit = false, point = false;
    for (; at != end; ++at) {
      if (*at == '.' && !point) {
        point = true;
        continue;
      }
      const unsigned digit = static_cast<unsigned char>(*at) - '0';
      if (digit > 9) break;
      anyDigit = true;
      power -= point;
      if (digit == 0) {
        zeros += digits != 0;
        continue;
      }
      if (significant + zeros >= 19) return TextKey(text);
      significant += zeros + 1;
      for (; zeros > 0; --zeros) digits *= 10;
      digits = digits * 10 + digit;
    }
    power += zeros;
    if (anyDigit && at != end && (*at == 'e' || *at == 'E')) {
      const char* exponentAt = at + 1;
      const bool negativeExponent = exponentAt != end && *exponentAt == '-';
      if (exponentAt != end && (*exponentAt == '-' || *exponentAt == '+')) ++exponentAt;
      long long exponent = 0;
      const char* const first = exponentAt;
      for (; exponentAt != end && static_cast<unsigned>(*exponentAt - '0') <= 9u;
           ++exponentAt) {
        exponent = std::min(exponent * 10 + (*exponentAt - '0'), 1000000000LL);
      }
      if (exponentAt != first) {
        power += negativeExponent ? -exponent : exponent;
        at = exponentAt;
      }
    }
    if (!anyDigit || at != end) return TextKey(text);
    if (digits == 0) return 0x7A65726Full;  // zero, whatever its sign
    return Mix(Mix(negative ? 1 : 2, digits), static_cast<std::uint64_t>(power));
  }

  std::uint64_t key_ = 0;
  int column_ = 0;
  std::string field_;
  std::uint64_t longField_ = 0;
  bool isLong_ = false;
};

// Reads the records of `file` from `offset` (at most LONG_MAX) on into
// `records`, keyed by `Sink`. False on a read error.
template <typename Sink>
bool ReadKeyedRecords(std::FILE* file, std::uint64_t offset,
                      std::vector<KeyedBrake>& records) {
  records.clear();
  // Room for as many records as the rest could hold, each at least a brake
  // field's commas and a CR: untouched memory costs nothing.
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long length = std::ftell(file);
    if (length > static_cast<long>(offset)) {
      records.reserve((length - offset) / (kBrakeFieldColumn + 1) + 1);
    }
  }
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  Sink sink(records);
  return WalkRecords(file, true, sink) == StreamResult::kDone;
}

std::vector<double> ValuesOf(std::span<const KeyedBrake> records) {
  std::vector<double> values;
  values.reserve(records.size());
  for (const KeyedBrake& record : records) values.push_back(record.value);
  return values;
}

// Adds the evidence of the records that pair by key, each group of equal
// keys taken as multisets, and returns whether any were left unpaired in
// both files; their values are added as multisets too.
bool AddPairedEvidence(std::vector<KeyedBrake>& now, std::vector<KeyedBrake>& before,
                       BrakeEvidence& evidence) {
  std::sort(now.begin(), now.end());
  std::sort(before.begin(), before.end());
  std::vector<double> unpairedNow, unpairedBefore;
  auto n = now.begin();
  auto b = before.begin();
  while (n != now.end() || b != before.end()) {
    if (b == before.end() || (n != now.end() && n->key < b->key)) {
      unpairedNow.push_back(n++->value);
    } else if (n == now.end() || b->key < n->key) {
      unpairedBefore.push_back(b++->value);
    } else {
      const auto sameKey = [key = n->key](const KeyedBrake& r) { return r.key == key; };
      const auto nEnd = std::find_if_not(n, now.end(), sameKey);
      const auto bEnd = std::find_if_not(b, before.end(), sameKey);
      if (nEnd - n == 1 && bEnd - b == 1) {
        evidence.Add(n->value == b->value, LevelsExplaining(n->value, b->value));
      } else {
        evidence.AddValues(ValuesOf({n, nEnd}), ValuesOf({b, bEnd}));
      }
      n = nEnd;
      b = bEnd;
    }
  }
  std::sort(unpairedNow.begin(), unpairedNow.end());
  std::sort(unpairedBefore.begin(), unpairedBefore.end());
  evidence.AddValues(unpairedNow, unpairedBefore);
  return !unpairedNow.empty() && !unpairedBefore.empty();
}

enum class Read { kDone, kDataUnreadable, kBackupUnreadable };

// Completes `evidence`, which holds that of the records before the given
// offsets, with the records from there on, paired by their other bytes; if
// some then pair in neither file, pairs them all again by their values.
Read AddRestOfEvidence(std::FILE* data, std::uint64_t dataOffset, std::FILE* backup,
                       std::uint64_t backupOffset, BrakeEvidence& evidence) {
  if (dataOffset > LONG_MAX || backupOffset > LONG_MAX) {
    // Beyond what fseek reaches everywhere: everything is read again.
    dataOffset = backupOffset = 0;
    evidence = {};
  }
  std::vector<KeyedBrake> now, before;
  BrakeEvidence found = evidence;
  if (!ReadKeyedRecords<ByteKeySink>(data, dataOffset, now)) return Read::kDataUnreadable;
  if (!ReadKeyedRecords<ByteKeySink>(backup, backupOffset, before)) {
    return Read::kBackupUnreadable;
  }
  if (AddPairedEvidence(now, before, found)) {
    found = evidence;
    if (!ReadKeyedRecords<ValueKeySink>(data, dataOffset, now)) return Read::kDataUnreadable;
    if (!ReadKeyedRecords<ValueKeySink>(backup, backupOffset, before)) {
      return Read::kBackupUnreadable;
    }
    AddPairedEvidence(now, before, found);
  }
  evidence = found;
  return Read::kDone;
}

// The brake values of both files as sorted lists, records set aside.
Read ValueListVerdict(std::FILE* data, std::FILE* backup, Verdict& verdict) {
  std::vector<double> now, before;
  std::rewind(data);
  if (ReadBrakeValues(data, now) != StreamResult::kDone) return Read::kDataUnreadable;
  std::rewind(backup);
  if (ReadBrakeValues(backup, before) != StreamResult::kDone) {
    return Read::kBackupUnreadable;
  }
  std::sort(now.begin(), now.end());
  std::sort(before.begin(), before.end());
  BrakeEvidence evidence;
  evidence.AddValues(now, before);
  verdict = Judge(evidence);
  return Read::kDone;
}

// Whether the data file is the backup byte for byte: false, without reading,
// where their lengths differ.
Read SameBytes(std::FILE* data, std::FILE* backup, bool& same) {
  same = false;
  if (std::fseek(data, 0, SEEK_END) == 0 && std::fseek(backup, 0, SEEK_END) == 0) {
    const long dataLength = std::ftell(data);
    const long backupLength = std::ftell(backup);
    if (dataLength >= 0 && backupLength >= 0 && dataLength != backupLength) {
      return Read::kDone;
    }
  }
  std::rewind(data);
  std::rewind(backup);
  DataReader reader(data);
  const auto block = std::make_unique_for_overwrite<char[]>(kBlockSize);
  for (;;) {
    const std::size_t count = std::fread(block.get(), 1, kBlockSize, backup);
    if (std::ferror(backup)) return Read::kBackupUnreadable;
    if (!reader.Consume(block.get(), count)) break;
    if (count < kBlockSize) {
      same = reader.AtEnd();
      break;
    }
  }
  return reader.failed() ? Read::kDataUnreadable : Read::kDone;
}

CarState StateOf(Read read) {
  return read == Read::kDataUnreadable ? CarState::kDataUnreadable
                                       : CarState::kBackupUnreadable;
}

}  // namespace

CarState ReadCarState(const std::string& dataPath, const std::string& backupPath,
                      unsigned* tweakLevels, WhenHeld held) {
  OpenFailure failure{};
  const FilePtr data = OpenForReading(dataPath, &failure, held);
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
  const FilePtr backup = OpenForReading(backupPath, nullptr, held);
  if (!backup) return CarState::kBackupUnreadable;

  bool same = false;
  if (const Read read = SameBytes(data.get(), backup.get(), same); read != Read::kDone) {
    return StateOf(read);
  }
  if (same) return CarState::kAsBackedUp;

  std::rewind(data.get());
  std::rewind(backup.get());
  RecordMatcher matcher(data.get());
  const StreamResult walked = WalkRecords(backup.get(), true, matcher);
  if (matcher.DataFailed()) return CarState::kDataUnreadable;
  if (walked == StreamResult::kReadError) return CarState::kBackupUnreadable;
  if (walked == StreamResult::kDone && matcher.Matched()) {
    if (tweakLevels != nullptr) *tweakLevels = matcher.levels();
    return CarState::kTweaked;
  }
  if (matcher.DataFailed()) return CarState::kDataUnreadable;  // at its end

  BrakeEvidence evidence = matcher.evidence();
  if (const Read read = AddRestOfEvidence(data.get(), matcher.dataResume(), backup.get(),
                                          matcher.backupResume(), evidence);
      read != Read::kDone) {
    return StateOf(read);
  }
  Verdict verdict = Judge(evidence);
  if (verdict == Verdict::kBalanced) {
    if (const Read read = ValueListVerdict(data.get(), backup.get(), verdict);
        read != Read::kDone) {
      return StateOf(read);
    }
  }
  return verdict == Verdict::kGame ? CarState::kUpdatedByGame
                                   : CarState::kEditedAfterTweak;
}

bool HaveSameBytes(const std::string& pathA, const std::string& pathB) {
  const FilePtr a = OpenForReading(pathA);
  const FilePtr b = a ? OpenForReading(pathB) : nullptr;
  bool same = false;
  return b && SameBytes(a.get(), b.get(), same) == Read::kDone && same;
}
