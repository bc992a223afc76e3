#include "base/metrics/bucket_ranges.h"

#include <math.h>

#include "base/logging.h"

namespace base {

namespace {

struct CrcTable {
  constexpr CrcTable() : entries() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[i] = c;
    }
  }
  uint32_t entries[256];
};

constexpr CrcTable kCrcTable;

}  // namespace

BucketRanges::BucketRanges(size_t num_ranges) : ranges_(num_ranges, 0) {}

BucketRanges::~BucketRanges() = default;

// static
uint32_t BucketRanges::Checksum(const Sample* entries, size_t count) {
  uint32_t c = static_cast<uint32_t>(count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t entry = static_cast<uint32_t>(entries[i]);
    for (int shift = 0; shift < 32; shift += 8)
      c = kCrcTable.entries[(c ^ (entry >> shift)) & 0xFF] ^ (c >> 8);
  }
  return c;
}

uint32_t BucketRanges::CalculateChecksum() const {
  return Checksum(ranges_.data(), ranges_.size());
}

bool BucketRanges::Equals(const BucketRanges* other) const {
  return checksum_ == other->checksum_ && ranges_ == other->ranges_;
}

// static
void BucketRanges::FillExponential(Sample minimum, Sample maximum, BucketRanges* ranges) {
  const size_t bucket_count = ranges->bucket_count();
  CHECK(bucket_count >= 2) << "an exponential histogram needs 2 buckets";
  CHECK(minimum >= 0) << "negative histogram minimum " << minimum;
  ranges->set_range(1, minimum);
  Sample current = minimum;
  const double log_max = log(static_cast<double>(maximum));
  for (size_t i = 2; i < bucket_count; ++i) {
    const double log_current = log(static_cast<double>(current));
    const double next = floor(
        exp(log_current + (log_max - log_current) / static_cast<double>(bucket_count - i)) + 0.5);
    // A step that does not grow (or a NaN from a minimum of 0) makes the bucket one wide.
    if (next > static_cast<double>(current) && next <= static_cast<double>(INT32_MAX - 1))
      current = static_cast<Sample>(next);
    else
      ++current;
    CHECK(current >= 0) << "negative histogram range " << current;
    ranges->set_range(i, current);
  }
  ranges->set_range(bucket_count, HistogramBase::kSampleTypeMax);
  ranges->ResetChecksum();
}

// static
void BucketRanges::FillLinear(Sample minimum, Sample maximum, BucketRanges* ranges) {
  const size_t bucket_count = ranges->bucket_count();
  // The rule divides by bucket_count - 2.
  CHECK(bucket_count >= 3) << "a linear histogram needs 3 buckets";
  const double divisor = static_cast<double>(bucket_count - 2);
  for (size_t i = 1; i < bucket_count; ++i) {
    const double value = (static_cast<double>(bucket_count - i - 1) * minimum +
                          static_cast<double>(i - 1) * maximum) /
                             divisor +
                         0.5;
    const Sample entry = static_cast<Sample>(value);
    CHECK(entry >= 0) << "negative histogram range " << entry;
    ranges->set_range(i, entry);
  }
  ranges->set_range(bucket_count, HistogramBase::kSampleTypeMax);
  ranges->ResetChecksum();
}

}  // namespace base
