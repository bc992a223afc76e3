#ifndef BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
#define BASE_STRINGS_UTF_STRING_CONVERSIONS_H_

#include <string>
#include <string_view>

namespace base {

// Conversions between UTF-8 (narrow strings) and UTF-16 (wide strings). Invalid sequences,
// lone surrogates and code points above U+10FFFF become U+FFFD; the bool forms report
// whether the whole input was valid.
std::wstring Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::wstring_view utf16);
bool Utf8ToUtf16(std::string_view utf8, std::wstring* output);
bool Utf16ToUtf8(std::wstring_view utf16, std::string* output);

// Widens byte by byte; meant for ASCII text.
std::wstring AsciiToUtf16(std::string_view ascii);

// The system-facing spellings of the same conversions.
std::wstring SystemUtf8ToWide(std::string_view utf8);
std::string SystemWideToUtf8(std::wstring_view wide);

// Decodes the code point that starts at |*index| of |text| and moves |*index| past it.
// Returns -1 (and moves one byte) for an invalid or truncated sequence, an overlong form,
// a surrogate or a value above U+10FFFF; returns -1 without moving at or past the end.
int DecodeUtf8Sequence(std::string_view text, size_t* index);

// Appends |code_point| as UTF-8; invalid code points are written as U+FFFD.
void AppendUtf8CodePoint(unsigned code_point, std::string* output);

// Appends |code_point| as UTF-16; invalid code points are written as U+FFFD.
void AppendUtf16CodePoint(unsigned code_point, std::wstring* output);

}  // namespace base

#endif  // BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
