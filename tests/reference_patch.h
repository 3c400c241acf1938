#pragma once

#include <string>

// An independent byte-at-a-time model of the record stream rules, written
// the plain way, for checking PatchRecordStream on any input. Brake fields
// are rewritten by RewriteBrakeField.
std::string ReferencePatch(const std::string& input, int level);
