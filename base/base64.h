#ifndef BASE_BASE64_H_
#define BASE_BASE64_H_

#include <stddef.h>

#include <string>

#include "base/strings/text_view.h"

namespace base {

// Standard Base64 (RFC 4648 alphabet, '=' padding to a multiple of four characters).
std::string Base64Encode(const void* bytes, size_t count);
std::string Base64Encode(TextView bytes);

// Decodes padded standard Base64 into |*output| (bytes in a string). Returns false, leaving
// |*output| unchanged, for a length that is not a multiple of four, a character outside the
// alphabet (whitespace included), or padding anywhere but in the last two places. Empty
// input decodes to nothing.
bool Base64Decode(TextView input, std::string* output);

}  // namespace base

#endif  // BASE_BASE64_H_
