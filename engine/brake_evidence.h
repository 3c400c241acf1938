#pragma once

// What a changed data file's brake values say beside its backup's: each
// value is explained by the backup's own value (the game's file), by the
// backup's value at one of the levels 0% to 75% (a tweak), by both (a value
// that a level leaves as it is, such as 0), or by neither.

#include <array>
#include <cstdint>
#include <span>

#include "record_patch.h"

// A record's brake value, and a key for its other fields: records whose
// other fields are the same have the same key.
struct KeyedBrake {
  std::uint64_t key;
  double value;
  bool operator<(const KeyedBrake& other) const {
    return key != other.key ? key < other.key : value < other.value;
  }
};

// Orders records by their values alone.
inline constexpr auto kByValue = [](const KeyedBrake& a, const KeyedBrake& b) {
  return a.value < b.value;
};

struct BrakeEvidence {
  std::uint64_t own = 0;  // data values that backup values explain as they are
  // Per level 0 to 3: the data values that the level explains, and those
  // that neither the level nor the backup's own values explain.
  std::array<std::uint64_t, kUntouchedLevel> level{};
  std::array<std::uint64_t, kUntouchedLevel> neither{};

  // One data value beside its own record's backup value: whether that
  // explains it as it is, and the levels (bit L for level L) that explain it.
  void Add(bool byOwn, unsigned byLevels);
  // The brake values of data records beside those of backup records that
  // are not paired one to one, each list sorted by value (keys aside),
  // paired as multisets: a backup value explains at most one data value, as
  // it is or at a level, so neither is the largest number of data values
  // that no pairing can explain. Time linear in the values once sorted.
  void AddValues(std::span<const KeyedBrake> now, std::span<const KeyedBrake> before);
};

// The levels (bit L for level L, 0 to 3) at which the backup value `before`
// gives the data value `now`.
unsigned LevelsExplaining(double now, double before);

// LevelsExplaining for one pair after another, quicker where backup values
// repeat: the values that the levels give for the last one are kept.
class LevelsExplainer {
 public:
  unsigned operator()(double now, double before);

 private:
  bool made_ = false;
  std::uint64_t beforeBits_ = 0;
  std::array<double, kUntouchedLevel> given_{};
};

enum class Verdict {
  kTweak,     // some level explains clearly more values than the backup's own
  kGame,      // no level does
  kBalanced,  // the values do not tell
};

// With e = level - own at a level: kTweak where some level has e >= 1 and
// e >= 2 * neither; kGame where every level has e <= 0 or 2 * e < neither;
// kBalanced otherwise.
Verdict Judge(const BrakeEvidence& evidence);

// A changed file's verdict from two views of its brake values: its records
// paired by their other fields (`paired`), and all its values beside all the
// backup's as plain sorted lists (`lists`). The paired view decides where it
// is clear, unless the lists clearly say the opposite: two clear views that
// disagree give kBalanced. Where the paired view is balanced, the lists
// decide.
Verdict Reconcile(Verdict paired, Verdict lists);
