#include "reference_patch.h"

#include "record_patch.h"

std::string ReferencePatch(const std::string& input, int level) {
  std::string output;
  std::string field;
  int column = 0;
  std::size_t position = 0;
  bool atEnd = false;
  for (bool done = false; !done;) {
    char terminator = '\r';
    if (atEnd) {
      done = true;
    } else if (position == input.size()) {
      atEnd = true;
    } else {
      const char c = input[position++];
      if (c == '\n') continue;
      if (c != ',' && c != '\r') {
        if (c != '\0') field += c;
        continue;
      }
      terminator = c;
    }
    RewriteBrakeField(field, column, level);
    output += field;
    output += terminator;
    if (terminator == '\r') output += '\n';
    column = terminator == ',' ? column + 1 : 0;
    field.clear();
  }
  return output;
}
