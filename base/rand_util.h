#ifndef BASE_RAND_UTIL_H_
#define BASE_RAND_UTIL_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

// Random numbers from the system's cryptographic generator. Failure of the generator is
// fatal: a caller must never receive bytes that merely look random.

// Fills |length| bytes at |output|.
void RandBytes(void* output, size_t length);

uint64_t RandUint64();

// Uniformly distributed in [0, range); |range| must be positive.
uint64_t RandGenerator(uint64_t range);

// Uniformly distributed in [min, max], both included; |min| must not exceed |max|.
int RandInt(int min, int max);

}  // namespace base

#endif  // BASE_RAND_UTIL_H_
