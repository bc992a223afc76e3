#ifndef BASE_METRICS_SAMPLE_MAP_H_
#define BASE_METRICS_SAMPLE_MAP_H_

#include <stdint.h>

#include <atomic>
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

namespace internal {

// The entries with a non-zero count of an ordered map from value to its count, or to a
// pointer to its count, as (value, value + 1, count) in ascending value order.
template <typename CountOrPointer>
class SampleMapIterator : public SampleCountIterator {
 public:
  using Map = std::map<Sample, CountOrPointer>;

  explicit SampleMapIterator(const Map& counts) : iterator_(counts.begin()), end_(counts.end()) {
    SkipEmptyEntries();
  }

  bool Done() const override { return iterator_ == end_; }

  void Next() override {
    ++iterator_;
    SkipEmptyEntries();
  }

  void Get(Sample* minimum, Sample* maximum, Count* count) const override {
    if (minimum)
      *minimum = iterator_->first;
    if (maximum)
      *maximum = NextSample(iterator_->first);
    if (count)
      *count = CountOf(iterator_->second);
  }

 private:
  static Count CountOf(Count count) { return count; }
  // A count held elsewhere may be shared with other processes (persistent memory).
  static Count CountOf(Count* count) {
    return std::atomic_ref<Count>(*count).load(std::memory_order_relaxed);
  }

  void SkipEmptyEntries() {
    while (iterator_ != end_ && CountOf(iterator_->second) == 0)
      ++iterator_;
  }

  typename Map::const_iterator iterator_;
  const typename Map::const_iterator end_;
};

}  // namespace internal

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_MAP_H_
