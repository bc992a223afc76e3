#include "base/base64.h"

#include <stdint.h>

namespace base {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of an alphabet character, or -1.
int DecodeChar(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const void* bytes, size_t count) {
  const uint8_t* data = static_cast<const uint8_t*>(bytes);
  std::string result;
  result.reserve((count + 2) / 3 * 4);
  for (size_t i = 0; i < count; i += 3) {
    const size_t remaining = count - i;
    uint32_t group = static_cast<uint32_t>(data[i]) << 16;
    if (remaining > 1)
      group |= static_cast<uint32_t>(data[i + 1]) << 8;
    if (remaining > 2)
      group |= data[i + 2];
    result.push_back(kAlphabet[(group >> 18) & 0x3F]);
    result.push_back(kAlphabet[(group >> 12) & 0x3F]);
    result.push_back(remaining > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=');
    result.push_back(remaining > 2 ? kAlphabet[group & 0x3F] : '=');
  }
  return result;
}

std::string Base64Encode(TextView bytes) {
  return Base64Encode(bytes.data(), bytes.size());
}

bool Base64Decode(TextView input, std::string* output) {
  if (input.size() % 4 != 0)
    return false;
  size_t padding = 0;
  if (!input.empty() && input.back() == '=') {
    padding = input[input.size() - 2] == '=' ? 2 : 1;
  }
  std::string result;
  result.reserve(input.size() / 4 * 3);
  const size_t data_chars = input.size() - padding;
  uint32_t bits = 0;
  int bit_count = 0;
  for (size_t i = 0; i < data_chars; ++i) {
    const int value = DecodeChar(input[i]);
    if (value < 0)
      return false;  // Also catches '=' before the padding.
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      result.push_back(static_cast<char>((bits >> bit_count) & 0xFF));
    }
  }
  // The remaining 2 or 4 bits of a padded group are dropped, as common decoders do.
  output->swap(result);
  return true;
}

}  // namespace base
