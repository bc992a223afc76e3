#include "base/metrics/metrics_hashes.h"

#include "base/hash/md5.h"

namespace base {

uint64_t HashMetricName(std::string_view name) {
  const Md5Digest digest = Md5Sum(name);
  uint64_t hash = 0;
  for (int i = 0; i < 8; ++i)
    hash = hash << 8 | digest.bytes[i];
  return hash;
}

}  // namespace base
