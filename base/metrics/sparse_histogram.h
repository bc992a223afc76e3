#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include <string>

#include "base/metrics/histogram_base.h"

namespace base {

// One count per distinct sample value (e.g. Windows error codes); values are kept exactly.
class SparseHistogram : public HistogramBase {
 public:
  // Never null; valid for the rest of the process.
  static HistogramBase* FactoryGet(const std::string& name);
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_
