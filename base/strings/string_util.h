#ifndef BASE_STRINGS_STRING_UTIL_H_
#define BASE_STRINGS_STRING_UTIL_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/strings/text_view.h"

namespace base {

// Only 'A'-'Z' and 'a'-'z' change.
char ToLowerAscii(char c);
wchar_t ToLowerAscii(wchar_t c);
char ToUpperAscii(char c);
wchar_t ToUpperAscii(wchar_t c);
std::string ToLowerAscii(std::string_view text);
std::wstring ToLowerAscii(std::wstring_view text);
std::string ToUpperAscii(std::string_view text);
std::wstring ToUpperAscii(std::wstring_view text);

bool EqualsCaseInsensitiveAscii(std::string_view a, std::string_view b);
bool EqualsCaseInsensitiveAscii(std::wstring_view a, std::wstring_view b);

// True when every unit is below 0x80.
bool IsStringAscii(std::string_view text);
bool IsStringAscii(std::wstring_view text);

enum class CompareCase {
  SENSITIVE = 0,
  INSENSITIVE_ASCII = 1,
};

bool StartsWith(TextView text, TextView prefix, CompareCase case_mode);
bool StartsWith(WideTextView text, WideTextView prefix, CompareCase case_mode);
bool EndsWith(TextView text, TextView suffix, CompareCase case_mode);
bool EndsWith(WideTextView text, WideTextView suffix, CompareCase case_mode);

// Space, tab, line feed, vertical tab, form feed and carriage return.
bool IsAsciiWhitespace(wchar_t c);

enum TrimPositions {
  TRIM_NONE = 0,
  TRIM_LEADING = 1,
  TRIM_TRAILING = 2,
  TRIM_ALL = TRIM_LEADING | TRIM_TRAILING,
};

// |input| without ASCII whitespace at the chosen ends; a view into |input|.
TextView TrimWhitespaceASCII(TextView input, TrimPositions positions);
WideTextView TrimWhitespaceASCII(WideTextView input, TrimPositions positions);

// Stores |input| without any of |trim_chars| at either end; true when something was removed.
// |input| may view |*output|.
bool TrimString(TextView input, TextView trim_chars, std::string* output);
bool TrimString(WideTextView input, WideTextView trim_chars, std::wstring* output);

// The parts with |separator| between each pair.
std::string JoinString(const std::vector<std::string>& parts, TextView separator);
std::wstring JoinString(const std::vector<std::wstring>& parts, WideTextView separator);

// Stores |input| with every occurrence of any of |characters| replaced by |replacement|;
// true when at least one was replaced. |input| may view |*output|.
bool ReplaceChars(TextView input, TextView characters, TextView replacement,
                  std::string* output);
bool ReplaceChars(WideTextView input, WideTextView characters, WideTextView replacement,
                  std::wstring* output);

// Replaces "$1".."$9" by the corresponding substitution (nothing when there are fewer). A run
// of n + 1 dollar signs gives n literal ones and ends the run: "$$" -> "$", "$$1" -> "$1".
// A single "$" not followed by 1..9 gives nothing; the character after it is kept.
std::string ReplaceStringPlaceholders(TextView format,
                                      const std::vector<std::string>& substitutions);
std::wstring ReplaceStringPlaceholders(WideTextView format,
                                       const std::vector<std::wstring>& substitutions);

}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_H_
