#ifndef BASE_STRINGS_PATTERN_H_
#define BASE_STRINGS_PATTERN_H_

#include <string_view>

namespace base {

// Whether UTF-8 |text| matches |pattern|, compared code point by code point: '*' matches
// any run of characters (none included), '?' matches zero or one character, and a
// backslash makes the next pattern character literal. The search backtracks at most 16
// wild cards deep; a match that needs more is reported as no match.
bool MatchPattern(std::string_view text, std::string_view pattern);

}  // namespace base

#endif  // BASE_STRINGS_PATTERN_H_
