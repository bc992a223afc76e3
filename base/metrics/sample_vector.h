#ifndef BASE_METRICS_SAMPLE_VECTOR_H_
#define BASE_METRICS_SAMPLE_VECTOR_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "base/metrics/histogram_samples.h"

namespace base {

class BucketRanges;

// One count per bucket of a bucketed histogram. Lock-free: counts, sum and redundant count
// change by atomic additions, so concurrent Accumulate calls from any threads lose nothing;
// readers may see them at slightly different moments. The ranges must outlive the vector.
class SampleVector : public HistogramSamples {
 public:
  // Counts and metadata of its own, all zero.
  SampleVector(uint64_t id, const BucketRanges* bucket_ranges);
  // Counts (bucket count entries) and metadata held elsewhere, e.g. in persistent memory;
  // both must outlive the vector.
  SampleVector(uint64_t id,
               Count* counts,
               SamplesMetadata* meta,
               const BucketRanges* bucket_ranges);
  ~SampleVector() override;

  void Accumulate(Sample value, Count count) override;
  Count GetCount(Sample value) const override;
  Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

  // The bucket that holds |value|; a value outside the ranges is fatal.
  virtual size_t GetBucketIndex(Sample value) const;

  Count GetCountAtIndex(size_t bucket_index) const;
  size_t bucket_count() const { return counts_size_; }
  const BucketRanges* bucket_ranges() const { return bucket_ranges_; }

 protected:
  bool AddSubtractImpl(SampleCountIterator* iterator, Operator op) override;

 private:
  std::unique_ptr<Count[]> local_counts_;
  Count* const counts_;
  const size_t counts_size_;
  const BucketRanges* const bucket_ranges_;
};

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_VECTOR_H_
