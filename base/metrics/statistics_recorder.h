#ifndef BASE_METRICS_STATISTICS_RECORDER_H_
#define BASE_METRICS_STATISTICS_RECORDER_H_

#include <string>

#include "base/callback.h"
#include "base/metrics/histogram_base.h"

namespace base {

class BucketRanges;

// The process-wide place where histograms would be registered and found by name. Metrics
// are write-only in this program: the recorder never creates its registries, so nothing is
// found, every factory call builds a new histogram, and no value callback ever runs. Every
// operation is serialised by the recorder's lock, made on first use.
class StatisticsRecorder {
 public:
  using OnSampleCallback = Callback<void(HistogramBase::Sample)>;

  StatisticsRecorder() = delete;

  // The registered histogram of that name; none without a registry.
  static HistogramBase* FindHistogram(const std::string& name);

  // The histogram to use in place of |histogram| (which the caller hands over); without a
  // registry, |histogram| itself.
  static HistogramBase* RegisterOrDeleteDuplicate(HistogramBase* histogram);

  // The registered ranges equal to |ranges| (which the caller hands over); without a
  // registry, |ranges| itself.
  static const BucketRanges* RegisterOrDeleteDuplicateRanges(const BucketRanges* ranges);

  // The value callback registered for |name|; null without a registry.
  static OnSampleCallback FindCallback(const std::string& name);
};

}  // namespace base

#endif  // BASE_METRICS_STATISTICS_RECORDER_H_
