#ifndef BASE_HASH_FNV1A_H_
#define BASE_HASH_FNV1A_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

// The 64-bit FNV-1a hash: cheap, stable, for hash tables keyed by names or addresses.
constexpr uint64_t kFnv1a64OffsetBasis = 14695981039346656037ull;
constexpr uint64_t kFnv1a64Prime = 1099511628211ull;

inline uint64_t Fnv1a64(const void* data, size_t length) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  uint64_t hash = kFnv1a64OffsetBasis;
  for (size_t i = 0; i < length; ++i) {
    hash ^= bytes[i];
    hash *= kFnv1a64Prime;
  }
  return hash;
}

}  // namespace base

#endif  // BASE_HASH_FNV1A_H_
