#ifndef BASE_HASH_SHA1_H_
#define BASE_HASH_SHA1_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

constexpr size_t kSha1Length = 20;

// The SHA-1 message digest (FIPS 180-1) of |length| bytes. Not for security: it derives
// stable ids from names (memory allocator dumps).
void Sha1HashBytes(const void* data, size_t length, uint8_t (&hash)[kSha1Length]);

}  // namespace base

#endif  // BASE_HASH_SHA1_H_
