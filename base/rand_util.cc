#include "base/rand_util.h"

#include <windows.h>
#include <ntsecapi.h>

#include <limits>

#include "base/logging.h"

namespace base {

void RandBytes(void* output, size_t length) {
  char* position = static_cast<char*>(output);
  while (length > 0) {
    // The generator takes at most a ULONG per call.
    const ULONG chunk = length > std::numeric_limits<ULONG>::max()
                            ? std::numeric_limits<ULONG>::max()
                            : static_cast<ULONG>(length);
    CHECK(::RtlGenRandom(position, chunk)) << "RtlGenRandom failed";
    position += chunk;
    length -= chunk;
  }
}

uint64_t RandUint64() {
  uint64_t value;
  RandBytes(&value, sizeof(value));
  return value;
}

uint64_t RandGenerator(uint64_t range) {
  CHECK_GT(range, 0u);
  // Values at or above the largest multiple of |range| would make the low results more
  // likely than the high ones; draw again instead (less than half the draws, at worst).
  const uint64_t limit = std::numeric_limits<uint64_t>::max() -
                         (std::numeric_limits<uint64_t>::max() % range + 1) % range;
  uint64_t value;
  do {
    value = RandUint64();
  } while (value > limit);
  return value % range;
}

int RandInt(int min, int max) {
  CHECK_LE(min, max);
  const uint64_t range =
      static_cast<uint64_t>(static_cast<int64_t>(max) - static_cast<int64_t>(min)) + 1;
  return static_cast<int>(static_cast<int64_t>(min) +
                          static_cast<int64_t>(RandGenerator(range)));
}

}  // namespace base
