#ifndef BASE_METRICS_STATISTICS_RECORDER_H_
#define BASE_METRICS_STATISTICS_RECORDER_H_

#include <stddef.h>

#include <string>

#include "base/callback.h"
#include "base/metrics/histogram_base.h"

namespace base {

class BucketRanges;

// The process-wide registry of histograms and bucket ranges: one histogram per name and one
// copy of equal ranges for the life of the process, so that a factory called again for a
// name (on every read of a preference file, say) finds the histogram it built before
// instead of building another. What is registered is never freed. Metrics stay write-only:
// nothing lists or sends what is registered, and no value callback is ever registered.
// Every operation is serialised by the recorder's lock, made on first use.
class StatisticsRecorder {
 public:
  using OnSampleCallback = Callback<void(HistogramBase::Sample)>;

  StatisticsRecorder() = delete;

  // The registered histogram of that name; null when there is none.
  static HistogramBase* FindHistogram(const std::string& name);

  // The histogram to use in place of |histogram|, which the caller hands over: the one
  // registered under its name before (|histogram| is then deleted), else |histogram|
  // itself, registered now.
  static HistogramBase* RegisterOrDeleteDuplicate(HistogramBase* histogram);

  // The ranges to use in place of |ranges|, which the caller hands over: registered ranges
  // with the same entries and checksum (|ranges| is then deleted), else |ranges| itself,
  // registered now.
  static const BucketRanges* RegisterOrDeleteDuplicateRanges(const BucketRanges* ranges);

  // The value callback registered for |name|; null, as none is ever registered.
  static OnSampleCallback FindCallback(const std::string& name);

  // The number of registered histograms and of registered ranges.
  static size_t GetHistogramCount();
  static size_t GetRangesCount();
};

}  // namespace base

#endif  // BASE_METRICS_STATISTICS_RECORDER_H_
