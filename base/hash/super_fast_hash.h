#ifndef BASE_HASH_SUPER_FAST_HASH_H_
#define BASE_HASH_SUPER_FAST_HASH_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

// The published SuperFastHash of |length| bytes: a quick, non-cryptographic 32-bit hash for
// hash tables. 0 for null data or an empty input.
uint32_t SuperFastHash(const void* data, size_t length);

}  // namespace base

#endif  // BASE_HASH_SUPER_FAST_HASH_H_
