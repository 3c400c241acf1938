#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "notice.h"

// The engine's streams never show notices; the rest of it needs one to link.
void ShowNotice(const std::string& text) {
  std::fprintf(stderr, "notice: %s\n", text.c_str());
}

#ifdef _WIN32
namespace {

// Every byte of `file` from its start.
std::string ReadAll(std::FILE* file) {
  std::string bytes;
  std::rewind(file);
  char block[4096];
  std::size_t count;
  while ((count = std::fread(block, 1, sizeof block, file)) > 0) {
    bytes.append(block, count);
  }
  return bytes;
}

}  // namespace
#endif

StreamResult PatchInMemory(const std::string& input, int level,
                           std::string& output) {
#ifdef _WIN32
  // No memory streams: temporary files, removed when closed.
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  if (in == nullptr || out == nullptr) {
    Fail("cannot create temporary files", input);
  }
  if (std::fwrite(input.data(), 1, input.size(), in) != input.size()) {
    Fail("cannot write a temporary file", input);
  }
  std::rewind(in);
  const StreamResult result = PatchRecordStream(in, out, level);
  std::fflush(out);
  output = ReadAll(out);
  std::fclose(out);
#else
  std::string buffer = input;  // fmemopen wants a writable buffer
  std::FILE* in = fmemopen(buffer.data(), buffer.size(), "rb");
  char* written = nullptr;
  std::size_t writtenSize = 0;
  std::FILE* out = open_memstream(&written, &writtenSize);
  if (in == nullptr || out == nullptr) {
    Fail("cannot open memory streams", input);
  }
  const StreamResult result = PatchRecordStream(in, out, level);
  std::fclose(out);
  output.assign(written, writtenSize);
  std::free(written);
#endif
  std::fclose(in);
  return result;
}

std::size_t LongestBrakeField(const std::string& input) {
  std::size_t longest = 0;
  std::size_t length = 0;
  int column = 0;
  for (const char c : input) {
    if (c == ',' || c == '\r') {
      column = c == ',' ? column + 1 : 0;
      length = 0;
    } else if (c != '\n' && c != '\0' && column == kBrakeFieldColumn) {
      ++length;
      if (length > longest) longest = length;
    }
  }
  return longest;
}

void Fail(const std::string& what, const std::string& input) {
  std::fprintf(stderr, "FAILED: %s (input of %zu bytes)\n", what.c_str(),
               input.size());
  std::abort();
}
