#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>

#include "base/metrics/histogram_base.h"
#include "base/time/time.h"

namespace base {

class BucketRanges;
class SampleVector;
struct SamplesMetadata;

// Bucketed histograms. Samples are clamped into [0, 0x7FFFFFFE] and counted in the bucket
// that holds them, lock-free (three atomic additions), from any thread. The factories build
// a new histogram on every call (nothing is registered in this program): call one once per
// site and keep the pointer in a function-level static. Histograms from the factories are
// never destroyed; their ranges are shared and never freed by a histogram.
//
// Histogram has exponentially growing buckets.
class Histogram : public HistogramBase {
 public:
  // Bucket counts from here on become one less.
  static constexpr uint32_t kBucketCountLimit = 16384;
  static constexpr uint32_t kTimeBucketCount = 50;

  // |minimum| below 1 becomes 1, |maximum| 0x7FFFFFFF becomes 0x7FFFFFFE. Needs at least 2
  // buckets. Null only when a registered histogram of the name has other arguments, which
  // cannot happen in this program.
  static HistogramBase* FactoryGet(const std::string& name,
                                   Sample minimum,
                                   Sample maximum,
                                   uint32_t bucket_count,
                                   int32_t flags);
  // Times in whole milliseconds (truncated), 50 buckets.
  static HistogramBase* FactoryTimeGet(const std::string& name,
                                       TimeDelta minimum,
                                       TimeDelta maximum);
  // Counts from 1 to |maximum|, 50 buckets.
  static HistogramBase* FactoryCountsGet(const std::string& name, Sample maximum);

  // A bucketed histogram of |type| over counts and metadata held in persistent memory,
  // which must outlive it; null for a type that is not bucketed. A boolean histogram is
  // declared from 1 to 2, a custom one from ranges entry 1 to entry bucket count - 1.
  static std::unique_ptr<HistogramBase> PersistentCreate(HistogramType type,
                                                         const std::string& name,
                                                         Sample minimum,
                                                         Sample maximum,
                                                         const BucketRanges* ranges,
                                                         Count* counts,
                                                         Count* logged_counts,
                                                         SamplesMetadata* meta,
                                                         SamplesMetadata* logged_meta);

  ~Histogram() override;

  // HistogramBase:
  uint64_t NameHash() const override;
  HistogramType GetType() const override;
  bool MatchesArguments(Sample minimum, Sample maximum, uint32_t bucket_count) const override;
  void Add(Sample value) override;
  void AddCount(Sample value, Count count) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromWire(WireMessageReader* reader) override;
  uint32_t FindCorruption(const HistogramSamples& samples) const override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;
  std::unique_ptr<HistogramSamples> SnapshotDelta() override;
  std::unique_ptr<HistogramSamples> SnapshotFinalDelta() override;
  bool SerializeInfo(WireMessage* message) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBuckets(Count* count, int64_t* sum, ListValue* buckets) const override;

  // The lower bound of bucket |i|.
  virtual Sample RangeAt(uint32_t i) const;
  virtual uint32_t BucketCount() const;

  Sample declared_min() const { return declared_min_; }
  Sample declared_max() const { return declared_max_; }
  const BucketRanges* bucket_ranges() const { return bucket_ranges_; }

 protected:
  class Factory;

  // Counts of its own.
  Histogram(const std::string& name, Sample minimum, Sample maximum, const BucketRanges* ranges);
  // Counts in persistent memory; the logged samples exist from the start.
  Histogram(const std::string& name,
            Sample minimum,
            Sample maximum,
            const BucketRanges* ranges,
            Count* counts,
            Count* logged_counts,
            SamplesMetadata* meta,
            SamplesMetadata* logged_meta);

  // What the text output asks of each kind.
  virtual bool ShowEmptyBucket(uint32_t i) const;
  // The count as drawn in the bar graph.
  virtual double BucketSizeFor(Count count, uint32_t i) const;
  virtual std::string BucketLabel(uint32_t i) const;

 private:
  std::unique_ptr<SampleVector> SnapshotAllSamples() const;
  void WriteAsciiImpl(const char* newline, std::string* output) const override;

  const BucketRanges* const bucket_ranges_;
  const Sample declared_min_;
  const Sample declared_max_;
  std::unique_ptr<SampleVector> samples_;
  // Absent on the heap until the first delta snapshot.
  std::unique_ptr<SampleVector> logged_samples_;
  bool final_delta_created_ = false;
};

// Equal-width buckets, optionally with a text description per bucket.
class LinearHistogram : public Histogram {
 public:
  // Minimum 1 and flags 0x01; |maximum| 0x7FFFFFFF becomes 0x7FFFFFFE, 16384 buckets or
  // more 16383. Needs at least 3 buckets. For enumerations pass the number of values as
  // the maximum and that number + 1 as the bucket count.
  static HistogramBase* FactoryGet(const std::string& name, Sample maximum, uint32_t bucket_count);

  // A bucket's lower bound and its label; a list of them ends with a null label.
  struct DescriptionPair {
    Sample sample;
    const char* description;
  };

  ~LinearHistogram() override;

  HistogramType GetType() const override;

 protected:
  class Factory;

  using Histogram::Histogram;

  bool ShowEmptyBucket(uint32_t i) const override;
  double BucketSizeFor(Count count, uint32_t i) const override;
  std::string BucketLabel(uint32_t i) const override;

 private:
  friend class Histogram;
  std::map<Sample, std::string> bucket_descriptions_;
};

// A linear histogram of two values: buckets [0, 1), [1, 2) and [2, 0x7FFFFFFF). Made only
// when a stored histogram is revived.
class BooleanHistogram : public LinearHistogram {
 public:
  HistogramType GetType() const override;

 private:
  friend class Histogram;
  using LinearHistogram::LinearHistogram;
};

// Buckets whose boundaries the creator chose. Made only when a stored histogram is revived;
// its declared minimum and maximum are ranges entries 1 and bucket count - 1.
class CustomHistogram : public Histogram {
 public:
  HistogramType GetType() const override;
  // Also writes ranges entries 1 to bucket count - 1.
  bool SerializeInfo(WireMessage* message) const override;

 protected:
  double BucketSizeFor(Count count, uint32_t i) const override;

 private:
  friend class Histogram;
  using Histogram::Histogram;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_
