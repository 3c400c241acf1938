#include "car_state.h"

#include <algorithm>
#include <array>
#include <bit>
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
    if (count > end_ - start_) return ConsumeAcrossBlocks(bytes, count);
    if (std::memcmp(block_.get() + start_, bytes, count) != 0) return false;
    Skip(count);
    return true;
  }

  // Consume("\r\n", 2), the bytes compared in place.
  bool ConsumeRecordEnd() {
    if (end_ - start_ < 2) return ConsumeAcrossBlocks("\r\n", 2);
    if (block_[start_] != '\r' || block_[start_ + 1] != '\n') return false;
    Skip(2);
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
  bool ConsumeAcrossBlocks(const char* bytes, std::size_t count) {
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

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 32);
}

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

// A key for a record's other bytes exactly: a fast hash of the bytes, fed
// sixteen at a time whatever the spans they come in.
class ByteKey {
 public:
  void Add(const char* bytes, std::size_t count) {
    if (count < sizeof chunk_ - filled_) {
      CopyShort(chunk_ + filled_, bytes, count);
      filled_ += count;
      return;
    }
    if (filled_ > 0) {
      const std::size_t part = sizeof chunk_ - filled_;
      CopyShort(chunk_ + filled_, bytes, part);
      TakeChunks(chunk_, 1);
      std::memset(chunk_, 0, sizeof chunk_);
      bytes += part;
      count -= part;
    }
    TakeChunks(bytes, count / sizeof chunk_);
    filled_ = count % sizeof chunk_;
    CopyShort(chunk_, bytes + count - filled_, filled_);
  }

  // The key of the bytes added since the last key was taken.
  std::uint64_t Take() {
    std::uint64_t a, b;
    std::memcpy(&a, chunk_, sizeof a);
    std::memcpy(&b, chunk_ + sizeof a, sizeof b);
    const std::uint64_t length = chunks_ * sizeof chunk_ + filled_;
    const std::uint64_t key = MultiplyFold(
        MultiplyFold(lanes_[0] ^ a ^ kSeedA, lanes_[1] ^ b ^ kSeedB), length ^ kSeedA);
    lanes_ = {};
    chunks_ = 0;
    std::memset(chunk_, 0, sizeof chunk_);
    filled_ = 0;
    return key;
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

  // Copies fewer than 16 bytes, in a few moves rather than a call.
  static void CopyShort(char* to, const char* from, std::size_t count) {
    if (count >= 8) {
      std::memcpy(to, from, 8);
      std::memcpy(to + count - 8, from + count - 8, 8);
    } else if (count >= 4) {
      std::memcpy(to, from, 4);
      std::memcpy(to + count - 4, from + count - 4, 4);
    } else if (count > 0) {
      to[0] = from[0];
      to[count / 2] = from[count / 2];
      to[count - 1] = from[count - 1];
    }
  }

  std::array<std::uint64_t, 2> lanes_{};
  std::uint64_t chunks_ = 0;  // whole chunks taken
  char chunk_[16] = {};       // the bytes of the next one so far, zeros after them
  std::size_t filled_ = 0;
};

// The texts that the patch writes at levels 0 to 3 in place of one brake
// value: made once for a run of records that bring the same value (empty
// brake fields, say).
class PatchedTexts {
 public:
  // Makes what follows be of `value`.
  void Take(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    if (bits == valueBits_) return;
    valueBits_ = bits;
    value_ = value;
    madeTexts_ = sameAsBelow_ = 0;
  }

  std::string_view Text(int level) {
    if (((madeTexts_ >> level) & 1u) == 0) Make(level);
    return texts_[level];
  }

  // Whether Text(level) is Text(level - 1), as found when both were made.
  bool SameAsBelow(int level) const { return ((sameAsBelow_ >> level) & 1u) != 0; }

 private:
  void Make(int level) {
    char text[kFieldCapacity];
    texts_[level].assign(PatchedBrakeText(value_, level, text));
    madeTexts_ |= 1u << level;
    if (level > 0 && ((madeTexts_ >> (level - 1)) & 1u) != 0 &&
        texts_[level] == texts_[level - 1]) {
      sameAsBelow_ |= 1u << level;
    }
  }

  double value_ = 0;
  std::uint64_t valueBits_ = std::bit_cast<std::uint64_t>(0.0);
  unsigned madeTexts_ = 0;    // bit L: texts_[L] is made for the value
  unsigned sameAsBelow_ = 0;  // bit L: texts_[L] is texts_[L - 1]
  std::array<std::string, kUntouchedLevel> texts_;
};

// Set in the offset of a brake text kept in place of a record's key where
// the record before it has a brake field too, or there is none: no record
// end lies between the two brake texts but that record's.
constexpr std::uint64_t kFollowsBrake = 1ull << 63;

// The records that the walk passed in step while some level fitted them,
// which it did not key, and the one after, where the last level stopped
// fitting.
struct UnkeyedPrefix {
  std::uint64_t dataLength = 0;  // of the data file's bytes that hold them
  // The first `levelBrakes` entries of the walk's `before` list are of
  // records that the patch at each of `levels` writes as the data file holds
  // them; the next, where `turnBrake` says so, is of the record where no
  // level fitted, whose value in the data file is `turnValue`.
  std::size_t levelBrakes = 0;
  unsigned levels = 0;
  bool turnBrake = false;
  double turnValue = 0;
};

// Walks the backup and checks the data file against it in one pass: whether
// it is the backup patched at any of the levels 0 to 4, all levels at once,
// and, once no level can be, whether its records still follow the backup's
// one for one, the same but for their brake fields. It stops where they no
// longer do. Records are not keyed while some level fits, so a tweaked file
// costs no keys: of each one passed whole that has a brake field, `before`
// gets the backup's value with the offset of the brake text in the data
// file (and kFollowsBrake) in place of the key, for KeyUnkeyedPrefix. From
// the record after the one where the last level stopped fitting, each
// record passed whole goes to both lists, with its brake value in each and
// the key of its other bytes (as ByteKeySink keys them). Where the next
// record begins in each file is kept, so that only the rest need be read
// again.
class RecordMatcher : public RecordSink {
 public:
  RecordMatcher(std::FILE* data, std::vector<KeyedBrake>& now,
                std::vector<KeyedBrake>& before)
      : data_(data), now_(now), before_(before) {}

  void Append(const char* bytes, std::size_t count) override {
    if (!inStep_) return;
    if (keying_) key_.Add(bytes, count);
    inStep_ = data_.Consume(bytes, count);
  }

  void BrakeField(std::string& field, char terminator) override {
    if (!inStep_) return;
    // Any brake text, ended as the backup's is; the patch would have dropped
    // LF and NUL bytes, and rewritten no longer field.
    const std::string_view ahead = data_.Peek(kFieldCapacity);
    std::size_t end = 0;
    while (end < ahead.size() && !EndsField(ahead[end])) ++end;
    if (end == ahead.size() || ahead[end] != terminator) {
      inStep_ = false;
      return;
    }
    const std::string_view text = ahead.substr(0, end);
    const double before = BrakeFieldValue(field);
    if (levels_ != 0) levels_ = LevelsWriting(text, field, before);
    brake_ = {true, data_.passed(), levels_ == 0 ? BrakeFieldValue(text) : 0, before};
    data_.Skip(end);
  }

  // Levels 0 to 3 cannot write such a field; level 4 passes it as it is.
  bool PassOverlongBrakeField() override {
    levels_ &= 1u << kUntouchedLevel;
    return true;
  }

  void EndRecord(std::uint64_t nextRecordOffset) override {
    if (inStep_) inStep_ = data_.ConsumeRecordEnd();
    if (!inStep_) return;
    if (keying_) {
      const std::uint64_t key = key_.Take();
      if (brake_.found) {
        now_.push_back({key, brake_.now});
        before_.push_back({key, brake_.before});
      }
    } else {
      if (brake_.found) {
        const std::uint64_t follows = followsBrake_ ? kFollowsBrake : 0;
        before_.push_back({brake_.dataOffset | follows, brake_.before});
      }
      followsBrake_ = brake_.found;
      if (levels_ != 0) {
        prefix_.levelBrakes = before_.size();
        prefix_.levels = levels_;
      } else {
        prefix_.turnBrake = brake_.found;
        prefix_.turnValue = brake_.now;
        keying_ = true;
      }
      prefix_.dataLength = data_.passed();
    }
    brake_ = {};
    backupResume_ = nextRecordOffset;
    dataResume_ = data_.passed();
  }

  bool failed() const override { return !inStep_; }

  // Once the walk is done: whether the data file is the patch at a level.
  bool Matched() { return inStep_ && levels_ != 0 && data_.AtEnd(); }
  // Then, the levels (bit L for level L) whose patch it is.
  unsigned levels() const { return levels_; }
  bool DataFailed() const { return data_.failed(); }
  const UnkeyedPrefix& prefix() const { return prefix_; }
  std::uint64_t backupResume() const { return backupResume_; }
  std::uint64_t dataResume() const { return dataResume_; }

 private:
  // Of the levels that may have written the records so far, those that
  // write `text` in place of the backup's `field`, whose value is `before`.
  unsigned LevelsWriting(std::string_view text, const std::string& field, double before) {
    texts_.Take(before);
    unsigned levels = 0;
    int compared = -1;  // the last level compared
    for (int l = 0; l < kUntouchedLevel; ++l) {
      if (((levels_ >> l) & 1u) == 0) continue;
      const std::string_view written = texts_.Text(l);
      // Levels that write the same text (0 for each, say) are compared once.
      const bool asBelow = compared == l - 1 && texts_.SameAsBelow(l);
      if (asBelow ? ((levels >> compared) & 1u) != 0 : written == text) levels |= 1u << l;
      compared = l;
    }
    if (((levels_ >> kUntouchedLevel) & 1u) != 0 && field == text) {
      levels |= 1u << kUntouchedLevel;
    }
    return levels;
  }

  static bool EndsField(char c) { return c == ',' || c == '\r' || c == '\n' || c == '\0'; }

  struct Brake {
    bool found = false;            // the record has a brake field
    std::uint64_t dataOffset = 0;  // of its text in the data file
    double now = 0;                // once no level fits
    double before = 0;
  };

  DataReader data_;
  std::vector<KeyedBrake>& now_;
  std::vector<KeyedBrake>& before_;
  PatchedTexts texts_;
  ByteKey key_;                   // of the record being passed, once keying
  bool inStep_ = true;            // the records so far follow the backup's
  bool keying_ = false;           // no level fits the records passed
  unsigned levels_ = kAllLevels;  // bit L: level L may have written them
  Brake brake_;                   // of the record being passed
  UnkeyedPrefix prefix_;          // so far
  bool followsBrake_ = true;      // the last record passed had a brake field
  std::uint64_t backupResume_ = 0;
  std::uint64_t dataResume_ = 0;
};

// The keys of records whose other bytes come as spans of a block: a record
// whose spans are those of the one before (records alike but for the brake)
// takes its key without hashing its bytes again.
class RecordKeys {
 public:
  void Add(const char* bytes, std::size_t count) {
    if (spans_ == static_cast<int>(pending_.size())) Flush();
    pending_[spans_++] = {bytes, count};
  }

  // Before the block's bytes are replaced.
  void EndBlock() {
    Flush();
    previousSpans_ = -1;
  }

  // The key of the bytes added since the last key was taken.
  std::uint64_t Take() {
    const bool whole = !streamed_;  // all of them are in pending_
    std::uint64_t recordKey = previousKey_;
    if (!whole || !SameAsPrevious()) {
      for (int s = 0; s < spans_; ++s) key_.Add(pending_[s].bytes, pending_[s].count);
      recordKey = key_.Take();
    }
    previous_ = pending_;
    previousSpans_ = whole ? spans_ : -1;
    previousKey_ = recordKey;
    spans_ = 0;
    streamed_ = false;
    return recordKey;
  }

 private:
  struct Span {
    const char* bytes;
    std::size_t count;
  };

  void Flush() {
    for (int s = 0; s < spans_; ++s) key_.Add(pending_[s].bytes, pending_[s].count);
    streamed_ = streamed_ || spans_ > 0;
    spans_ = 0;
  }

  bool SameAsPrevious() const {
    if (spans_ != previousSpans_) return false;
    for (int s = 0; s < spans_; ++s) {
      const Span& span = pending_[s];
      if (span.count != previous_[s].count) return false;
      // Records that differ mostly do in their first bytes: those are
      // compared in place.
      std::uint64_t first, previousFirst;
      if (span.count >= sizeof first) {
        std::memcpy(&first, span.bytes, sizeof first);
        std::memcpy(&previousFirst, previous_[s].bytes, sizeof first);
        if (first != previousFirst) return false;
      }
      if (std::memcmp(span.bytes, previous_[s].bytes, span.count) != 0) return false;
    }
    return true;
  }

  ByteKey key_;
  std::array<Span, 2> pending_{}, previous_{};  // of this record and the last
  int spans_ = 0;
  int previousSpans_ = -1;  // -1: the last record's bytes are not all there
  std::uint64_t previousKey_ = 0;
  bool streamed_ = false;  // some of this record's bytes went to key_ already
};

// Keys the walk's unkeyed prefix from the data file, which holds its records
// as the patch writes records: no LF or NUL bytes in their fields, each
// ended by CR LF. Each key is that of the record's bytes other than its
// brake text and record end, as ByteKeySink keys them: it takes the place of
// the brake text's offset in the record's `before` entry, and the record's
// value in the data file goes to `now` with it. False on a read error, or
// where the file no longer holds what the walk found.
bool KeyUnkeyedPrefix(std::FILE* data, const UnkeyedPrefix& prefix,
                      std::vector<KeyedBrake>& now, std::vector<KeyedBrake>& before) {
  const std::size_t brakes = prefix.levelBrakes + prefix.turnBrake;
  // The data file's value where the backup's is `value`: the patch at the
  // prefix's levels, whose texts are all the same.
  const bool untouched = ((prefix.levels >> kUntouchedLevel) & 1u) != 0;
  const int level = std::countr_zero(prefix.levels);
  const auto levelValue = [&](double value) {
    return untouched ? value : PatchedBrakeValue(value, level);
  };
  std::rewind(data);
  const auto block = std::make_unique_for_overwrite<char[]>(kBlockSize);
  RecordKeys keys;
  std::size_t next = 0;     // the entry of the next brake text
  bool hasBrake = false;    // the record has reached its brake text
  bool inBrake = false;     // passing over it
  bool atLineFeed = false;  // after a record's CR, before its LF
  for (std::uint64_t offset = 0; offset < prefix.dataLength;) {
    const std::size_t count = std::fread(
        block.get(), 1, std::min<std::uint64_t>(kBlockSize, prefix.dataLength - offset), data);
    if (count == 0) return false;
    const char* const bytes = block.get();
    std::size_t i = 0;
    while (i < count) {
      if (atLineFeed) {
        atLineFeed = false;
        ++i;
      } else if (inBrake) {
        while (i < count && bytes[i] != ',' && bytes[i] != '\r') ++i;
        inBrake = i == count;
      } else {
        // Other bytes, up to the record's end or its brake text.
        std::size_t stop = count;
        bool endAhead = true;  // the record may end before its brake text
        if (!hasBrake && next < brakes) {
          const std::uint64_t brakeAt = before[next].key & ~kFollowsBrake;
          if (brakeAt < offset + i) return false;  // the file has changed since
          if (brakeAt - offset < count) stop = static_cast<std::size_t>(brakeAt - offset);
          endAhead = (before[next].key & kFollowsBrake) == 0;
        }
        const auto* end =
            endAhead ? static_cast<const char*>(std::memchr(bytes + i, '\r', stop - i)) : nullptr;
        if (end == nullptr) {
          keys.Add(bytes + i, stop - i);
          if (stop < count) inBrake = hasBrake = true;
          i = stop;
          continue;
        }
        keys.Add(bytes + i, end - (bytes + i));
        i = end - bytes + 1;
        atLineFeed = true;
        const std::uint64_t recordKey = keys.Take();
        if (hasBrake) {
          const double value = next < prefix.levelBrakes ? levelValue(before[next].value)
                                                          : prefix.turnValue;
          now.push_back({recordKey, value});
          before[next++].key = recordKey;
          hasBrake = false;
        }
      }
    }
    keys.EndBlock();
    offset += count;
  }
  return true;
}

// Collects each record's brake value with a key for the rest of it; records
// without a brake field are left out.
class KeySink : public RecordSink {
 public:
  explicit KeySink(std::vector<KeyedBrake>& records) : records_(records) {}
  void BrakeField(std::string& field, char) override {
    if (field != lastField_) {  // brake values often repeat
      lastField_ = field;
      value_ = BrakeFieldValue(field);
    }
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
  std::string lastField_;  // the last brake field, whose value is value_
  double value_ = 0;
  bool hasBrake_ = false;
};

// Keys records by their other bytes exactly.
class ByteKeySink final : public KeySink {
 public:
  using KeySink::KeySink;
  void Append(const char* bytes, std::size_t count) override { key_.Add(bytes, count); }

 private:
  std::uint64_t TakeKey() override { return key_.Take(); }

  ByteKey key_;
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


// Room in `records` for as many records as `file` could hold, each at least
// a brake field's commas and a CR: untouched memory costs nothing.
void ReserveRecords(std::FILE* file, std::vector<KeyedBrake>& records) {
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long length = std::ftell(file);
    if (length > 0) records.reserve(length / (kBrakeFieldColumn + 1) + 1);
  }
}

// Adds the records of `file` from `offset` (at most LONG_MAX) on to
// `records`, keyed by `Sink`. False on a read error.
template <typename Sink>
bool ReadKeyedRecords(std::FILE* file, std::uint64_t offset,
                      std::vector<KeyedBrake>& records) {
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  Sink sink(records);
  return WalkRecords(file, true, sink) == StreamResult::kDone;
}

// Word 0 of a record's sort code is its key, word 1 its value's bits in an
// order that sorts as the values do (equal values together, -0 beside 0).
std::uint64_t SortCode(const KeyedBrake& record, int word) {
  if (word == 0) return record.key;
  const auto bits = std::bit_cast<std::uint64_t>(record.value);
  return bits >> 63 ? ~bits : bits | (1ull << 63);
}

// Byte `digit` (0 to 15) of a record's sort code, most significant first.
unsigned SortDigit(const KeyedBrake& record, int digit) {
  return static_cast<unsigned>(SortCode(record, digit / 8) >> (56 - 8 * (digit % 8))) & 0xFF;
}

// Sorts records by their sort code from byte `digit` on, in place: by key
// and value from byte 0, by value alone from byte 8. A radix sort, most
// significant byte first, that passes over the bytes all records share
// (every key, in a car of records alike); small runs go to std::sort.
// Nearly twice as fast as std::sort alone on many records.
void SortRecords(std::span<KeyedBrake> records, int digit) {
  constexpr std::size_t kSmall = 256;
  while (digit < 16 && records.size() > kSmall) {
    const int word = digit / 8;
    std::uint64_t differ = 0;  // the bits in which some record differs from the first
    for (const KeyedBrake& record : records) {
      differ |= SortCode(record, word) ^ SortCode(records[0], word);
    }
    differ <<= 8 * (digit % 8);
    if (differ != 0) {
      digit += std::countl_zero(differ) / 8;
      break;
    }
    digit = 8 * (word + 1);
  }
  if (digit == 16) return;  // all alike
  if (records.size() <= kSmall) {
    if (digit < 8) {
      std::sort(records.begin(), records.end());
    } else {
      std::sort(records.begin(), records.end(), kByValue);  // keys alike or aside
    }
    return;
  }
  std::array<std::size_t, 257> start{};  // of each byte's run, and the end
  for (const KeyedBrake& record : records) ++start[SortDigit(record, digit) + 1];
  for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
  // Each record swapped into the next free place of its byte's run.
  std::array<std::size_t, 256> next;
  std::copy(start.begin(), start.end() - 1, next.begin());
  for (std::size_t byte = 0; byte < next.size(); ++byte) {
    while (next[byte] < start[byte + 1]) {
      KeyedBrake& record = records[next[byte]];
      const unsigned home = SortDigit(record, digit);
      if (home == byte) {
        ++next[byte];
      } else {
        std::swap(record, records[next[home]++]);
      }
    }
  }
  for (std::size_t byte = 0; byte < next.size(); ++byte) {
    SortRecords(records.subspan(start[byte], start[byte + 1] - start[byte]), digit + 1);
  }
}

// The verdict of the records paired by key. A key that one record has in
// each file pairs those two; the records of a key that repeats in either
// file are judged as a group, their values as sorted lists, and so are all
// the records whose key the other file lacks. `unpairedInBoth` tells
// whether each file has such records, and `asLists` whether all records
// were judged as one group, so that the verdict is the plain lists' too.
// Leaves the records in another order.
Verdict PairedVerdict(std::vector<KeyedBrake>& now, std::vector<KeyedBrake>& before,
                      bool& unpairedInBoth, bool& asLists) {
  SortRecords(now, 0);
  SortRecords(before, 0);
  BrakeEvidence evidence;
  LevelsExplainer levelsExplaining;
  int groups = 0;  // of one key, pairs among them, counted up to 2
  // Records that pair with none are moved to the front of their list.
  std::size_t n = 0, b = 0, unpairedNow = 0, unpairedBefore = 0;
  while (n < now.size() || b < before.size()) {
    if (b == before.size() || (n < now.size() && now[n].key < before[b].key)) {
      std::swap(now[unpairedNow++], now[n++]);
    } else if (n == now.size() || before[b].key < now[n].key) {
      std::swap(before[unpairedBefore++], before[b++]);
    } else {
      const std::uint64_t key = now[n].key;
      std::size_t nEnd = n + 1, bEnd = b + 1;
      while (nEnd < now.size() && now[nEnd].key == key) ++nEnd;
      while (bEnd < before.size() && before[bEnd].key == key) ++bEnd;
      if (nEnd - n == 1 && bEnd - b == 1) {
        evidence.Add(now[n].value == before[b].value,
                     levelsExplaining(now[n].value, before[b].value));
      } else {
        evidence.AddValues({now.data() + n, nEnd - n}, {before.data() + b, bEnd - b});
      }
      groups = std::min(groups + 1, 2);
      n = nEnd;
      b = bEnd;
    }
  }
  SortRecords({now.data(), unpairedNow}, 8);
  SortRecords({before.data(), unpairedBefore}, 8);
  evidence.AddValues({now.data(), unpairedNow}, {before.data(), unpairedBefore});
  unpairedInBoth = unpairedNow > 0 && unpairedBefore > 0;
  const bool unpaired = unpairedNow > 0 || unpairedBefore > 0;
  asLists = groups + unpaired <= 1;
  return Judge(evidence);
}

// The verdict of the brake values of both files as plain sorted lists,
// records set aside.
Verdict ListVerdict(std::vector<KeyedBrake>& now, std::vector<KeyedBrake>& before) {
  for (std::vector<KeyedBrake>* records : {&now, &before}) {
    if (!std::is_sorted(records->begin(), records->end(), kByValue)) SortRecords(*records, 8);
  }
  BrakeEvidence evidence;
  evidence.AddValues(now, before);
  return Judge(evidence);
}

enum class Read { kDone, kDataUnreadable, kBackupUnreadable };

// The verdict on a changed data file whose records the walk has passed in
// step, up to the given offsets: its unkeyed prefix is keyed from the data
// file, the records it keyed are in `now` and `before`, and the rest of both
// files is keyed by its other bytes; if records then pair in neither file,
// all of both are keyed again by the values of their fields.
Read ChangedVerdict(std::FILE* data, std::uint64_t dataOffset, std::FILE* backup,
                    std::uint64_t backupOffset, const UnkeyedPrefix& prefix,
                    std::vector<KeyedBrake>& now, std::vector<KeyedBrake>& before,
                    Verdict& verdict) {
  if (dataOffset > LONG_MAX || backupOffset > LONG_MAX) {
    // Beyond what fseek reaches everywhere: everything is read again.
    dataOffset = backupOffset = 0;
    now.clear();
    before.clear();
  } else if (!KeyUnkeyedPrefix(data, prefix, now, before)) {
    return Read::kDataUnreadable;
  }
  if (!ReadKeyedRecords<ByteKeySink>(data, dataOffset, now)) return Read::kDataUnreadable;
  if (!ReadKeyedRecords<ByteKeySink>(backup, backupOffset, before)) {
    return Read::kBackupUnreadable;
  }
  bool unpairedInBoth = false, asLists = false;
  Verdict paired = PairedVerdict(now, before, unpairedInBoth, asLists);
  if (unpairedInBoth) {
    now.clear();
    before.clear();
    if (!ReadKeyedRecords<ValueKeySink>(data, 0, now)) return Read::kDataUnreadable;
    if (!ReadKeyedRecords<ValueKeySink>(backup, 0, before)) return Read::kBackupUnreadable;
    paired = PairedVerdict(now, before, unpairedInBoth, asLists);
  }
  // A tweak that the paired records show leaves the car alone whatever the
  // lists say.
  verdict = paired == Verdict::kTweak || asLists
                ? paired
                : Reconcile(paired, ListVerdict(now, before));
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

  std::vector<KeyedBrake> now, before;
  ReserveRecords(data.get(), now);
  ReserveRecords(backup.get(), before);
  std::rewind(data.get());
  std::rewind(backup.get());
  RecordMatcher matcher(data.get(), now, before);
  const StreamResult walked = WalkRecords(backup.get(), true, matcher);
  if (matcher.DataFailed()) return CarState::kDataUnreadable;
  if (walked == StreamResult::kReadError) return CarState::kBackupUnreadable;
  if (walked == StreamResult::kDone && matcher.Matched()) {
    if (tweakLevels != nullptr) *tweakLevels = matcher.levels();
    return CarState::kTweaked;
  }
  if (matcher.DataFailed()) return CarState::kDataUnreadable;  // at its end

  Verdict verdict{};
  if (const Read read =
          ChangedVerdict(data.get(), matcher.dataResume(), backup.get(), matcher.backupResume(),
                         matcher.prefix(), now, before, verdict);
      read != Read::kDone) {
    return StateOf(read);
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
