// Cars changed after an Apply, generated from fixed seeds: game updates must
// become the cars' new originals and edits of a tweak must be left alone,
// wherever the brake values leave no doubt which they are.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "car_files.h"
#include "runs.h"
#include "test_support.h"

namespace {

constexpr int kFields = 300;
constexpr int kBrake = 278;
constexpr int kLevels = 4;  // 0% to 75%

using Record = std::vector<std::string>;  // its fields; none for an empty one
using Records = std::vector<Record>;

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

  template <typename T>
  void Shuffle(T begin, T end) { std::shuffle(begin, end, random_); }

 private:
  std::mt19937 random_;
};

std::string Joined(const Records& records) {
  std::string text;
  for (const Record& record : records) {
    for (std::size_t i = 0; i < record.size(); ++i) text += (i ? "," : "") + record[i];
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
    records.push_back(record);
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
         Record& record = car[make.Below(static_cast<int>(car.size()) - 2)];
         const int column = (kBrake + 1 + make.Below(kFields - 1)) % kFields;
         record[column] = "edited_" + record[column];
       }},
      {"edit: one brake changed by hand", false,
       [](Records& car, CarMaker& make, int) {
         Record& record = car[make.Below(static_cast<int>(car.size()) - 2)];
         record[kBrake] = Fixed(Number(record[kBrake]) + 0.25 + make.Below(8), 3);
       }},
  };
  return families;
}

// What the values say, counted as the patch's own numbers would give them
// but independently of the engine: per level, e = a - b and u, with a the
// data values the level explains, b those the backup's own values explain
// and u those that no pairing with backup values explains.
class Scores {
 public:
  Scores(const std::string& now, const std::string& before) {
    for (const Record& record : Split(now)) {
      if (record.size() > kBrake) now_.push_back(Number(record[kBrake]));
    }
    for (const Record& record : Split(before)) {
      if (record.size() > kBrake) before_.push_back(Number(record[kBrake]));
    }
  }

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

  std::vector<double> now_, before_;
};

struct Tally {
  int trials = 0, clear = 0, wrongClear = 0, wrongUnclear = 0;
};

TEST(ChangedCarsTest, GeneratedUpdatesAndEditsGetTheirVerdicts) {
  constexpr int kFoldersPerFamily = 4;
  std::printf("%-40s %6s %6s %12s %14s\n", "family", "trials", "clear",
              "wrong, clear", "wrong, unclear");
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
        ++tally.trials;
        tally.clear += clear;
        (clear ? tally.wrongClear : tally.wrongUnclear) += wrong;
        EXPECT_FALSE(clear && wrong) << family.name << ", car " << id << " at level "
                                     << level << ":\n" << changed[i];
      }
    }
    const int unclear = tally.trials - tally.clear;
    std::printf("%-40s %6d %6d %5d (%4.1f%%) %5d of %3d (%4.1f%%)\n", family.name,
                tally.trials, tally.clear, tally.wrongClear,
                100.0 * tally.wrongClear / std::max(1, tally.clear), tally.wrongUnclear,
                unclear, 100.0 * tally.wrongUnclear / std::max(1, unclear));
  }
}

}  // namespace
