#ifndef BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
#define BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/text_view.h"

namespace base {

// Decimal text of a number.
std::string IntToString(int value);
std::wstring IntToWideString(int value);
std::string UintToString(unsigned value);
std::wstring UintToWideString(unsigned value);
std::string Int64ToString(int64_t value);
std::wstring Int64ToWideString(int64_t value);
std::string Uint64ToString(uint64_t value);

// Decimal text to a number. The whole text must be digits: whitespace, any other character
// or empty text make these return false. The signed forms accept one leading '+' or '-';
// the unsigned forms refuse any sign. On overflow |*output| is clamped to the type's limit
// and false is returned; after another failure |*output| holds the value of the digits
// before the offending character (0 when there are none).
bool StringToInt(TextView input, int* output);
bool StringToInt(WideTextView input, int* output);
bool StringToUint(TextView input, unsigned* output);
bool StringToUint(WideTextView input, unsigned* output);
bool StringToInt64(TextView input, int64_t* output);
bool StringToInt64(WideTextView input, int64_t* output);
bool StringToUint64(TextView input, uint64_t* output);
bool StringToUint64(WideTextView input, uint64_t* output);

// Hexadecimal digits (either case) with an optional "0x" or "0X" prefix. False for empty
// text, a prefix without digits, any other character or a value above 64 bits (then
// |*output| is UINT64_MAX); otherwise as the decimal forms above.
bool HexStringToUint64(TextView input, uint64_t* output);
bool HexStringToUint64(WideTextView input, uint64_t* output);

// Pairs of hexadecimal digits (either case, no prefix) into bytes. False for empty or
// odd-length text or a bad digit; |*output| is replaced only on success.
bool HexStringToBytes(TextView input, std::vector<uint8_t>* output);

// Two upper-case hexadecimal digits per byte, in byte order.
std::string HexEncode(const void* bytes, size_t count);

}  // namespace base

#endif  // BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
