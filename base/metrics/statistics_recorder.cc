#include "base/metrics/statistics_recorder.h"

#include <map>
#include <vector>

#include "base/lazy_instance.h"
#include "base/metrics/bucket_ranges.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

// Names ordered by length, then by bytes.
struct NameOrder {
  bool operator()(const std::string& a, const std::string& b) const {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  }
};

using HistogramMap = std::map<std::string, HistogramBase*, NameOrder>;
// Ranges by checksum; equal checksums may still differ in their entries.
using RangesMap = std::map<uint32_t, std::vector<const BucketRanges*>>;

struct Registry {
  Lock lock;
  HistogramMap histograms;  // Under |lock|.
  RangesMap ranges;         // Under |lock|.
};

// Leaky: histograms are used until the process ends, from any thread.
LazyInstance<Registry>::Leaky g_registry;

}  // namespace

// static
HistogramBase* StatisticsRecorder::FindHistogram(const std::string& name) {
  Registry& registry = g_registry.Get();
  AutoLock lock(registry.lock);
  const auto it = registry.histograms.find(name);
  return it == registry.histograms.end() ? nullptr : it->second;
}

// static
HistogramBase* StatisticsRecorder::RegisterOrDeleteDuplicate(HistogramBase* histogram) {
  Registry& registry = g_registry.Get();
  HistogramBase* registered = nullptr;
  {
    AutoLock lock(registry.lock);
    HistogramBase*& slot = registry.histograms[histogram->histogram_name()];
    if (!slot) {
      // No callback is ever registered: a histogram never passes its samples on.
      histogram->ClearFlags(HistogramBase::kCallbackExists);
      slot = histogram;
      return histogram;
    }
    registered = slot;
  }
  // Another thread (or an earlier call) got there first.
  if (registered != histogram)
    delete histogram;
  return registered;
}

// static
const BucketRanges* StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
    const BucketRanges* ranges) {
  Registry& registry = g_registry.Get();
  const BucketRanges* registered = nullptr;
  {
    AutoLock lock(registry.lock);
    std::vector<const BucketRanges*>& same_checksum = registry.ranges[ranges->checksum()];
    for (const BucketRanges* candidate : same_checksum) {
      if (candidate == ranges || candidate->Equals(ranges)) {
        registered = candidate;
        break;
      }
    }
    if (!registered) {
      same_checksum.push_back(ranges);
      return ranges;
    }
  }
  if (registered != ranges)
    delete ranges;
  return registered;
}

// static
StatisticsRecorder::OnSampleCallback StatisticsRecorder::FindCallback(const std::string& name) {
  return OnSampleCallback();
}

// static
size_t StatisticsRecorder::GetHistogramCount() {
  Registry& registry = g_registry.Get();
  AutoLock lock(registry.lock);
  return registry.histograms.size();
}

// static
size_t StatisticsRecorder::GetRangesCount() {
  Registry& registry = g_registry.Get();
  AutoLock lock(registry.lock);
  size_t count = 0;
  for (const auto& entry : registry.ranges)
    count += entry.second.size();
  return count;
}

}  // namespace base
