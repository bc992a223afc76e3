#include "base/strings/string_number_conversions.h"

#include <limits>
#include <type_traits>

namespace base {

namespace {

template <typename String, typename T>
String NumberToText(T value) {
  using Unsigned = std::make_unsigned_t<T>;
  // Negating in the unsigned type keeps the most negative value representable.
  const bool negative = value < 0;
  Unsigned magnitude = static_cast<Unsigned>(value);
  if (negative)
    magnitude = static_cast<Unsigned>(0) - magnitude;

  typename String::value_type buffer[24];
  size_t start = sizeof(buffer) / sizeof(buffer[0]);
  do {
    buffer[--start] = static_cast<typename String::value_type>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative)
    buffer[--start] = '-';
  return String(buffer + start, sizeof(buffer) / sizeof(buffer[0]) - start);
}

// The value of one digit in |base| (10 or 16), or -1.
template <typename Char>
int DigitValue(Char c, int base) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (base == 16) {
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
  }
  return -1;
}

// Parses |digits| in |base| into |*output|, which already holds the sign. Handles everything
// after the optional sign and prefix, so the decimal and hexadecimal forms share the rules.
template <typename Char, typename T>
bool ParseDigits(std::basic_string_view<Char> digits, int base, bool negative, T* output) {
  T value = 0;
  if (digits.empty()) {
    *output = 0;
    return false;
  }
  const T max = std::numeric_limits<T>::max();
  const T min = std::numeric_limits<T>::min();
  for (Char c : digits) {
    const int digit = DigitValue(c, base);
    if (digit < 0) {
      *output = value;
      return false;
    }
    if (negative) {
      if (value < (min + digit) / base) {
        *output = min;
        return false;
      }
      value = static_cast<T>(value * base - digit);
    } else {
      if (value > (max - digit) / base) {
        *output = max;
        return false;
      }
      value = static_cast<T>(value * base + digit);
    }
  }
  *output = value;
  return true;
}

template <typename Char, typename T>
bool ParseDecimal(std::basic_string_view<Char> input, T* output) {
  bool negative = false;
  if (std::is_signed_v<T> && !input.empty() && (input[0] == '+' || input[0] == '-')) {
    negative = input[0] == '-';
    input.remove_prefix(1);
  }
  return ParseDigits(input, 10, negative, output);
}

template <typename Char>
bool ParseHex(std::basic_string_view<Char> input, uint64_t* output) {
  if (input.size() >= 2 && input[0] == '0' && (input[1] == 'x' || input[1] == 'X'))
    input.remove_prefix(2);
  return ParseDigits(input, 16, false, output);
}

}  // namespace

std::string IntToString(int value) { return NumberToText<std::string>(value); }
std::wstring IntToWideString(int value) { return NumberToText<std::wstring>(value); }
std::string UintToString(unsigned value) { return NumberToText<std::string>(value); }
std::wstring UintToWideString(unsigned value) { return NumberToText<std::wstring>(value); }
std::string Int64ToString(int64_t value) { return NumberToText<std::string>(value); }
std::wstring Int64ToWideString(int64_t value) { return NumberToText<std::wstring>(value); }
std::string Uint64ToString(uint64_t value) { return NumberToText<std::string>(value); }

bool StringToInt(TextView input, int* output) { return ParseDecimal(input, output); }
bool StringToInt(WideTextView input, int* output) { return ParseDecimal(input, output); }
bool StringToUint(TextView input, unsigned* output) { return ParseDecimal(input, output); }
bool StringToUint(WideTextView input, unsigned* output) { return ParseDecimal(input, output); }
bool StringToInt64(TextView input, int64_t* output) { return ParseDecimal(input, output); }
bool StringToInt64(WideTextView input, int64_t* output) { return ParseDecimal(input, output); }
bool StringToUint64(TextView input, uint64_t* output) { return ParseDecimal(input, output); }
bool StringToUint64(WideTextView input, uint64_t* output) { return ParseDecimal(input, output); }

bool HexStringToUint64(TextView input, uint64_t* output) { return ParseHex(input, output); }
bool HexStringToUint64(WideTextView input, uint64_t* output) { return ParseHex(input, output); }

bool HexStringToBytes(TextView input, std::vector<uint8_t>* output) {
  if (input.empty() || input.size() % 2 != 0)
    return false;
  std::vector<uint8_t> bytes;
  bytes.reserve(input.size() / 2);
  for (size_t i = 0; i < input.size(); i += 2) {
    const int high = DigitValue(input[i], 16);
    const int low = DigitValue(input[i + 1], 16);
    if (high < 0 || low < 0)
      return false;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  output->swap(bytes);
  return true;
}

std::string HexEncode(const void* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  const uint8_t* data = static_cast<const uint8_t*>(bytes);
  std::string result;
  result.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    result.push_back(kDigits[data[i] >> 4]);
    result.push_back(kDigits[data[i] & 0xF]);
  }
  return result;
}

}  // namespace base
