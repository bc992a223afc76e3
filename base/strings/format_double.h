#ifndef BASE_STRINGS_FORMAT_DOUBLE_H_
#define BASE_STRINGS_FORMAT_DOUBLE_H_

#include <stddef.h>

namespace base {

// Room for the longest text FormatDoubleShortest writes ("-2.2250738585072014e-308" and
// the like, 24 characters) and its terminating NUL.
constexpr size_t kFormatDoubleBufferSize = 32;

// Writes into |buffer| the shortest decimal text that reads back (strtod) as exactly
// |value|, in printf "%g" form: "0.1", "1e+300", "-0", "5e-324", "3". The text is
// NUL-terminated; returns its length. An integral value gets no decimal point; callers
// that need one to keep the value a double (JSON) append it. Infinities and NaN are
// written "inf", "-inf" and "nan".
size_t FormatDoubleShortest(char (&buffer)[kFormatDoubleBufferSize], double value);

}  // namespace base

#endif  // BASE_STRINGS_FORMAT_DOUBLE_H_
