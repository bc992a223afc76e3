#ifndef BASE_JSON_STRING_ESCAPE_H_
#define BASE_JSON_STRING_ESCAPE_H_

#include <string>
#include <string_view>

namespace base {

// Appends the JSON escape of |code_point| to |output| and returns true for the characters
// that have one: the two-character escapes of backspace, form feed, line feed, carriage
// return, tab, double quote and backslash, and the six-character escapes of '<' (so that
// the text can sit inside an HTML script block), U+2028 and U+2029 (line terminators in
// script). Returns false, appending nothing, for every other code point.
bool EscapeJsonSpecialCharacter(unsigned code_point, std::string* output);

// Appends |utf8| to |output| as a quoted JSON string: invalid sequences, surrogates and
// values above U+10FFFF become U+FFFD (written as UTF-8), the characters above use their
// escapes, other code points below 0x20 are written as "\u%04X" and the rest as UTF-8.
void EscapeJsonString(std::string_view utf8, std::string* output);

// The same for UTF-16 text; a lone surrogate becomes U+FFFD.
void EscapeJsonString(std::wstring_view utf16, std::string* output);

}  // namespace base

#endif  // BASE_JSON_STRING_ESCAPE_H_
