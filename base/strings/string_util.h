#ifndef BASE_STRINGS_STRING_UTIL_H_
#define BASE_STRINGS_STRING_UTIL_H_

#include <string>
#include <string_view>

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

}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_H_
