#include "file_system.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace {

bool IsLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A 32-bit unsigned number as std::to_string writes it: no sign, no leading
// zero.
bool IsDecimal32(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() &&
         (text.size() == 1 || text[0] != '0');
}

}  // namespace

bool IsTemporaryNameFor(std::string_view name, std::string_view targetName) {
  if (!name.starts_with(targetName)) return false;
  name.remove_prefix(targetName.size());
  if (!name.starts_with(kTemporaryMarker)) return false;
  const std::string_view generated = name.substr(kTemporaryMarker.size());
  if (generated.size() == 6 &&
      std::all_of(generated.begin(), generated.end(), IsLetterOrDigit)) {
    return true;  // mkstemp's six characters
  }
  const auto dash = generated.find('-');
  return dash != std::string_view::npos && IsDecimal32(generated.substr(0, dash)) &&
         IsDecimal32(generated.substr(dash + 1));
}
