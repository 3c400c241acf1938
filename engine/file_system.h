#pragma once

// The engine's only platform-specific part: opening files by the engine's
// backslash paths, and replacing a file in one step. Implemented once for
// Win32 (file_system_win32.cpp) and once for POSIX (file_system_posix.cpp),
// where each backslash is read as '/'.

#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens an existing regular file for binary reading; nullptr on failure.
std::FILE* OpenForReading(const std::string& path);

// True when anything at all has this name, even if it cannot be read.
bool PathExists(const std::string& path);

// True when the existing file at `path` may be overwritten: it opens for
// writing (without being changed) and is not marked read-only.
bool CanModify(const std::string& path);

enum class CommitResult { kReplaced, kWriteFailed, kReplaceFailed };

// A new version of the file at `target`, written to a fresh temporary file in
// the same folder. Commit() flushes it to disk and moves it over the target in
// one step; until then, and whenever anything fails, the target is untouched
// and the temporary file is removed.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::string& target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // The stream to write the new contents to; nullptr if no temporary file
  // could be created.
  std::FILE* stream() const { return stream_; }

  CommitResult Commit();

 private:
  void Discard();

  std::string target_;     // in the platform's own form
  std::string temporary_;  // in the platform's own form; empty when none
  std::FILE* stream_ = nullptr;
};
