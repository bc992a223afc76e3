#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>

namespace base {

class DictionaryValue;
class HistogramSamples;
class ListValue;
class WireMessage;
class WireMessageReader;

// The kinds of histogram, by their stored type code.
enum HistogramType : uint32_t {
  HISTOGRAM = 0,
  LINEAR_HISTOGRAM = 1,
  BOOLEAN_HISTOGRAM = 2,
  CUSTOM_HISTOGRAM = 3,
  SPARSE_HISTOGRAM = 4,
};

// "HISTOGRAM", "LINEAR_HISTOGRAM", ... or "UNKNOWN".
const char* HistogramTypeToString(uint32_t type);

// The interface of every histogram. Code outside the metrics library obtains histograms
// through the factory functions (base/metrics/histogram.h, sparse_histogram.h), keeps the
// pointer in a function-level static and only adds samples; histograms made by the
// factories live until the process ends. Add and AddCount may be called from any thread;
// the reading operations exist for consistency but nothing in this program calls them.
class HistogramBase {
 public:
  using Sample = int32_t;
  using Count = int32_t;

  // The upper bound of the last bucket; the largest sample a bucketed histogram keeps is
  // one less.
  static constexpr Sample kSampleTypeMax = INT32_MAX;

  enum Flags : int32_t {
    kNoFlags = 0,
    // Set by every factory of this program on every histogram it creates.
    kUmaTargetedHistogramFlag = 0x1,
    // Never set in this program; creation reports tell it apart from the flag above.
    kUmaStabilityHistogramFlag = 0x2 | kUmaTargetedHistogramFlag,
    // A value callback is registered for the name: every sample is also passed to it.
    kCallbackExists = 0x20,
    // The histogram lives in persistent memory.
    kIsPersistent = 0x40,
  };

  // Bits returned by FindCorruption.
  enum Inconsistency : uint32_t {
    NO_INCONSISTENCIES = 0x0,
    RANGE_CHECKSUM_ERROR = 0x1,
    BUCKET_ORDER_ERROR = 0x2,
    COUNT_HIGH_ERROR = 0x4,
    COUNT_LOW_ERROR = 0x8,
  };

  explicit HistogramBase(const std::string& name);
  HistogramBase(const HistogramBase&) = delete;
  HistogramBase& operator=(const HistogramBase&) = delete;
  virtual ~HistogramBase();

  const std::string& histogram_name() const { return name_; }

  int32_t flags() const { return flags_.load(std::memory_order_relaxed); }
  void SetFlags(int32_t flags) { flags_.fetch_or(flags, std::memory_order_relaxed); }
  void ClearFlags(int32_t flags) { flags_.fetch_and(~flags, std::memory_order_relaxed); }

  // The id of the histogram's samples: the hash of its name (HashMetricName).
  virtual uint64_t NameHash() const = 0;
  virtual HistogramType GetType() const = 0;
  // Whether the histogram was declared with these arguments.
  virtual bool MatchesArguments(Sample minimum, Sample maximum, uint32_t bucket_count) const = 0;

  virtual void Add(Sample value) = 0;
  // Non-positive counts are ignored.
  virtual void AddCount(Sample value, Count count) = 0;
  virtual void AddSamples(const HistogramSamples& samples) = 0;
  // Adds samples in the samples wire format; false when they do not fit this histogram's
  // buckets or the data is short.
  virtual bool AddSamplesFromWire(WireMessageReader* reader) = 0;

  // Inconsistency bits of |samples| against this histogram; 0 when consistent.
  virtual uint32_t FindCorruption(const HistogramSamples& samples) const;

  // All samples so far; the samples since the previous delta (the first delta holds all);
  // and, once at the end, the samples not yet taken by a delta.
  virtual std::unique_ptr<HistogramSamples> SnapshotSamples() const = 0;
  virtual std::unique_ptr<HistogramSamples> SnapshotDelta() = 0;
  virtual std::unique_ptr<HistogramSamples> SnapshotFinalDelta() = 0;

  // Text with a bar per bucket: HTML (within <PRE>) or plain with "\n" line ends.
  virtual void WriteHtmlGraph(std::string* output) const;
  virtual void WriteText(std::string* output) const;

  // Name, flags and construction arguments, as WireMessage fields.
  virtual bool SerializeInfo(WireMessage* message) const = 0;
  virtual void GetParameters(DictionaryValue* params) const = 0;
  // Total count and sum, and a dictionary {"low", "high", "count"} per non-empty bucket.
  virtual void GetCountAndBuckets(Count* count, int64_t* sum, ListValue* buckets) const = 0;

 protected:
  // With kCallbackExists set, runs the value callback registered for the name, if any.
  void FindAndRunCallback(Sample sample) const;

  // The text of WriteText and WriteHtmlGraph, with |newline| ending each line.
  virtual void WriteAsciiImpl(const char* newline, std::string* output) const = 0;

  // A bar of "-" ending in "O" for |current| against |max|, padded to 72 + 1 characters.
  static void WriteAsciiBucketGraph(double current, double max, std::string* output);

  // "%3.1f%%" of |count| against |total|.
  static std::string GetPercentageText(Count count, Count total);

 private:
  const std::string name_;
  std::atomic<int32_t> flags_{0};
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_
