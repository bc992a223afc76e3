#include "base/metrics/histogram.h"

#include "base/lazy_instance.h"
#include "base/metrics/sparse_histogram.h"

// No statistics recorder keeps samples in this program yet: every factory hands out one
// process-wide histogram that ignores them.

namespace base {

namespace {

class DiscardingHistogram : public HistogramBase {
 public:
  void Add(Sample) override {}
  void AddCount(Sample, Count) override {}
};

LazyInstance<DiscardingHistogram>::Leaky g_discarding_histogram;

HistogramBase* GetDiscardingHistogram() {
  return g_discarding_histogram.Pointer();
}

}  // namespace

// static
HistogramBase* Histogram::FactoryGet(const std::string&, Sample, Sample, uint32_t, int32_t) {
  return GetDiscardingHistogram();
}

// static
HistogramBase* Histogram::FactoryCountsGet(const char*, Sample) {
  return GetDiscardingHistogram();
}

// static
HistogramBase* LinearHistogram::FactoryGet(const char*, Sample, uint32_t) {
  return GetDiscardingHistogram();
}

// static
HistogramBase* SparseHistogram::FactoryGet(const std::string&) {
  return GetDiscardingHistogram();
}

}  // namespace base
