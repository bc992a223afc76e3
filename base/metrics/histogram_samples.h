#ifndef BASE_METRICS_HISTOGRAM_SAMPLES_H_
#define BASE_METRICS_HISTOGRAM_SAMPLES_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "base/metrics/histogram_base.h"

namespace base {

class WireMessage;
class WireMessageReader;

// What every samples object keeps besides its counts. The layout is fixed: persistent
// memory holds it (base/metrics/persistent_histogram_allocator.h).
struct SamplesMetadata {
  uint64_t id;              // The histogram's name hash.
  int64_t sum;              // Sum of value x count over all samples.
  int32_t redundant_count;  // Number of samples, kept apart from the counts to spot damage.
  int32_t padding;
};
static_assert(sizeof(SamplesMetadata) == 24, "SamplesMetadata is a stored format");

// Walks the non-empty entries of a samples object (or of serialised samples). The samples
// must not change shape (new entries) while it walks.
class SampleCountIterator {
 public:
  using Sample = HistogramBase::Sample;
  using Count = HistogramBase::Count;

  virtual ~SampleCountIterator();

  virtual bool Done() const = 0;
  virtual void Next() = 0;
  // The entry's lower bound, exclusive upper bound and count; any pointer may be null.
  virtual void Get(Sample* minimum, Sample* maximum, Count* count) const = 0;
  // The bucket index of the entry, when the samples have buckets.
  virtual bool GetBucketIndex(size_t* index) const;
};

// The counts of a histogram with their metadata. Accumulate may be called from any thread
// as each container allows (see SampleVector and SampleMap); the metadata changes by atomic
// additions only.
class HistogramSamples {
 public:
  using Sample = HistogramBase::Sample;
  using Count = HistogramBase::Count;

  enum Operator { ADD, SUBTRACT };

  // Metadata embedded in the object.
  explicit HistogramSamples(uint64_t id);
  // Metadata held elsewhere (persistent memory), which must outlive this object; |id| is
  // stored there only when the stored id is 0.
  HistogramSamples(uint64_t id, SamplesMetadata* meta);
  HistogramSamples(const HistogramSamples&) = delete;
  HistogramSamples& operator=(const HistogramSamples&) = delete;
  virtual ~HistogramSamples();

  virtual void Accumulate(Sample value, Count count) = 0;
  virtual Count GetCount(Sample value) const = 0;
  virtual Count TotalCount() const = 0;

  // False when some entry of |other| matches no entry here (entries before it are added).
  virtual bool Add(const HistogramSamples& other);
  // Reads the samples wire format: sum (int64), redundant count (int32), then triples of
  // minimum, exclusive maximum and count (int32 each) to the end. False when the sum or
  // count is missing (nothing changes) or when an entry matches nothing.
  virtual bool AddFromWire(WireMessageReader* reader);
  virtual bool Subtract(const HistogramSamples& other);
  virtual std::unique_ptr<SampleCountIterator> Iterator() const = 0;
  // Writes the wire format read by AddFromWire; false when the message refuses a field.
  virtual bool Serialize(WireMessage* message) const;

  uint64_t id() const;
  int64_t sum() const;
  Count redundant_count() const;

 protected:
  virtual bool AddSubtractImpl(SampleCountIterator* iterator, Operator op) = 0;

  void IncreaseSumAndCount(int64_t sum, Count count);

 private:
  SamplesMetadata local_meta_ = {};
  SamplesMetadata* const meta_;
};

namespace internal {

// Count arithmetic wraps instead of overflowing (the redundant count reveals it).
inline HistogramBase::Count AddCounts(HistogramBase::Count a, HistogramBase::Count b) {
  return static_cast<HistogramBase::Count>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline HistogramBase::Count SubtractCounts(HistogramBase::Count a, HistogramBase::Count b) {
  return static_cast<HistogramBase::Count>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
// The exclusive upper bound of a single-value entry (wraps for the largest value, as
// serialised samples do).
inline HistogramBase::Sample NextSample(HistogramBase::Sample value) {
  return static_cast<HistogramBase::Sample>(static_cast<uint32_t>(value) + 1u);
}

}  // namespace internal

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_SAMPLES_H_
