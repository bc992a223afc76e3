#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <stdint.h>

namespace base {

// The interface of every histogram. Code outside the metrics library obtains histograms
// through the factory functions (base/metrics/histogram.h, sparse_histogram.h), keeps the
// pointer in a function-level static, and only adds samples.
class HistogramBase {
 public:
  using Sample = int32_t;
  using Count = int32_t;

  enum Flags : int32_t {
    kNoFlags = 0,
    // Set by every factory of this program on every histogram it creates.
    kUmaTargetedHistogramFlag = 0x1,
  };

  virtual ~HistogramBase() = default;

  virtual void Add(Sample value) = 0;
  virtual void AddCount(Sample value, Count count) = 0;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_
