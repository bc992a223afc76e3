#ifndef BASE_METRICS_METRICS_HASHES_H_
#define BASE_METRICS_METRICS_HASHES_H_

#include <stdint.h>

#include <string_view>

namespace base {

// The id of a histogram's samples: the first 8 bytes of the MD5 digest of |name|, read as a
// big-endian number.
uint64_t HashMetricName(std::string_view name);

}  // namespace base

#endif  // BASE_METRICS_METRICS_HASHES_H_
