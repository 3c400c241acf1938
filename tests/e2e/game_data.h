#pragma once

// A game data folder for the tweaker to work on, and what its files must
// hold after each run.

#include <map>
#include <string>

// The brake value (field 278) of every record of a data file, in order.
std::string BrakeValues(const std::string& data);

// Writes <folder>\cars\<id>\<id>.csv for all 47 cars, creating folders as
// needed (`folder` is absolute, of any length), and returns each car's bytes
// by id. The brake values are halves (1.0 to 10.5), so every level's product
// has an exact 3-decimal form.
std::map<std::string, std::string> MakeGameFolder(const std::string& folder);

// What the tweaker writes from `original` at `level` (0 to 4): field 278 of
// each record replaced by value * level * 0.25 in "%.3f" (kept as it is at
// level 4), and two empty records added at the end. Only for data as
// MakeGameFolder writes it (CR LF records, no LF alone, no NUL).
std::string Patched(const std::string& original, int level);

// A game update of `original` (as MakeGameFolder writes it): every brake
// value 0.3 higher, which neither it nor any level gives.
std::string GameUpdate(const std::string& original);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool IsFile(const std::string& path);
