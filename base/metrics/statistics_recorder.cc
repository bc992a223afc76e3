#include "base/metrics/statistics_recorder.h"

#include "base/lazy_instance.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

LazyInstance<Lock>::Leaky g_recorder_lock;

}  // namespace

// static
HistogramBase* StatisticsRecorder::FindHistogram(const std::string& name) {
  AutoLock lock(g_recorder_lock.Get());
  return nullptr;
}

// static
HistogramBase* StatisticsRecorder::RegisterOrDeleteDuplicate(HistogramBase* histogram) {
  AutoLock lock(g_recorder_lock.Get());
  return histogram;
}

// static
const BucketRanges* StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
    const BucketRanges* ranges) {
  AutoLock lock(g_recorder_lock.Get());
  return ranges;
}

// static
StatisticsRecorder::OnSampleCallback StatisticsRecorder::FindCallback(const std::string& name) {
  AutoLock lock(g_recorder_lock.Get());
  return OnSampleCallback();
}

}  // namespace base
