#ifndef BASE_STRINGS_PATTERN_H_
#define BASE_STRINGS_PATTERN_H_

#include <string_view>

namespace base {

// Whether |text| matches |pattern|: '*' matches any run of characters, '?' any one
// character, and any other pattern character a text character for which
// |matches|(pattern character, text character) is true. Greedy with a single backtracking
// point, so the cost stays linear in practice and never recurses.
template <typename Char, typename CharMatches>
bool MatchPattern(std::basic_string_view<Char> text,
                  std::basic_string_view<Char> pattern,
                  CharMatches matches) {
  size_t t = 0;
  size_t p = 0;
  size_t star = std::basic_string_view<Char>::npos;
  size_t star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == Char('*')) {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && (pattern[p] == Char('?') || matches(pattern[p], text[t]))) {
      ++p;
      ++t;
    } else if (star != std::basic_string_view<Char>::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == Char('*'))
    ++p;
  return p == pattern.size();
}

}  // namespace base

#endif  // BASE_STRINGS_PATTERN_H_
