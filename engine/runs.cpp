#include "runs.h"

#include <memory>

#include "car_files.h"
#include "file_system.h"
#include "notice.h"
#include "record_patch.h"

namespace {

constexpr std::size_t kCopyBlockSize = 64 * 1024;
const char kEnterPathNotice[] = "Please enter the path for the game's data files";
const char kCannotWriteNotice[] =
    "Failed to open file for writing, process will fail";

// Both buttons accept the folder with or without its last backslash.
void EndWithBackslash(std::string& path) {
  if (path.back() != '\\') path += '\\';
}

enum class StreamCopy { kCopied, kReadFailed, kWriteFailed };

// Copies the rest of `source` to `destination` block by block.
StreamCopy CopyStream(std::FILE* source, std::FILE* destination) {
  const auto block = std::make_unique_for_overwrite<char[]>(kCopyBlockSize);
  for (;;) {
    const std::size_t count = std::fread(block.get(), 1, kCopyBlockSize, source);
    if (count > 0 && std::fwrite(block.get(), 1, count, destination) != count) {
      return StreamCopy::kWriteFailed;
    }
    if (count < kCopyBlockSize) {
      return std::ferror(source) ? StreamCopy::kReadFailed : StreamCopy::kCopied;
    }
  }
}

}  // namespace

bool CopyWholeFile(const std::string& source, const std::string& destination) {
  if (PathExists(destination) && !CanModify(destination)) {
    ShowNotice(kCannotWriteNotice);
    return false;
  }
  ReplacementFile copy(destination);
  if (copy.stream() == nullptr) {
    ShowNotice(kCannotWriteNotice);
    return false;
  }
  const std::string writeFailed =
      "Failed to write file '" + destination + "', process will fail";
  const std::string readFailed =
      "Failed to read file '" + source + "', process will fail";
  const FilePtr in(OpenForReading(source));
  if (!in) {
    ShowNotice(readFailed);
    return false;
  }
  switch (CopyStream(in.get(), copy.stream())) {
    case StreamCopy::kCopied:
      break;
    case StreamCopy::kReadFailed:
      ShowNotice(readFailed);
      return false;
    case StreamCopy::kWriteFailed:
      ShowNotice(writeFailed);
      return false;
  }
  switch (copy.Commit()) {
    case CommitResult::kReplaced:
      return true;
    case CommitResult::kWriteFailed:
      ShowNotice(writeFailed);
      return false;
    case CommitResult::kReplaceFailed:
      ShowNotice(kCannotWriteNotice);
      return false;
  }
  return false;
}

void ApplyRun(std::string& path, int level) {
  if (path.empty()) {
    ShowNotice(kEnterPathNotice);
    return;
  }
  EndWithBackslash(path);
  const std::string probe = ProbeFilePath(path);
  if (!FileExists(probe)) {
    ShowNotice("Failed to find file '" + probe +
               "', has the path been entered correctly?");
    return;
  }
  for (const char* id : kCarIds) {
    const std::string data = CarDataFilePath(path, id);
    const std::string backup = CarBackupFilePath(path, id);
    if (!FileExists(data)) continue;
    // The backup holds the game's own file and is never replaced: it is made
    // only when nothing at all has its name, even an unreadable file.
    if (!PathExists(backup) && !CopyWholeFile(data, backup)) continue;
    PatchCarFile(level, backup, data);
  }
  ShowNotice("Tweak process finished");
}

void RestoreRun(const std::string& typedPath) {
  if (typedPath.empty()) {
    ShowNotice(kEnterPathNotice);
    return;
  }
  std::string path = typedPath;
  EndWithBackslash(path);
  int restored = 0;
  for (const char* id : kCarIds) {
    const std::string data = CarDataFilePath(path, id);
    const std::string backup = CarBackupFilePath(path, id);
    if (FileExists(backup) && FileExists(data) && CopyWholeFile(backup, data)) {
      ++restored;
    }
  }
  ShowNotice("Restored backup copies of " + std::to_string(restored) + " files");
}
