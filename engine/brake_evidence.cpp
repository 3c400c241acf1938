#include "brake_evidence.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// The number of values `now` and `before` have in common, as multisets.
std::uint64_t CommonValues(std::span<const KeyedBrake> now,
                           std::span<const KeyedBrake> before) {
  std::uint64_t common = 0;
  auto next = now.begin();
  for (const KeyedBrake& record : before) {
    while (next != now.end() && next->value < record.value) ++next;
    if (next == now.end()) break;
    if (next->value == record.value) {
      ++common;
      ++next;
    }
  }
  return common;
}

// A distinct data value, and how many of it are still to be explained: by a
// level alone, and by a level or as they are.
struct Wanted {
  double value;
  std::uint64_t byLevel;
  std::uint64_t byAny;
};

// The distinct values of a sorted list, each wanted as often as it occurs.
void WantAll(std::span<const KeyedBrake> values, std::vector<Wanted>& wanted) {
  wanted.clear();
  wanted.reserve(values.size());  // all at once: untouched memory costs nothing
  for (const KeyedBrake& record : values) {
    if (wanted.empty() || wanted.back().value != record.value) {
      wanted.push_back({record.value, 0, 0});
    }
    ++wanted.back().byLevel;
    ++wanted.back().byAny;
  }
}

// The entry of `value`, or nullptr, looked up from `at`, which moves to it
// and stays: up past lower values (`rising`), or down past higher ones, `at`
// then being the end of those left. Where the values looked up move one way,
// a pass takes time linear in the entries.
Wanted* Find(std::vector<Wanted>& wanted, std::size_t& at, double value, bool rising) {
  if (rising) {
    while (at < wanted.size() && wanted[at].value < value) ++at;
    return at < wanted.size() && wanted[at].value == value ? &wanted[at] : nullptr;
  }
  while (at > 0 && wanted[at - 1].value > value) --at;
  return at > 0 && wanted[at - 1].value == value ? &wanted[at - 1] : nullptr;
}

// Takes up to `offered` of what `wanted` still wants and returns how many it
// took.
std::uint64_t Take(std::uint64_t& wanted, std::uint64_t& offered) {
  const std::uint64_t taken = std::min(offered, wanted);
  wanted -= taken;
  offered -= taken;
  return taken;
}

// At `level` (1 to 3): how many data values the backup values give at the
// level, and the most that backup values can explain, each backup value
// explaining one, as it is or at the level. For the latter, each backup
// value links the data value equal to it with the one its level gives,
// which is nearer zero; so the links form trees, which meet only at zero,
// and a pass from the values farthest from zero inwards, each serving its
// own value before the one nearer zero, explains as many as can be: the
// negative values from the lowest up, then the others from the highest
// down. On each side both the values served as they are and those their
// level gives move one way only.
struct LevelCounts {
  std::uint64_t byLevel = 0;
  std::uint64_t explained = 0;
};
LevelCounts CountAtLevel(std::span<const KeyedBrake> now, std::span<const KeyedBrake> before,
                         int level, std::vector<Wanted>& wanted) {
  WantAll(now, wanted);
  LevelCounts counts;
  std::size_t ownAt = 0, givenAt = 0;
  bool rising = true;
  // A run of `offered` backup values equal to `value`.
  const auto serve = [&](double value, std::uint64_t offered) {
    Wanted* const own = Find(wanted, ownAt, value, rising);
    Wanted* const given = Find(wanted, givenAt, PatchedBrakeValue(value, level), rising);
    if (given != nullptr) {
      std::uint64_t offeredToLevel = offered;
      counts.byLevel += Take(given->byLevel, offeredToLevel);
    }
    if (own != nullptr) counts.explained += Take(own->byAny, offered);
    if (given != nullptr && given != own) counts.explained += Take(given->byAny, offered);
  };
  const std::size_t negatives = static_cast<std::size_t>(
      std::partition_point(before.begin(), before.end(),
                           [](const KeyedBrake& r) { return r.value < 0; }) -
      before.begin());
  for (std::size_t i = 0, end; i < negatives; i = end) {
    for (end = i + 1; end < negatives && before[end].value == before[i].value;) ++end;
    serve(before[i].value, end - i);
  }
  ownAt = givenAt = wanted.size();
  rising = false;
  for (std::size_t i = before.size(), start; i > negatives; i = start) {
    for (start = i - 1; start > negatives && before[start - 1].value == before[i - 1].value;) {
      --start;
    }
    serve(before[i - 1].value, i - start);
  }
  return counts;
}

}  // namespace

void BrakeEvidence::Add(bool byOwn, unsigned byLevels) {
  own += byOwn;
  for (int l = 0; l < kUntouchedLevel; ++l) {
    const bool byLevel = (byLevels >> l) & 1u;
    level[l] += byLevel;
    neither[l] += !byOwn && !byLevel;
  }
}

unsigned LevelsExplainer::operator()(double now, double before) {
  const auto bits = std::bit_cast<std::uint64_t>(before);
  if (!made_ || bits != beforeBits_) {
    for (int l = 0; l < kUntouchedLevel; ++l) given_[l] = PatchedBrakeValue(before, l);
    made_ = true;
    beforeBits_ = bits;
  }
  unsigned byLevels = 0;
  for (int l = 0; l < kUntouchedLevel; ++l) {
    if (given_[l] == now) byLevels |= 1u << l;
  }
  return byLevels;
}

unsigned LevelsExplaining(double now, double before) {
  return LevelsExplainer()(now, before);
}

void BrakeEvidence::AddValues(std::span<const KeyedBrake> now,
                              std::span<const KeyedBrake> before) {
  if (now.empty()) return;
  const std::uint64_t common = CommonValues(now, before);
  own += common;
  // Level 0 writes 0 for every value: it explains as many zeros as there
  // are backup values, and so do those that the backup's own nonzero values
  // leave.
  const auto zeros = [](std::span<const KeyedBrake> values) {
    const auto [from, to] = std::equal_range(values.begin(), values.end(), KeyedBrake{0, 0.0},
                                             kByValue);
    return static_cast<std::uint64_t>(to - from);
  };
  const std::uint64_t zerosNow = zeros(now);
  const std::uint64_t ownNonzero = common - std::min(zerosNow, zeros(before));
  level[0] += std::min<std::uint64_t>(zerosNow, before.size());
  neither[0] += now.size() - ownNonzero - std::min(zerosNow, before.size() - ownNonzero);
  std::vector<Wanted> wanted;
  for (int l = 1; l < kUntouchedLevel; ++l) {
    const LevelCounts counts = CountAtLevel(now, before, l, wanted);
    level[l] += counts.byLevel;
    neither[l] += now.size() - counts.explained;
  }
}

Verdict Judge(const BrakeEvidence& evidence) {
  bool game = true;
  for (int l = 0; l < kUntouchedLevel; ++l) {
    // Signed: a level may explain fewer values than the backup's own do.
    const auto e = static_cast<std::int64_t>(evidence.level[l]) -
                   static_cast<std::int64_t>(evidence.own);
    const auto neither = static_cast<std::int64_t>(evidence.neither[l]);
    if (e >= 1 && e >= 2 * neither) return Verdict::kTweak;
    game = game && (e <= 0 || 2 * e < neither);
  }
  return game ? Verdict::kGame : Verdict::kBalanced;
}

Verdict Reconcile(Verdict paired, Verdict lists) {
  if (paired == Verdict::kBalanced) return lists;
  const bool opposite = lists != Verdict::kBalanced && lists != paired;
  return opposite ? Verdict::kBalanced : paired;
}
