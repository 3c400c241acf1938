#include <clocale>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "record_patch.h"
#include "test_support.h"

namespace {

// A record whose brake field holds `brake`, ended by CR LF.
std::string RecordWithBrake(const std::string& brake) {
  std::string record;
  for (int column = 0; column < 300; ++column) {
    if (column > 0) record += ',';
    record += column == kBrakeFieldColumn ? brake : std::to_string(column);
  }
  return record + "\r\n";
}

std::string Rewritten(std::string field, int level,
                      int column = kBrakeFieldColumn) {
  RewriteBrakeField(field, column, level);
  return field;
}

// ---------------------------------------------------------------------------
// The brake field: levels, number reading and number writing.

TEST(BrakeFieldTest, LevelsScaleByQuarters) {
  EXPECT_EQ(Rewritten("12.5", 0), "0.000");
  EXPECT_EQ(Rewritten("12.5", 1), "3.125");
  EXPECT_EQ(Rewritten("12.5", 2), "6.250");
  EXPECT_EQ(Rewritten("12.5", 3), "9.375");
  EXPECT_EQ(Rewritten("12.5", kUntouchedLevel), "12.5");
}

TEST(BrakeFieldTest, OnlyTheBrakeColumnAtLevelsZeroToThreeIsRewritten) {
  EXPECT_EQ(Rewritten("12.5", 2, kBrakeFieldColumn - 1), "12.5");
  EXPECT_EQ(Rewritten("12.5", 2, kBrakeFieldColumn + 1), "12.5");
  EXPECT_EQ(Rewritten("12.5", 2, 0), "12.5");
  EXPECT_EQ(Rewritten("text", kUntouchedLevel), "text");
  EXPECT_EQ(Rewritten("12.5", -1), "12.5");
  EXPECT_EQ(Rewritten("12.5", 5), "12.5");
}

TEST(BrakeFieldTest, ReadsTheLeadingDecimalNumberAsTheCLocaleDoes) {
  const struct {
    const char* field;
    const char* halved;
  } cases[] = {
      {"12.5", "6.250"},     {" \t\v\f12.5", "6.250"}, {"+8", "4.000"},
      {"-8", "-4.000"},      {"7.5abc", "3.750"},      {".5", "0.250"},
      {"5.", "2.500"},       {"1e2", "50.000"},        {"1E+2x", "50.000"},
      {"2.5e-1", "0.125"},   {"1e", "0.500"},          {"1e+", "0.500"},
      {"1.5.5", "0.750"},    {"0x10", "0.000"},        {"0X1p4", "0.000"},
      {"inf", "0.000"},      {"-infinity", "0.000"},   {"nan", "0.000"},
      {"NAN(1)", "0.000"},   {".", "0.000"},           {"-", "0.000"},
      {"", "0.000"},         {"abc", "0.000"},         {"--5", "0.000"},
      {"+-5", "0.000"},      {"-abc", "0.000"},        {"\"5\"", "0.000"},
      {"-0", "-0.000"},      {"-0.0001", "-0.000"},    {"007", "3.500"},
      {"1e-400", "0.000"},   {"-1e-400", "-0.000"},    {"12 5", "6.000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Rewritten(c.field, 2), c.halved) << '"' << c.field << '"';
  }
}

TEST(BrakeFieldTest, RoundsExactlyWithTiesToEvenAsPrintfDoes) {
  EXPECT_EQ(Rewritten("0.25", 1), "0.062");    // 0.0625 exactly
  EXPECT_EQ(Rewritten("0.75", 1), "0.188");    // 0.1875 exactly
  EXPECT_EQ(Rewritten("0.0025", 2), "0.001");  // just below 0.00125
  EXPECT_EQ(Rewritten("2.0009", 2), "1.000");  // 1.00045
  EXPECT_EQ(Rewritten("0.003", 3), "0.002");   // 0.00225 is not exact
  EXPECT_EQ(Rewritten("9007199254740993", 2), "4503599627370496.000");
  EXPECT_EQ(Rewritten("1.00000000000000011102230246251565404236316680908203126", 2),
            "0.500");
}

TEST(BrakeFieldTest, NumbersBeyondTheRangeOfADoubleStayFinite) {
  const std::string halfOfLargest =
      "8988465674311578540726371186585217839903528376292249829945873840157863"
      "0390014269380294779316383439085770229476757191232117160663444732091384"
      "2337733517687584930249552882756410381227450451946644720379342542275669"
      "7115229161845161147408290427966606167413739891310207236158436908859045"
      "9649940625202013092062429184.000";
  EXPECT_EQ(Rewritten("1e400", 2), halfOfLargest);
  EXPECT_EQ(Rewritten("-1e999999999999999999999", 2), "-" + halfOfLargest);
  EXPECT_EQ(Rewritten("1e400", 0), "0.000");
  EXPECT_EQ(Rewritten("100000e305", 2), halfOfLargest);
  EXPECT_EQ(Rewritten("0.0001e-320", 2), "0.000");
  // Long runs of zeros that cancel out are not out of range at all.
  EXPECT_EQ(Rewritten("0." + std::string(399, '0') + "1e400", 2), "0.500");
  EXPECT_EQ(Rewritten("1" + std::string(400, '0') + "e-400", 2), "0.500");
}

TEST(BrakeFieldTest, IgnoresTheProcessLocale) {
  const char* const commaLocales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "German",
                                      "French"};
  const char* chosen = nullptr;
  for (const char* name : commaLocales) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma here";
  const std::string halved = Rewritten("12.5", 2);
  const std::string padded = Rewritten("\xA0" "12.5", 2);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(halved, "6.250") << chosen;
  EXPECT_EQ(padded, "0.000") << chosen;
}

#ifndef _WIN32
// glibc reads and prints decimals exactly; the engine must give its bytes
// without using it.
TEST(BrakeFieldTest, AgreesWithGlibcOnRandomNumbers) {
  std::mt19937_64 random(278);
  for (int i = 0; i < 20000; ++i) {
    std::string text = (random() % 4 == 0 ? "-" : "") +
                       std::to_string(random() % 100000);
    if (random() % 2) text += "." + std::to_string(random() % 100000000);
    if (random() % 3 == 0) {
      text += "e" + std::to_string(static_cast<int>(random() % 40) - 20);
    }
    const int level = static_cast<int>(random() % 4);
    char expected[512];
    std::snprintf(expected, sizeof expected, "%.3f",
                  std::strtod(text.c_str(), nullptr) * (level * 0.25));
    ASSERT_EQ(Rewritten(text, level), expected) << text << " at level " << level;
  }
}
#endif

// The number of the text a level writes, which reading a car's state finds
// without writing it: near ties (k / 16 and k / 2000 scaled by a quarter),
// two-decimal values and any doubles.
TEST(BrakeFieldTest, PatchedValueIsTheNumberOfTheTextWritten) {
  std::mt19937_64 random(279);
  for (int i = 0; i < 200000; ++i) {
    const double value = i % 4 == 0   ? static_cast<double>(random() % 400000) / 16
                         : i % 4 == 1 ? static_cast<double>(random() % 4000000) / 2000
                         : i % 4 == 2 ? static_cast<double>(random() % 2000000) / 100
                                      : std::ldexp(static_cast<double>(random() >> 11),
                                                   static_cast<int>(random() % 120) - 80);
    const double signedValue = random() % 2 ? -value : value;
    const int level = i % 4;
    char written[kFieldCapacity];
    ASSERT_EQ(PatchedBrakeValue(signedValue, level),
              BrakeFieldValue(PatchedBrakeText(signedValue, level, written)))
        << signedValue << " at level " << level;
  }
}

// ---------------------------------------------------------------------------
// The record stream.

TEST(RecordStreamTest, EndOfInputAddsTwoRecordEnds) {
  EXPECT_EQ(PatchBytes("a,b\r\n", 2), "a,b\r\n\r\n\r\n");
  EXPECT_EQ(PatchBytes("a,b", 2), "a,b\r\n\r\n");
  EXPECT_EQ(PatchBytes("", 2), "\r\n\r\n");
}

TEST(RecordStreamTest, CarriageReturnEndsRecordsAndLineFeedsVanish) {
  EXPECT_EQ(PatchBytes("a\rb\r", 4), "a\r\nb\r\n\r\n\r\n");
  EXPECT_EQ(PatchBytes("a\nb\n\n", 4), "ab\r\n\r\n");
  EXPECT_EQ(PatchBytes("a\n\rb", 4), "a\r\nb\r\n\r\n");
}

TEST(RecordStreamTest, NulBytesAreDroppedAndQuotesAreOrdinaryText) {
  EXPECT_EQ(PatchBytes(std::string("a\0b,\0,c", 7), 4), "ab,,c\r\n\r\n");
  EXPECT_EQ(PatchBytes("\"x,y\",z\r\n", 4), "\"x,y\",z\r\n\r\n\r\n");
}

TEST(RecordStreamTest, RewritesTheBrakeFieldOfEveryRecordIncludingTheHeader) {
  const std::string input = RecordWithBrake("brake") + RecordWithBrake("12.5") +
                            RecordWithBrake("7.5abc") + RecordWithBrake("");
  const std::string expected = RecordWithBrake("0.000") +
                               RecordWithBrake("6.250") +
                               RecordWithBrake("3.750") +
                               RecordWithBrake("0.000") + "\r\n\r\n";
  EXPECT_EQ(PatchBytes(input, 2), expected);
}

TEST(RecordStreamTest, ShortRecordsAndOtherFieldsPassUnchanged) {
  std::string shortRecord;
  for (int column = 0; column < kBrakeFieldColumn; ++column) {
    shortRecord += std::to_string(column) + ".5,";
  }
  shortRecord += "1.5\r\n";  // 279 fields end at column 278, 278 do not
  std::string tooShort = shortRecord;
  tooShort.erase(tooShort.rfind(','));
  tooShort += "\r\n";
  EXPECT_EQ(PatchBytes(tooShort, 0), tooShort + "\r\n\r\n");
  EXPECT_EQ(PatchBytes(shortRecord, 0),
            shortRecord.substr(0, shortRecord.size() - 5) + "0.000\r\n\r\n\r\n");
}

TEST(RecordStreamTest, ColumnsRunOnAcrossLineFeedOnlyLines) {
  std::string lines;
  for (int column = 0; column < kBrakeFieldColumn; ++column) {
    lines += std::to_string(column) + (column % 10 == 9 ? ",\n" : ",");
  }
  lines += "10\n";
  std::string expected = lines;
  std::erase(expected, '\n');
  expected.replace(expected.rfind("10"), 2, "5.000");
  EXPECT_EQ(PatchBytes(lines, 2), expected + "\r\n\r\n");
}

TEST(RecordStreamTest, UntouchedLevelChangesOnlyLineEndsNulsAndTheEnd) {
  const std::string input = RecordWithBrake("12.5") + "x\ny" +
                            std::string(1, '\0') + "\r";
  EXPECT_EQ(PatchBytes(input, kUntouchedLevel),
            RecordWithBrake("12.5") + "xy\r\n\r\n\r\n");
}

TEST(RecordStreamTest, MatchesTheReferenceModelAcrossBlockBoundaries) {
  std::mt19937 random(7);
  const char alphabet[] = "0123456789.-e, \r\n\0abc";
  for (int round = 0; round < 4; ++round) {
    // Mostly well-formed records, salted with every byte that matters.
    std::string input = MakeCarData(round, 600, "12.5");
    for (int i = 0; i < 2000; ++i) {
      input[random() % input.size()] = alphabet[random() % (sizeof alphabet - 1)];
    }
    for (int level = 0; level <= kUntouchedLevel; ++level) {
      ASSERT_EQ(PatchBytes(input, level), ReferencePatch(input, level))
          << "round " << round << " level " << level;
    }
  }
}

TEST(RecordStreamTest, LongFieldsStreamThroughWithoutLimit) {
  const std::string longText(5000, 'x');
  const std::string input = longText + "," + RecordWithBrake(longText);
  EXPECT_EQ(PatchBytes(input, 2), ReferencePatch(input, 2));
  EXPECT_EQ(PatchBytes(RecordWithBrake(longText), kUntouchedLevel),
            RecordWithBrake(longText) + "\r\n\r\n");
}

TEST(RecordStreamTest, BrakeFieldUpToTheCapacityIsRewritten) {
  const std::string longest =
      "2" + std::string(kFieldCapacity - 2, ' ') + std::string(1, '\0');
  EXPECT_EQ(PatchBytes(RecordWithBrake(longest), 2),
            RecordWithBrake("1.000") + "\r\n\r\n");
}

// ---------------------------------------------------------------------------
// Stream failures, forced for real.

class StreamFailureTest : public EngineTest {
 protected:
  TempFolder folder_;
  std::FILE* Open(const std::string& name, const char* mode,
                  const std::string& contents = {}) {
    const fs::path file = folder_.path() / name;
    if (!fs::exists(file)) WriteBytes(file, contents);
    return std::fopen(file.string().c_str(), mode);
  }
};

TEST_F(StreamFailureTest, BrakeFieldOverTheCapacityStops) {
  std::FILE* in = Open("in.csv", "rb",
                       RecordWithBrake(std::string(kFieldCapacity, '1')));
  std::FILE* out = Open("out.csv", "wb");
  EXPECT_EQ(PatchRecordStream(in, out, 2), StreamResult::kBrakeFieldTooLong);
  std::fclose(in);
  std::fclose(out);
}

TEST_F(StreamFailureTest, ReadErrorStops) {
  // A stream over a file opened only for writing cannot be read.
#ifdef _WIN32
  WriteBytes(folder_.path() / "in.csv", RecordWithBrake("1"));
  std::FILE* in = _fdopen(
      _open((folder_.path() / "in.csv").string().c_str(), _O_WRONLY | _O_BINARY),
      "rb");
#else
  std::FILE* in = Open("in.csv", "ab", RecordWithBrake("1"));
#endif
  std::FILE* out = Open("out.csv", "wb");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(PatchRecordStream(in, out, 2), StreamResult::kReadError);
  std::fclose(in);
  std::fclose(out);
}

TEST_F(StreamFailureTest, WriteErrorStops) {
  std::FILE* in = Open("in.csv", "rb", MakeCarData(1, 400, "1"));
#ifdef _WIN32
  std::FILE* out = Open("out.csv", "rb");  // a read-only stream
#else
  std::FILE* out = std::fopen("/dev/full", "wb");
#endif
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(PatchRecordStream(in, out, 2), StreamResult::kWriteError);
  std::fclose(in);
  std::fclose(out);
}

}  // namespace
