#pragma once

#include <cstddef>
#include <string>

#include "record_patch.h"

// Runs PatchRecordStream from a stream holding `input` into a stream whose
// bytes are returned in `output`, whatever the result.
StreamResult PatchInMemory(const std::string& input, int level,
                           std::string& output);

// The length of the longest field at kBrakeFieldColumn in `input`, counted
// the way the stream keeps it: NUL and LF bytes are dropped and not counted.
std::size_t LongestBrakeField(const std::string& input);

// Reports a mismatch on `input` and aborts, so that libFuzzer saves the input
// and the corpus replay fails.
[[noreturn]] void Fail(const std::string& what, const std::string& input);
