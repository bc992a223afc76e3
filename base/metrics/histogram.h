#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"

namespace base {

// Factory functions of the bucketed histograms. Each returns a histogram that stays valid
// for the rest of the process (never null); samples are clamped into its range.
class Histogram : public HistogramBase {
 public:
  static constexpr uint32_t kTimeBucketCount = 50;

  // Exponentially growing buckets between |minimum| and |maximum|.
  static HistogramBase* FactoryGet(const std::string& name,
                                   Sample minimum,
                                   Sample maximum,
                                   uint32_t bucket_count,
                                   int32_t flags);

  // Times in whole milliseconds: 50 buckets between |minimum| and |maximum| (TimeDeltas).
  template <typename Delta>
  static HistogramBase* FactoryTimeGet(const std::string& name, Delta minimum, Delta maximum) {
    return FactoryGet(name, ClampToSample(minimum.InMilliseconds()),
                      ClampToSample(maximum.InMilliseconds()), kTimeBucketCount,
                      kUmaTargetedHistogramFlag);
  }

  // Counts from 1 to |maximum| in 50 buckets.
  static HistogramBase* FactoryCountsGet(const char* name, Sample maximum);

 private:
  static Sample ClampToSample(int64_t value) {
    return value > INT32_MAX ? INT32_MAX
                             : (value < INT32_MIN ? INT32_MIN : static_cast<Sample>(value));
  }
};

// Equal-width buckets from 1 to |maximum|; for enumerations pass the number of values as the
// maximum and that number + 1 as the bucket count.
class LinearHistogram : public Histogram {
 public:
  static HistogramBase* FactoryGet(const char* name, Sample maximum, uint32_t bucket_count);
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_
