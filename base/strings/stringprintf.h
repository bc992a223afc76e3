#ifndef BASE_STRINGS_STRINGPRINTF_H_
#define BASE_STRINGS_STRINGPRINTF_H_

#include <stdarg.h>

#include <string>

namespace base {

// printf-style formatting of any length. The narrow forms use the C runtime's vsnprintf, the
// wide forms _vsnwprintf (where "%s" takes a wide string and "%S" a narrow one). The
// arguments may point into the destination string.
std::string StringPrintf(const char* format, ...);
std::wstring WideStringPrintf(const wchar_t* format, ...);

// Replaces the contents of |*dst|; returns |*dst|.
const std::string& StringAssignF(std::string* dst, const char* format, ...);
const std::wstring& StringAssignF(std::wstring* dst, const wchar_t* format, ...);

// Appends to |*dst|.
void StringAppendF(std::string* dst, const char* format, ...);
void StringAppendF(std::wstring* dst, const wchar_t* format, ...);
void StringAppendV(std::string* dst, const char* format, va_list args);
void StringAppendV(std::wstring* dst, const wchar_t* format, va_list args);

}  // namespace base

#endif  // BASE_STRINGS_STRINGPRINTF_H_
