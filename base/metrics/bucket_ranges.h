#ifndef BASE_METRICS_BUCKET_RANGES_H_
#define BASE_METRICS_BUCKET_RANGES_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "base/metrics/histogram_base.h"

namespace base {

// The boundaries of a bucketed histogram: bucket_count() + 1 entries, bucket i holding the
// values v with range(i) <= v < range(i + 1). Entry 0 is 0 and the last entry 0x7FFFFFFF
// once a rule has filled them. The checksum detects damage to the entries; it is stored by
// the fill rules and checked by Histogram::FindCorruption. Immutable once filled, so shared
// between threads and histograms without locks.
class BucketRanges {
 public:
  using Sample = HistogramBase::Sample;

  // |num_ranges| zero entries (bucket count + 1) and checksum 0.
  explicit BucketRanges(size_t num_ranges);
  BucketRanges(const BucketRanges&) = delete;
  BucketRanges& operator=(const BucketRanges&) = delete;
  ~BucketRanges();

  size_t size() const { return ranges_.size(); }
  size_t bucket_count() const { return ranges_.size() - 1; }
  Sample range(size_t i) const { return ranges_[i]; }
  void set_range(size_t i, Sample value) { ranges_[i] = value; }
  const Sample* data() const { return ranges_.data(); }

  uint32_t checksum() const { return checksum_; }
  void set_checksum(uint32_t checksum) { checksum_ = checksum; }
  uint32_t CalculateChecksum() const;
  void ResetChecksum() { checksum_ = CalculateChecksum(); }
  bool HasValidChecksum() const { return checksum_ == CalculateChecksum(); }

  // Same entries and checksum.
  bool Equals(const BucketRanges* other) const;

  // Exponentially growing buckets from |minimum| to |maximum| (at least 2 buckets); a
  // negative minimum or entry is fatal.
  static void FillExponential(Sample minimum, Sample maximum, BucketRanges* ranges);
  // Equal-width buckets from |minimum| to |maximum| (at least 3 buckets); a negative entry
  // is fatal.
  static void FillLinear(Sample minimum, Sample maximum, BucketRanges* ranges);

  // The checksum of |count| entries: a CRC-32 (IEEE 802.3 table) over their little-endian
  // bytes, seeded with the entry count, without inversions.
  static uint32_t Checksum(const Sample* entries, size_t count);

 private:
  std::vector<Sample> ranges_;
  uint32_t checksum_ = 0;
};

}  // namespace base

#endif  // BASE_METRICS_BUCKET_RANGES_H_
