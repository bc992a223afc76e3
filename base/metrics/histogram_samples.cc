#include "base/metrics/histogram_samples.h"

#include <atomic>

#include "base/wire_message.h"

namespace base {

namespace {

// Entries of serialised samples, read until a read fails.
class WireSampleCountIterator : public SampleCountIterator {
 public:
  explicit WireSampleCountIterator(WireMessageReader* reader) : reader_(reader) { Next(); }

  bool Done() const override { return done_; }

  void Next() override {
    done_ =
        !reader_->ReadInt(&minimum_) || !reader_->ReadInt(&maximum_) || !reader_->ReadInt(&count_);
  }

  void Get(Sample* minimum, Sample* maximum, Count* count) const override {
    if (minimum)
      *minimum = minimum_;
    if (maximum)
      *maximum = maximum_;
    if (count)
      *count = count_;
  }

 private:
  WireMessageReader* const reader_;
  bool done_ = false;
  Sample minimum_ = 0;
  Sample maximum_ = 0;
  Count count_ = 0;
};

int64_t Negate(int64_t value) {
  return static_cast<int64_t>(0ull - static_cast<uint64_t>(value));
}

}  // namespace

SampleCountIterator::~SampleCountIterator() = default;

bool SampleCountIterator::GetBucketIndex(size_t* index) const {
  return false;
}

HistogramSamples::HistogramSamples(uint64_t id) : meta_(&local_meta_) {
  local_meta_.id = id;
}

HistogramSamples::HistogramSamples(uint64_t id, SamplesMetadata* meta) : meta_(meta) {
  // Several processes may revive the same record; the first one names it. Read first: a
  // revived record may be mapped read-only, where even a failing exchange would fault.
  std::atomic_ref<uint64_t> stored_id(meta_->id);
  uint64_t expected = 0;
  if (stored_id.load(std::memory_order_relaxed) == 0)
    stored_id.compare_exchange_strong(expected, id, std::memory_order_relaxed);
}

HistogramSamples::~HistogramSamples() = default;

uint64_t HistogramSamples::id() const {
  return std::atomic_ref<uint64_t>(meta_->id).load(std::memory_order_relaxed);
}

int64_t HistogramSamples::sum() const {
  return std::atomic_ref<int64_t>(meta_->sum).load(std::memory_order_relaxed);
}

HistogramBase::Count HistogramSamples::redundant_count() const {
  return std::atomic_ref<int32_t>(meta_->redundant_count).load(std::memory_order_relaxed);
}

void HistogramSamples::IncreaseSumAndCount(int64_t sum, Count count) {
  std::atomic_ref<int64_t>(meta_->sum).fetch_add(sum, std::memory_order_relaxed);
  std::atomic_ref<int32_t>(meta_->redundant_count).fetch_add(count, std::memory_order_relaxed);
}

bool HistogramSamples::Add(const HistogramSamples& other) {
  IncreaseSumAndCount(other.sum(), other.redundant_count());
  std::unique_ptr<SampleCountIterator> iterator = other.Iterator();
  return AddSubtractImpl(iterator.get(), ADD);
}

bool HistogramSamples::AddFromWire(WireMessageReader* reader) {
  int64_t sum = 0;
  Count redundant_count = 0;
  if (!reader->ReadInt64(&sum) || !reader->ReadInt(&redundant_count))
    return false;
  IncreaseSumAndCount(sum, redundant_count);
  WireSampleCountIterator iterator(reader);
  return AddSubtractImpl(&iterator, ADD);
}

bool HistogramSamples::Subtract(const HistogramSamples& other) {
  IncreaseSumAndCount(Negate(other.sum()), internal::SubtractCounts(0, other.redundant_count()));
  std::unique_ptr<SampleCountIterator> iterator = other.Iterator();
  return AddSubtractImpl(iterator.get(), SUBTRACT);
}

bool HistogramSamples::Serialize(WireMessage* message) const {
  if (!message->WriteInt64(sum()) || !message->WriteInt(redundant_count()))
    return false;
  for (std::unique_ptr<SampleCountIterator> iterator = Iterator(); !iterator->Done();
       iterator->Next()) {
    Sample minimum = 0;
    Sample maximum = 0;
    Count count = 0;
    iterator->Get(&minimum, &maximum, &count);
    if (!message->WriteInt(minimum) || !message->WriteInt(maximum) || !message->WriteInt(count))
      return false;
  }
  return true;
}

}  // namespace base
