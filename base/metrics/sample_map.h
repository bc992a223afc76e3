#ifndef BASE_METRICS_SAMPLE_MAP_H_
#define BASE_METRICS_SAMPLE_MAP_H_

#include <stdint.h>

#include <map>
#include <memory>

#include "base/metrics/histogram_samples.h"

namespace base {

// One count per distinct value, for sparse histograms. The map is not thread-safe: its
// owner serialises every call with a lock; only the sum and redundant count are atomic.
class SampleMap : public HistogramSamples {
 public:
  explicit SampleMap(uint64_t id = 0);
  ~SampleMap() override;

  void Accumulate(Sample value, Count count) override;
  Count GetCount(Sample value) const override;
  Count TotalCount() const override;
  // Entries (value, value + 1, count) in ascending value order.
  std::unique_ptr<SampleCountIterator> Iterator() const override;

 protected:
  // Entries of |iterator| must be single values (maximum = minimum + 1); false at the first
  // that is not.
  bool AddSubtractImpl(SampleCountIterator* iterator, Operator op) override;

 private:
  std::map<Sample, Count> sample_counts_;
};

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_MAP_H_
