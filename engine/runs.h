#pragma once

#include <string>

// Makes a one-time backup of each car's data file and rewrites the data file
// from it at `level` (0 to 4). Appends a backslash to `path` when it has none.
void ApplyRun(std::string& path, int level);

// Copies every car's backup back over its data file. Accepts the path with or
// without its last backslash.
void RestoreRun(const std::string& path);

// Replaces or creates `destination` as a byte copy of `source` and returns
// true; on any failure leaves it as it was, shows a notice and returns false.
bool CopyWholeFile(const std::string& source, const std::string& destination);
