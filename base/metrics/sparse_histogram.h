#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/metrics/histogram_base.h"
#include "base/synchronization/lock.h"

namespace base {

class HistogramSamples;
class PersistentHistogramAllocator;
struct SamplesMetadata;

// One count per distinct sample value (e.g. Windows error codes); values are kept exactly,
// negative ones included. Any thread may add: the histogram's lock guards its samples and
// the value callback runs after the lock is released.
class SparseHistogram : public HistogramBase {
 public:
  // A new histogram with flags 0x01 (nothing is registered in this program: call once per
  // site and keep the pointer). Never null; valid for the rest of the process.
  static HistogramBase* FactoryGet(const std::string& name);

  // A histogram whose samples live in |allocator|'s segment, which must outlive it; the
  // logged samples use the id |logged_meta| holds, or the name hash + 1.
  static std::unique_ptr<HistogramBase> PersistentCreate(PersistentHistogramAllocator* allocator,
                                                         const std::string& name,
                                                         SamplesMetadata* meta,
                                                         SamplesMetadata* logged_meta);

  ~SparseHistogram() override;

  // HistogramBase:
  uint64_t NameHash() const override;
  HistogramType GetType() const override;
  bool MatchesArguments(Sample minimum, Sample maximum, uint32_t bucket_count) const override;
  void Add(Sample value) override;
  void AddCount(Sample value, Count count) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromWire(WireMessageReader* reader) override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;
  std::unique_ptr<HistogramSamples> SnapshotDelta() override;
  std::unique_ptr<HistogramSamples> SnapshotFinalDelta() override;
  bool SerializeInfo(WireMessage* message) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBuckets(Count* count, int64_t* sum, ListValue* buckets) const override;

 private:
  explicit SparseHistogram(const std::string& name);
  SparseHistogram(PersistentHistogramAllocator* allocator,
                  const std::string& name,
                  SamplesMetadata* meta,
                  SamplesMetadata* logged_meta);

  void WriteAsciiImpl(const char* newline, std::string* output) const override;

  mutable Lock lock_;
  std::unique_ptr<HistogramSamples> samples_;         // Under lock_.
  std::unique_ptr<HistogramSamples> logged_samples_;  // Under lock_.
  bool final_delta_created_ = false;                  // Under lock_.
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_
