#include "base/trace_event/category_pattern.h"

#include "base/strings/utf_string_conversions.h"

namespace base {
namespace trace_event {

namespace {

constexpr int kMaxDepth = 16;

// The code point at |*index|, moving past it; an invalid byte stands for itself.
int NextCodePoint(std::string_view text, size_t* index) {
  const size_t start = *index;
  const int code_point = DecodeUtf8Sequence(text, index);
  return code_point >= 0 ? code_point : static_cast<unsigned char>(text[start]);
}

// Moves past the literal prefix that |text| and |pattern| share.
void EatSameChars(std::string_view text, size_t* text_index, std::string_view pattern,
                  size_t* pattern_index) {
  while (*text_index < text.size() && *pattern_index < pattern.size()) {
    size_t pattern_next = *pattern_index;
    const char first = pattern[pattern_next];
    if (first == '*' || first == '?')
      return;
    if (first == '\\') {
      if (++pattern_next == pattern.size())
        return;
    }
    const int pattern_char = NextCodePoint(pattern, &pattern_next);
    size_t text_next = *text_index;
    if (NextCodePoint(text, &text_next) != pattern_char)
      return;
    *text_index = text_next;
    *pattern_index = pattern_next;
  }
}

// Moves past wild cards, which may all match nothing.
void EatWildcards(std::string_view pattern, size_t* pattern_index) {
  while (*pattern_index < pattern.size() &&
         (pattern[*pattern_index] == '*' || pattern[*pattern_index] == '?')) {
    ++*pattern_index;
  }
}

bool Match(std::string_view text, size_t text_index, std::string_view pattern,
           size_t pattern_index, int depth) {
  if (depth > kMaxDepth)
    return false;
  EatSameChars(text, &text_index, pattern, &pattern_index);
  if (text_index == text.size()) {
    EatWildcards(pattern, &pattern_index);
    return pattern_index == pattern.size();
  }
  if (pattern_index == pattern.size())
    return false;

  if (pattern[pattern_index] == '?') {
    if (Match(text, text_index, pattern, pattern_index + 1, depth + 1))
      return true;
    NextCodePoint(text, &text_index);
    return Match(text, text_index, pattern, pattern_index + 1, depth + 1);
  }
  if (pattern[pattern_index] == '*') {
    while (pattern_index < pattern.size() && pattern[pattern_index] == '*')
      ++pattern_index;
    if (pattern_index == pattern.size())
      return true;
    while (text_index < text.size()) {
      if (Match(text, text_index, pattern, pattern_index, depth + 1))
        return true;
      NextCodePoint(text, &text_index);
    }
    EatWildcards(pattern, &pattern_index);
    return pattern_index == pattern.size();
  }
  // A literal that differs.
  return false;
}

}  // namespace

bool MatchCategoryPattern(std::string_view text, std::string_view pattern) {
  return Match(text, 0, pattern, 0, 0);
}

}  // namespace trace_event
}  // namespace base
