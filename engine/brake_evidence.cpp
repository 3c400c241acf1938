#include "brake_evidence.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// The number of values `now` and `before` have in common, as multisets, with
// each value of `before` first mapped by `map`, which keeps their order.
template <typename Map>
std::uint64_t CommonValues(std::span<const double> now, std::span<const double> before,
                           Map map) {
  std::uint64_t common = 0;
  auto next = now.begin();
  for (const double value : before) {
    const double mapped = map(value);
    while (next != now.end() && *next < mapped) ++next;
    if (next == now.end()) break;
    if (*next == mapped) {
      ++common;
      ++next;
    }
  }
  return common;
}

// The most data values that backup values can explain at `level`, each
// backup value explaining one, as it is or at the level. Each backup value
// links the data value equal to it with the one its level gives, which is
// nearer zero; so the links form trees, and a pass from the values farthest
// from zero inwards, each serving its own value before the one nearer zero,
// explains as many as can be.
std::uint64_t MostExplained(std::span<const double> now, std::span<const double> before,
                            int level) {
  std::vector<std::pair<double, std::uint64_t>> wanted;  // distinct data values
  for (const double value : now) {
    if (wanted.empty() || wanted.back().first != value) wanted.emplace_back(value, 0);
    ++wanted.back().second;
  }
  const auto serve = [&](double value, std::uint64_t& offered) {
    const auto found = std::lower_bound(
        wanted.begin(), wanted.end(), value,
        [](const auto& entry, double v) { return entry.first < v; });
    if (found == wanted.end() || found->first != value) return std::uint64_t{0};
    const std::uint64_t taken = std::min(offered, found->second);
    found->second -= taken;
    offered -= taken;
    return taken;
  };
  std::uint64_t explained = 0;
  std::size_t low = 0;              // next negative value, from the lowest up
  std::size_t high = before.size();  // past the next positive one, downwards
  while (low < high) {
    const bool fromLow = std::fabs(before[low]) > std::fabs(before[high - 1]);
    const double value = fromLow ? before[low] : before[high - 1];
    std::uint64_t offered = 0;
    while (low < high && (fromLow ? before[low] : before[high - 1]) == value) {
      ++offered;
      fromLow ? ++low : --high;
    }
    explained += serve(value, offered);
    const double patched = PatchedBrakeValue(value, level);
    if (patched != value) explained += serve(patched, offered);
  }
  return explained;
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

unsigned LevelsExplaining(double now, double before) {
  unsigned byLevels = 0;
  for (int l = 0; l < kUntouchedLevel; ++l) {
    if (PatchedBrakeValue(before, l) == now) byLevels |= 1u << l;
  }
  return byLevels;
}

void BrakeEvidence::AddValues(std::span<const double> now,
                              std::span<const double> before) {
  own += CommonValues(now, before, [](double value) { return value; });
  for (int l = 0; l < kUntouchedLevel; ++l) {
    level[l] += CommonValues(
        now, before, [l](double value) { return PatchedBrakeValue(value, l); });
    neither[l] += now.size() - MostExplained(now, before, l);
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
