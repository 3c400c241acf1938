// Fuzz target: RewriteBrakeField and PatchedBrakeValue. The first input byte
// picks the level (0 to 3), the rest is the field. Everywhere the result must
// have the shape "%.3f" gives; with glibc it must be exactly what strtod and
// snprintf give in the C locale, which read and print decimals exactly.

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_support.h"
#include "record_patch.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An optional '-', one or more digits, a point and exactly three digits.
bool HasFixedThreeShape(std::string_view text) {
  if (!text.empty() && text[0] == '-') text.remove_prefix(1);
  if (text.size() < 5 || text[text.size() - 4] != '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != text.size() - 4 && !IsDigit(text[i])) return false;
  }
  return true;
}

#ifdef __GLIBC__
// What glibc makes of `field` at `level`; empty when strtod reads a number
// the engine does not (hexadecimal, infinity, NaN). Out of range numbers
// become the largest finite double or zero of their sign, as the engine
// promises.
std::string GlibcRewrite(const std::string& field, int level) {
  // strtod stops at the first NUL byte; so does the engine's number.
  const char* begin = field.c_str();
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(begin, &end);
  const bool outOfRange = errno == ERANGE;
  const std::string_view read(begin, static_cast<std::size_t>(end - begin));
  if (read.find_first_of("xXiInN") != std::string_view::npos) return {};
  if (outOfRange && std::isinf(value)) value = std::copysign(DBL_MAX, value);
  char text[512];
  std::snprintf(text, sizeof text, "%.3f", value * (level * 0.25));
  return text;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const int level = data[0] % 4;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string at = " at level " + std::to_string(level);

  std::string field = input;
  RewriteBrakeField(field, kBrakeFieldColumn, level);
  if (!HasFixedThreeShape(field)) Fail("wrote \"" + field + "\"" + at, input);
  if (level == 0 && field != "0.000" && field != "-0.000") {
    Fail("wrote \"" + field + "\"" + at, input);
  }
#ifdef __GLIBC__
  const std::string expected = GlibcRewrite(input, level);
  if (!expected.empty() && field != expected) {
    Fail("wrote \"" + field + "\", glibc \"" + expected + "\"" + at, input);
  }
#endif

  // The number of the text written, which PatchedBrakeValue finds without
  // writing it where it can.
  if (PatchedBrakeValue(BrakeFieldValue(input), level) != BrakeFieldValue(field)) {
    Fail("PatchedBrakeValue differs from the text written" + at, input);
  }

  // The number written for a larger value is never smaller: reading a car's
  // state pairs sorted values with sorted written numbers.
  double low = 0, high = 0;
  if (input.size() >= 2 * sizeof low) {
    std::memcpy(&low, input.data(), sizeof low);
    std::memcpy(&high, input.data() + sizeof low, sizeof high);
    if (low > high) std::swap(low, high);
    if (std::isfinite(low) && std::isfinite(high) &&
        PatchedBrakeValue(low, level) > PatchedBrakeValue(high, level)) {
      Fail("wrote a smaller number for a larger value" + at, input);
    }
    char text[kFieldCapacity];
    if (std::isfinite(low) &&
        PatchedBrakeValue(low, level) != BrakeFieldValue(PatchedBrakeText(low, level, text))) {
      Fail("PatchedBrakeValue differs from the text written" + at, input);
    }
  }

  // Other columns and the untouched level leave any field as it is.
  std::string other = input;
  RewriteBrakeField(other, kBrakeFieldColumn + 1, level);
  RewriteBrakeField(other, kBrakeFieldColumn, kUntouchedLevel);
  if (other != input) Fail("changed a field it must leave" + at, input);
  return 0;
}
