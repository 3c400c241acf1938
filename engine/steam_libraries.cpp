#include "steam_libraries.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::size_t kMaxDepth = 16;
constexpr std::size_t kMaxPaths = 256;
constexpr std::size_t kMaxPathBytes = 32767;

enum class Kind { kText, kOpen, kClose, kEnd, kBad };

struct Token {
  Kind kind;
  std::string text;
};

// KeyValues tokens: quoted or bare text, braces; white space and // comments
// between them are skipped.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {
    if (text_.starts_with("\xEF\xBB\xBF")) at_ = 3;
  }

  Token Next() {
    SkipSpace();
    if (at_ == text_.size()) return {Kind::kEnd, {}};
    const char c = text_[at_++];
    if (c == '{') return {Kind::kOpen, {}};
    if (c == '}') return {Kind::kClose, {}};
    if (c == '"') return Quoted();
    std::string bare(1, c);
    while (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '{' &&
           text_[at_] != '}' && text_[at_] != '"') {
      bare += text_[at_++];
    }
    return {Kind::kText, std::move(bare)};
  }

 private:
  static bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  }

  void SkipSpace() {
    while (at_ < text_.size()) {
      if (IsSpace(text_[at_])) {
        ++at_;
      } else if (text_.substr(at_, 2) == "//") {
        const std::size_t end = text_.find('\n', at_);
        at_ = end == std::string_view::npos ? text_.size() : end;
      } else {
        break;
      }
    }
  }

  // After the opening quote; kBad when the text ends first.
  Token Quoted() {
    std::string text;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return {Kind::kText, std::move(text)};
      if (c != '\\' || at_ == text_.size()) {
        text += c;
        continue;
      }
      const char escaped = text_[at_++];
      switch (escaped) {
        case '\\':
        case '"':
          text += escaped;
          break;
        case 'n':
          text += '\n';
          break;
        case 't':
          text += '\t';
          break;
        default:
          text += c;
          text += escaped;
      }
    }
    return {Kind::kBad, {}};
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// Whether `key` is `word`, a word of lower-case ASCII letters, in any case.
bool SameWord(std::string_view key, std::string_view word) {
  return std::equal(key.begin(), key.end(), word.begin(), word.end(),
                    [](char k, char w) { return (k | 0x20) == w; });
}

bool IsNumber(std::string_view key) {
  return !key.empty() && std::all_of(key.begin(), key.end(),
                                     [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool IsUsableListedPath(std::string_view path) {
  if (path.empty() || path.size() > kMaxPathBytes) return false;
  for (std::size_t i = 0; i < path.size();) {
    const auto lead = static_cast<std::uint8_t>(path[i]);
    if (lead < 0x80) {
      if (lead < 0x20 || lead == 0x7F) return false;
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || path.size() - i < length) return false;
    std::uint32_t point = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(path[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return false;
    }
    if (point < 0xA0) return false;  // C1 controls
    i += length;
  }
  return true;
}

std::vector<std::string> SteamLibraryPaths(std::string_view text) {
  std::vector<std::string> paths;
  if (text.size() > kMaxLibraryListBytes) return paths;
  enum class Block { kOther, kList, kLibrary };
  std::vector<Block> open;
  Tokens tokens(text);
  while (paths.size() < kMaxPaths) {
    Token key = tokens.Next();
    if (key.kind == Kind::kClose && !open.empty()) {
      open.pop_back();
      continue;
    }
    if (key.kind != Kind::kText) break;
    Token value = tokens.Next();
    if (value.kind == Kind::kOpen) {
      if (open.size() == kMaxDepth) break;
      Block block = Block::kOther;
      if (open.empty() && SameWord(key.text, "libraryfolders")) {
        block = Block::kList;
      } else if (!open.empty() && open.back() == Block::kList && IsNumber(key.text)) {
        block = Block::kLibrary;
      }
      open.push_back(block);
      continue;
    }
    if (value.kind != Kind::kText) break;
    const Block in = open.empty() ? Block::kOther : open.back();
    if (((in == Block::kList && IsNumber(key.text)) ||
         (in == Block::kLibrary && SameWord(key.text, "path"))) &&
        IsUsableListedPath(value.text)) {
      paths.push_back(std::move(value.text));
    }
  }
  return paths;
}
