// Cars changed after an Apply, generated from fixed seeds: game updates must
// become the cars' new originals and edits of a tweak must be left alone,
// wherever the brake values leave no doubt which they are; and cars through
// long random lives of updates, edits and runs.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "car_files.h"
#include "car_state.h"
#include "record_patch.h"
#include "runs.h"
#include "test_support.h"

namespace {

constexpr int kFields = 300;
constexpr int kBrake = 278;
constexpr int kLevels = 4;  // 0% to 75%

using Record = std::vector<std::string>;  // its fields; none for an empty one
using Records = std::vector<Record>;

// How a car's records stand to one another.
enum class Shape { kOwn, kAlike, kRepeated, kMixed };
constexpr std::array<const char*, 4> kShapeNames = {
    "records of their own", "records alike but for the brake", "records repeated whole",
    "look-alikes among named records"};

// The records before the empty ones a patch adds at the end.
int Filled(const Records& car) {
  return static_cast<int>(std::find_if(car.begin(), car.end(),
                                       [](const Record& r) { return r.empty(); }) -
                          car.begin());
}

std::string Fixed(double value, int decimals) {
  char text[64];
  return {text, std::to_chars(text, text + sizeof text, value,
                              std::chars_format::fixed, decimals).ptr};
}

// A field's number as a plain decimal reader takes it; 0 for any other text.
double Number(const std::string& field) {
  double value = 0;
  const char* begin = field.data() + (!field.empty() && field[0] == '+');
  std::from_chars(begin, field.data() + field.size(), value);
  return value;
}

bool IsNumber(const std::string& field) {
  double value;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return !field.empty() && error == std::errc() && end == field.data() + field.size();
}

class CarMaker {
 public:
  explicit CarMaker(unsigned seed) : random_(seed) {}

  int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

  // A car's brakes: round steps, two-decimal values, or either mixed with
  // zeros and empty fields.
  std::string Brake(int style) {
    static const char* const kSteps[] = {"0.5", "1.0", "1.5", "2.0", "2.5",
                                         "3.0", "4.0", "5.0", "6.0", "8.0"};
    if (style == 2 && Below(2) == 0) return Below(3) == 0 ? "" : "0";
    if (style == 0 || (style == 2 && Below(2) == 0)) return kSteps[Below(10)];
    return Fixed((1 + Below(2000)) / 100.0, 2);
  }

  std::string Other() {
    switch (Below(7)) {
      case 0: case 1: case 2: return Fixed((Below(250000) - 50000) / 100.0, 2);
      case 3: case 4: return std::to_string(Below(1000));
      case 5: return "part_" + std::to_string(Below(500));
      default: return "";
    }
  }

  Record MakeRecord(int brakeStyle) {
    Record record;
    for (int column = 0; column < kFields; ++column) {
      record.push_back(column == kBrake ? Brake(brakeStyle) : Other());
    }
    return record;
  }

  Records MakeCar(int brakeStyle) {
    Records car;
    for (int n = 1 + Below(40); n > 0; --n) car.push_back(MakeRecord(brakeStyle));
    return car;
  }

  Record LookAlike(Record record, int brakeStyle) {
    record[kBrake] = Brake(brakeStyle);
    return record;
  }

  // Two to 40 records: alike but for the brake; each a copy of an earlier
  // one, whole, two times in three; or each of its own or a look-alike of
  // one of two kinds.
  Records MakeCar(Shape shape, int brakeStyle) {
    if (shape == Shape::kOwn) return MakeCar(brakeStyle);
    const Records kinds = {MakeRecord(brakeStyle), MakeRecord(brakeStyle)};
    Records car;
    for (int n = 2 + Below(39); n > 0; --n) {
      if (shape == Shape::kAlike) {
        car.push_back(LookAlike(kinds[0], brakeStyle));
      } else if (shape == Shape::kRepeated) {
        car.push_back(car.empty() || Below(3) == 0
                          ? MakeRecord(brakeStyle)
                          : car[Below(static_cast<int>(car.size()))]);
      } else {
        car.push_back(Below(2) ? MakeRecord(brakeStyle)
                               : LookAlike(kinds[Below(2)], brakeStyle));
      }
    }
    return car;
  }

  // Adds one to five records: each of its own, or a look-alike of one of
  // the car's records, its brake new.
  void AddRecords(Records& car, int brakeStyle) {
    for (int n = 1 + Below(5); n > 0; --n) {
      const int filled = Filled(car);
      const Record added = filled == 0 || Below(2)
                               ? MakeRecord(brakeStyle)
                               : LookAlike(car[Below(filled)], brakeStyle);
      car.insert(car.begin() + Below(filled + 1), added);
    }
  }

  // Removes `count` records at random, keeping one at least.
  void RemoveRecords(Records& car, int count) {
    for (int filled = Filled(car); count > 0 && filled > 1; --count, --filled) {
      car.erase(car.begin() + Below(filled));
    }
  }

  template <typename T>
  void Shuffle(T begin, T end) { std::shuffle(begin, end, random_); }

 private:
  std::mt19937 random_;
};

std::string Joined(const Records& records) {
  std::string text;
  for (const Record& record : records) {
    for (std::size_t i = 0; i < record.size(); ++i) text.append(i ? "," : "").append(record[i]);
    text += "\r\n";
  }
  return text;
}

Records Split(const std::string& text) {
  Records records;
  for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
    end = std::min(text.find("\r\n", start), text.size());
    Record record;
    for (std::size_t from = start, comma; from <= end; from = comma + 1) {
      comma = std::min(text.find(',', from), end);
      if (end > start) record.push_back(text.substr(from, comma - from));
    }
    records.push_back(std::move(record));
  }
  return records;
}

// Every numeric field of every record rewritten by `rewrite`.
Records MapNumbers(Records records, const std::function<std::string(const std::string&)>& rewrite) {
  for (Record& record : records) {
    for (std::string& field : record) {
      if (IsNumber(field)) field = rewrite(field);
    }
  }
  return records;
}

// The trial's change: the game's new file made from the original, or an
// edit made to the tweaked file.
struct Family {
  const char* name;
  bool update;
  std::function<void(Records&, CarMaker&, int brakeStyle)> change;
};

const std::vector<Family>& Families() {
  static const std::vector<Family> families = {
      {"update: every brake new", true,
       [](Records& car, CarMaker& make, int style) {
         for (Record& record : car) record[kBrake] = make.Brake(style);
       }},
      {"update: every field new", true,
       [](Records& car, CarMaker& make, int style) {
         for (Record& record : car) record = make.MakeRecord(style);
       }},
      {"update: a quarter of the brakes new", true,
       [](Records& car, CarMaker& make, int style) {
         std::vector<std::size_t> order(car.size());
         for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
         make.Shuffle(order.begin(), order.end());
         for (std::size_t i = 0; i < std::max<std::size_t>(1, car.size() / 4); ++i) {
           car[order[i]][kBrake] = make.Brake(style);
         }
       }},
      {"update: records added", true,
       [](Records& car, CarMaker& make, int style) {
         for (int n = 1 + make.Below(5); n > 0; --n) {
           car.insert(car.begin() + make.Below(static_cast<int>(car.size()) + 1),
                      make.MakeRecord(style));
         }
       }},
      {"update: numbers with more decimals", true,
       [](Records& car, CarMaker&, int) {
         car = MapNumbers(car, [](const std::string& field) {
           return field + (field.find('.') == std::string::npos ? ".000" : "00");
         });
       }},
      {"edit: numbers in their shortest form", false,
       [](Records& car, CarMaker&, int) {
         car = MapNumbers(car, [](const std::string& field) {
           char text[64];
           return std::string(text, std::to_chars(text, text + sizeof text,
                                                  Number(field)).ptr);
         });
       }},
      {"edit: header record added", false,
       [](Records& car, CarMaker&, int) {
         Record header;
         for (int column = 0; column < kFields; ++column) {
           header.push_back("col" + std::to_string(column));
         }
         car.insert(car.begin(), header);
       }},
      {"edit: first record removed", false,
       [](Records& car, CarMaker&, int) { car.erase(car.begin()); }},
      {"edit: records shuffled", false,
       [](Records& car, CarMaker& make, int) {
         const auto end = std::find_if(car.begin(), car.end(),
                                       [](const Record& r) { return r.empty(); });
         make.Shuffle(car.begin(), end);
       }},
      {"edit: one other field changed", false,
       [](Records& car, CarMaker& make, int) {
         Record& record = car[make.Below(Filled(car))];
         const int column = (kBrake + 1 + make.Below(kFields - 1)) % kFields;
         record[column] = "edited_" + record[column];
       }},
      {"edit: one brake changed by hand", false,
       [](Records& car, CarMaker& make, int) {
         Record& record = car[make.Below(Filled(car))];
         record[kBrake] = Fixed(Number(record[kBrake]) + 0.25 + make.Below(8), 3);
       }},
  };
  return families;
}

// Families that look-alike and repeated records make telling.
const std::vector<Family>& MoreFamilies() {
  static const std::vector<Family> families = {
      {"update: records added and dropped", true,
       [](Records& car, CarMaker& make, int style) {
         make.RemoveRecords(car, 1 + Filled(car) / 4);
         make.AddRecords(car, style);
       }},
      {"update: records reordered, half the brakes new", true,
       [](Records& car, CarMaker& make, int style) {
         make.Shuffle(car.begin(), car.end());
         for (std::size_t i = 0; i < std::max<std::size_t>(1, car.size() / 2); ++i) {
           car[i][kBrake] = make.Brake(style);
         }
       }},
      {"update: brakes mostly zero", true,
       [](Records& car, CarMaker& make, int) {
         for (Record& record : car) {
           if (make.Below(4) > 0) record[kBrake] = "0";
         }
       }},
      {"edit: another column rewritten everywhere", false,
       [](Records& car, CarMaker& make, int) {
         const int column = (kBrake + 1 + make.Below(kFields - 1)) % kFields;
         for (int i = 0; i < Filled(car); ++i) {
           std::string& field = car[i][column];
           field = IsNumber(field) ? Fixed(Number(field) * 2 + 1, 2) : field + "_mod";
         }
       }},
      {"edit: records added by another mod", false,
       [](Records& car, CarMaker& make, int style) { make.AddRecords(car, style); }},
      {"edit: look-alike records shuffled", false,
       [](Records& car, CarMaker& make, int) {
         std::map<Record, std::vector<int>> alike;  // other fields: records
         for (int i = 0; i < Filled(car); ++i) {
           Record others = car[i];
           others[kBrake].clear();
           alike[others].push_back(i);
         }
         for (const auto& [others, records] : alike) {
           std::vector<std::string> brakes;
           for (const int i : records) brakes.push_back(car[i][kBrake]);
           make.Shuffle(brakes.begin(), brakes.end());
           for (std::size_t k = 0; k < records.size(); ++k) car[records[k]][kBrake] = brakes[k];
         }
       }},
      {"edit: a quarter of the records removed", false,
       [](Records& car, CarMaker& make, int) {
         make.RemoveRecords(car, std::max(1, Filled(car) / 4));
       }},
  };
  return families;
}

// Both lists of families.
std::vector<const Family*> EveryFamily() {
  std::vector<const Family*> families;
  for (const auto* list : {&Families(), &MoreFamilies()}) {
    for (const Family& family : *list) families.push_back(&family);
  }
  return families;
}

// What the values say, counted as the patch's own numbers would give them
// but independently of the engine: per level, e = a - b and u, with a the
// data values the level explains, b those the backup's own values explain
// and u those that no pairing with backup values explains.
class Scores {
 public:
  Scores(const std::string& now, const std::string& before)
      : now_(Brakes(now)), before_(Brakes(before)) {}

  bool ClearEdit(int level) const {
    const int e = Explained(level, false) - Explained(level, true);
    return e >= 1 && e >= 2 * Unexplained(level);
  }
  bool ClearUpdate() const {
    for (int level = 0; level < kLevels; ++level) {
      const int e = Explained(level, false) - Explained(level, true);
      if (e > 0 && 2 * e >= Unexplained(level)) return false;
    }
    return true;
  }

 private:
  static double Patched(double value, int level) {
    return Number(Fixed(value * level * 0.25, 3));
  }
  bool Explains(double before, double now, int level, bool own, bool patched) const {
    return (own && now == before) || (patched && now == Patched(before, level));
  }
  // The most data values paired with distinct backup values that explain
  // them, as they are (`own`) or at the level: augmenting paths.
  int Matched(int level, bool own, bool patched) const {
    std::vector<int> pairOf(before_.size(), -1);
    int matched = 0;
    for (std::size_t n = 0; n < now_.size(); ++n) {
      std::vector<bool> seen(before_.size(), false);
      const std::function<bool(std::size_t)> augment = [&](std::size_t d) {
        for (std::size_t b = 0; b < before_.size(); ++b) {
          if (seen[b] || !Explains(before_[b], now_[d], level, own, patched)) continue;
          seen[b] = true;
          if (pairOf[b] < 0 || augment(static_cast<std::size_t>(pairOf[b]))) {
            pairOf[b] = static_cast<int>(d);
            return true;
          }
        }
        return false;
      };
      matched += augment(n);
    }
    return matched;
  }
  int Explained(int level, bool own) const { return Matched(level, own, !own); }
  int Unexplained(int level) const {
    return static_cast<int>(now_.size()) - Matched(level, true, true);
  }

  // The brake values of a file's records that have a brake field.
  static std::vector<double> Brakes(const std::string& text) {
    std::vector<double> brakes;
    for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
      end = std::min(text.find("\r\n", start), text.size());
      std::size_t at = start;
      int column = 0;
      for (std::size_t comma; column < kBrake && (comma = text.find(',', at)) < end; ++column) {
        at = comma + 1;
      }
      if (column == kBrake) {
        brakes.push_back(Number(text.substr(at, std::min(text.find(',', at), end) - at)));
      }
    }
    return brakes;
  }

  std::vector<double> now_, before_;
};

struct Tally {
  int trials = 0, clear = 0, wrongClear = 0, wrongUnclear = 0;

  void Add(bool isClear, bool wrong) {
    ++trials;
    clear += isClear;
    (isClear ? wrongClear : wrongUnclear) += wrong;
  }
  void Print(const char* name) const {
    const int unclear = trials - clear;
    std::printf("%-47s %6d %6d %5d (%4.1f%%) %5d of %4d (%5.1f%%)\n", name, trials, clear,
                wrongClear, 100.0 * wrongClear / std::max(1, clear), wrongUnclear, unclear,
                100.0 * wrongUnclear / std::max(1, unclear));
  }
};

void PrintHeading(const char* what) {
  std::printf("%-47s %6s %6s %13s %16s\n", what, "trials", "clear", "wrong, clear",
              "wrong, unclear");
}

TEST(ChangedCarsTest, GeneratedUpdatesAndEditsGetTheirVerdicts) {
  constexpr int kFoldersPerFamily = 4;
  PrintHeading("family");
  int seed = 0;
  for (const Family& family : Families()) {
    Tally tally;
    for (int folderIndex = 0; folderIndex < kFoldersPerFamily; ++folderIndex) {
      const int level = folderIndex % kLevels;
      CarMaker make(static_cast<unsigned>(++seed));
      TempFolder folder(true);
      std::string path = folder.DataPath();
      std::vector<std::string> originals, changed;
      for (const char* id : kCarIds) {
        originals.push_back(Joined(make.MakeCar(id[0] % 3)));
        WriteBytes(CarDataFile(folder.path(), id), originals.back());
      }
      ApplyRun(path, level);
      for (std::size_t i = 0; i < kCarIds.size(); ++i) {
        const fs::path data = CarDataFile(folder.path(), kCarIds[i]);
        Records car = Split(family.update ? originals[i] : ReadBytes(data));
        family.change(car, make, kCarIds[i][0] % 3);
        changed.push_back(Joined(car));
        WriteBytes(data, changed.back());
      }
      ClearNotices();
      ApplyRun(path, level);
      for (const std::string& notice : Notices()) {
        EXPECT_EQ(notice.find("Failed"), std::string::npos) << notice;
      }
      for (std::size_t i = 0; i < kCarIds.size(); ++i) {
        const std::string& id = kCarIds[i];
        const std::string backup = ReadBytes(CarBackupFile(folder.path(), id));
        // The original is never lost: the backup still, or kept beside it.
        const bool tookAsGames = backup == changed[i];
        EXPECT_EQ(tookAsGames && changed[i] != originals[i]
                      ? ReadBytes(CarKeptBackupFile(folder.path(), id))
                      : backup,
                  originals[i]) << family.name << ", car " << id;
        const Scores scores(changed[i], originals[i]);
        const bool clear = family.update ? scores.ClearUpdate() : scores.ClearEdit(level);
        const bool wrong = family.update ? !tookAsGames
                                         : tookAsGames && changed[i] != originals[i];
        tally.Add(clear, wrong);
        EXPECT_FALSE(clear && wrong) << family.name << ", car " << id << " at level "
                                     << level << ":\n" << changed[i];
      }
    }
    tally.Print(family.name);
  }
}

// Every family on cars of every shape, each car's state read from its two
// files (as a run reads it): the rates per family and per shape.
TEST(ChangedCarsTest, VerdictsHoldOnCarsOfEveryShape) {
  // Of each shape and family; fewer where a trial costs several times more:
  // under Wine, whose file operations take milliseconds, and with the
  // address sanitizer.
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__)
  constexpr int kTrialsPerCase = 12;
#else
  constexpr int kTrialsPerCase = 32;
#endif
  const std::vector<const Family*> families = EveryFamily();
  std::vector<Tally> byFamily(families.size()), byShape(kShapeNames.size());
  const TempFolder folder(true);
  const fs::path backupFile = folder.path() / "backup.csv";
  const fs::path dataFile = folder.path() / "data.csv";
  unsigned seed = 1000;
  for (std::size_t shape = 0; shape < kShapeNames.size(); ++shape) {
    for (std::size_t f = 0; f < families.size(); ++f) {
      const Family& family = *families[f];
      for (int trial = 0; trial < kTrialsPerCase; ++trial) {
        CarMaker make(++seed);
        const int style = make.Below(3), level = trial % kLevels;
        const std::string original = Joined(make.MakeCar(static_cast<Shape>(shape), style));
        const std::string from = family.update ? original : ReferencePatch(original, level);
        Records car = Split(from);
        family.change(car, make, style);
        const std::string changed = Joined(car);
        if (changed == from) continue;  // nothing to change: no look-alikes, say
        WriteBytes(backupFile, original);
        WriteBytes(dataFile, changed);
        const CarState state = ReadCarState(dataFile.string(), backupFile.string());
        ASSERT_TRUE(state == CarState::kUpdatedByGame || state == CarState::kEditedAfterTweak)
            << family.name << ", " << kShapeNames[shape];
        const Scores scores(changed, original);
        const bool clear = family.update ? scores.ClearUpdate() : scores.ClearEdit(level);
        const bool wrong = (state == CarState::kUpdatedByGame) != family.update;
        byFamily[f].Add(clear, wrong);
        byShape[shape].Add(clear, wrong);
        EXPECT_FALSE(clear && wrong) << family.name << ", " << kShapeNames[shape]
                                     << ", level " << level << ":\n" << changed;
      }
    }
  }
  PrintHeading("family");
  for (std::size_t f = 0; f < families.size(); ++f) byFamily[f].Print(families[f]->name);
  PrintHeading("shape");
  for (std::size_t shape = 0; shape < kShapeNames.size(); ++shape) {
    byShape[shape].Print(kShapeNames[shape]);
  }
}

// A car of records from many makings of one shape, over `bytes` long.
Records BigCar(CarMaker& make, Shape shape, int style, std::size_t bytes) {
  Records car;
  for (std::size_t size = 0; size <= bytes;) {
    for (Record& record : make.MakeCar(shape, style)) {
      size += Joined({record}).size();
      car.push_back(std::move(record));
    }
  }
  return car;
}

// A backup as other programs may have written it, which the patch reads the
// same: line feeds and NULs inside some fields, some records ended by a lone
// CR, and, where `overlongBrake`, a brake field over the patch's capacity
// (which only level 4 passes).
std::string Roughened(const Records& car, CarMaker& make, bool overlongBrake) {
  std::string text;
  for (std::size_t r = 0; r < car.size(); ++r) {
    for (std::size_t i = 0; i < car[r].size(); ++i) {
      std::string field = car[r][i];
      if (overlongBrake && r == 0 && static_cast<int>(i) == kBrake) {
        field = std::string(1100, '9');
      } else if (!field.empty() && make.Below(50) == 0) {
        field.insert(make.Below(static_cast<int>(field.size())), 1, make.Below(2) ? '\n' : '\0');
      }
      text.append(i ? "," : "").append(field);
    }
    text += make.Below(8) == 0 ? "\r" : "\r\n";
  }
  return text;
}

// The verdict on a changed car rests on its records, not on their order:
// records that the state read passes in step with the backup's, whatever
// level fits them, pair as those it reads out of step do. Every family on
// cars of every shape is read as changed and then with its records in
// reverse order; some cars span the reads' blocks (a megabyte), some
// backups are roughened, and the tweak is at any level, 100% included.
TEST(ChangedCarsTest, VerdictsDoNotDependOnTheOrderOfRecords) {
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__)
  constexpr int kTrialsPerCase = 3;
#else
  constexpr int kTrialsPerCase = 8;
#endif
  const std::vector<const Family*> families = EveryFamily();
  const TempFolder folder(true);
  const fs::path backupFile = folder.path() / "backup.csv";
  const fs::path dataFile = folder.path() / "data.csv";
  const auto stateOf = [&](const Records& car) {
    WriteBytes(dataFile, Joined(car));
    return ReadCarState(dataFile.string(), backupFile.string());
  };
  unsigned seed = 5000;
  int compared = 0;
  for (std::size_t shape = 0; shape < kShapeNames.size(); ++shape) {
    for (std::size_t f = 0; f < families.size(); ++f) {
      const Family* family = families[f];
      for (int trial = 0; trial < kTrialsPerCase; ++trial) {
        CarMaker make(++seed);
        const int style = make.Below(3), level = trial % (kUntouchedLevel + 1);
        const bool big = trial == 1 && (f + shape) % 8 == 0, rough = trial % 3 == 2;
        const Records original =
            big ? BigCar(make, static_cast<Shape>(shape), style, 1100 * 1000)
                : make.MakeCar(static_cast<Shape>(shape), style);
        const std::string backup =
            rough ? Roughened(original, make, level == kUntouchedLevel) : Joined(original);
        // The tweak, or the game's records as the patch reads the backup.
        Records from = Split(ReferencePatch(backup, family->update ? kUntouchedLevel : level));
        if (family->update) from.resize(Filled(from));
        Records car = from;
        family->change(car, make, style);
        Records reversed = car;
        std::reverse(reversed.begin(), reversed.end());
        if (car == from || reversed == from || car == reversed) continue;
        WriteBytes(backupFile, backup);
        const CarState inOrder = stateOf(car);
        ASSERT_TRUE(inOrder == CarState::kUpdatedByGame || inOrder == CarState::kEditedAfterTweak)
            << family->name << ", " << kShapeNames[shape] << ", level " << level;
        EXPECT_EQ(inOrder, stateOf(reversed))
            << family->name << ", " << kShapeNames[shape] << ", level " << level
            << (big ? ", big" : "") << (rough ? ", roughened" : "");
        ++compared;
      }
    }
  }
  std::printf("%d changed cars read in order and reversed\n", compared);
}

// A car through a random life, as the test knows it.
struct LivingCar {
  std::string id;
  int brakeStyle;
  bool edited = false;  // by hand: only every third car, from the second on
  std::string game;     // the game's latest file
  std::set<std::string> backups{};    // every backup it has had
  std::map<int, std::string> kept{};  // kept backup n's bytes
  std::set<std::string> written{};    // every data file a run wrote
};

// Cars through long random lives: game updates, the game checking its
// files, hand edits, Applies at random levels and Restores, in any order.
// After every run each backup a car ever had is still in its folder, as its
// backup or a kept one, each kept file keeps its bytes, and a data file the
// run replaced was a run's own or is kept; a Restore gives each car that
// only the game and the runs have touched the game's latest file.
TEST(ChangedCarsTest, RandomLivesLoseNothingAndRestoreTheGamesFiles) {
  constexpr int kLives = 3, kSteps = 40;
  int steps[6] = {}, restoredChecked = 0;
  for (int life = 0; life < kLives; ++life) {
    CarMaker make(700 + life);
    const TempFolder folder(true);
    std::string path = folder.DataPath();
    std::vector<LivingCar> cars;
    for (const std::string id : kCarIds) {
      if (id != "n12" && make.Below(3) > 0) continue;
      const int style = make.Below(3);
      const Shape shape = static_cast<Shape>(make.Below(static_cast<int>(kShapeNames.size())));
      cars.push_back({id, style, false, Joined(make.MakeCar(shape, style))});
      WriteBytes(CarDataFile(folder.path(), id), cars.back().game);
    }
    const auto dataOf = [&](const LivingCar& car) { return CarDataFile(folder.path(), car.id); };
    // An update or an edit, from either list.
    const auto pick = [&](bool update) -> const Family& {
      const std::vector<Family>& families = make.Below(2) ? Families() : MoreFamilies();
      for (;;) {
        const Family& family = families[make.Below(static_cast<int>(families.size()))];
        if (family.update == update) return family;
      }
    };
    for (int step = 0; step < kSteps; ++step) {
      const int action = make.Below(6);
      ++steps[action];
      if (action == 0) {  // the game updates some cars
        for (LivingCar& car : cars) {
          if (make.Below(3) > 0) continue;
          Records records = Split(car.game);
          pick(true).change(records, make, car.brakeStyle);
          car.game = Joined(records);
          WriteBytes(dataOf(car), car.game);
        }
      } else if (action == 1) {  // the game checks its files
        for (const LivingCar& car : cars) WriteBytes(dataOf(car), car.game);
      } else if (action == 2) {  // a hand edit of a car that may have one
        LivingCar& car = cars[1 + 3 * make.Below(static_cast<int>(cars.size() + 1) / 3)];
        Records records = Split(ReadBytes(dataOf(car)));
        pick(false).change(records, make, car.brakeStyle);
        WriteBytes(dataOf(car), Joined(records));
        car.edited = true;
      }
      if (action < 3) continue;  // what follows checks a run
      std::vector<std::string> before;
      for (const LivingCar& car : cars) before.push_back(ReadBytes(dataOf(car)));
      if (action < 5) {
        ApplyRun(path, make.Below(5));
      } else {
        RestoreRun(path);
      }
      for (const std::string& notice : Notices()) {
        EXPECT_EQ(notice.find("Failed"), std::string::npos) << notice;
      }
      ClearNotices();
      for (std::size_t i = 0; i < cars.size(); ++i) {
        LivingCar& car = cars[i];
        const std::string where = car.id + ", life " + std::to_string(life) + ", step " +
                                  std::to_string(step);
        const fs::path backup = CarBackupFile(folder.path(), car.id);
        std::set<std::string> present;
        if (fs::exists(backup)) car.backups.insert(*present.insert(ReadBytes(backup)).first);
        int n = 1;
        for (; fs::exists(CarKeptBackupFile(folder.path(), car.id, n)); ++n) {
          const std::string bytes = ReadBytes(CarKeptBackupFile(folder.path(), car.id, n));
          EXPECT_EQ(car.kept.emplace(n, bytes).first->second, bytes) << where;
          present.insert(bytes);
        }
        EXPECT_EQ(car.kept.size(), static_cast<std::size_t>(n - 1)) << where;  // none gone
        for (const std::string& bytes : car.backups) EXPECT_TRUE(present.count(bytes)) << where;
        const std::string data = ReadBytes(dataOf(car));
        if (action == 5 && !car.edited) {
          EXPECT_EQ(data, car.game) << where;
          ++restoredChecked;
        }
        if (data != before[i]) {
          car.written.insert(data);
          EXPECT_TRUE(present.count(before[i]) || car.written.count(before[i])) << where;
        }
      }
    }
  }
  std::printf("%d lives of %d steps: %d game updates, %d checks of the game's files, "
              "%d hand edits, %d Applies, %d Restores; %d cars restored to the game's "
              "latest file\n",
              kLives, kSteps, steps[0], steps[1], steps[2], steps[3] + steps[4], steps[5],
              restoredChecked);
}

}  // namespace
