// Fuzz target: PatchRecordStream against the byte-at-a-time reference model.
// The first input byte picks the level (0 to 4), the rest is the stream.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "record_patch.h"
#include "reference_patch.h"

namespace {

// Where `got` and `expected` first differ, for the failure message.
std::string FirstDifference(const std::string& got,
                            const std::string& expected) {
  std::size_t i = 0;
  while (i < got.size() && i < expected.size() && got[i] == expected[i]) ++i;
  return "first difference at byte " + std::to_string(i) + " of " +
         std::to_string(got.size()) + " written, " +
         std::to_string(expected.size()) + " expected";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const int level = data[0] % 5;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string at = " at level " + std::to_string(level);

  std::string output;
  const StreamResult result = PatchInMemory(input, level, output);
  const std::string expected = ReferencePatch(input, level);
  const bool tooLong =
      level < kUntouchedLevel && LongestBrakeField(input) >= kFieldCapacity;
  switch (result) {
    case StreamResult::kDone:
      if (tooLong)
        Fail("finished over a brake field of 1024+ bytes" + at, input);
      if (output != expected) {
        Fail("output differs from the reference" + at + ", " +
                 FirstDifference(output, expected),
             input);
      }
      break;
    case StreamResult::kBrakeFieldTooLong:
      if (!tooLong) Fail("reported a brake field too long wrongly" + at, input);
      // What was written before stopping must be the start of the output.
      if (expected.compare(0, output.size(), output) != 0) {
        Fail("partial output differs from the reference" + at + ", " +
                 FirstDifference(output, expected),
             input);
      }
      break;
    case StreamResult::kReadError:
      Fail("read error on a memory stream" + at, input);
    case StreamResult::kWriteError:
      Fail("write error on a memory stream" + at, input);
  }
  return 0;
}
