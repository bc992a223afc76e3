#include "base/metrics/sample_vector.h"

#include <atomic>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"

namespace base {

namespace {

HistogramBase::Count LoadCount(HistogramBase::Count* count) {
  return std::atomic_ref<HistogramBase::Count>(*count).load(std::memory_order_relaxed);
}

// The non-empty buckets in index order.
class SampleVectorIterator : public SampleCountIterator {
 public:
  SampleVectorIterator(HistogramBase::Count* counts,
                       size_t counts_size,
                       const BucketRanges* bucket_ranges)
      : counts_(counts), counts_size_(counts_size), bucket_ranges_(bucket_ranges) {
    SkipEmptyBuckets();
  }

  bool Done() const override { return index_ >= counts_size_; }

  void Next() override {
    DCHECK(!Done());
    ++index_;
    SkipEmptyBuckets();
  }

  void Get(Sample* minimum, Sample* maximum, Count* count) const override {
    DCHECK(!Done());
    if (minimum)
      *minimum = bucket_ranges_->range(index_);
    if (maximum)
      *maximum = bucket_ranges_->range(index_ + 1);
    if (count)
      *count = LoadCount(&counts_[index_]);
  }

  bool GetBucketIndex(size_t* index) const override {
    DCHECK(!Done());
    if (index)
      *index = index_;
    return true;
  }

 private:
  void SkipEmptyBuckets() {
    while (index_ < counts_size_ && LoadCount(&counts_[index_]) == 0)
      ++index_;
  }

  HistogramBase::Count* const counts_;
  const size_t counts_size_;
  const BucketRanges* const bucket_ranges_;
  size_t index_ = 0;
};

}  // namespace

SampleVector::SampleVector(uint64_t id, const BucketRanges* bucket_ranges)
    : HistogramSamples(id),
      local_counts_(new Count[bucket_ranges->bucket_count()]()),
      counts_(local_counts_.get()),
      counts_size_(bucket_ranges->bucket_count()),
      bucket_ranges_(bucket_ranges) {}

SampleVector::SampleVector(uint64_t id,
                           Count* counts,
                           SamplesMetadata* meta,
                           const BucketRanges* bucket_ranges)
    : HistogramSamples(id, meta),
      counts_(counts),
      counts_size_(bucket_ranges->bucket_count()),
      bucket_ranges_(bucket_ranges) {}

SampleVector::~SampleVector() = default;

void SampleVector::Accumulate(Sample value, Count count) {
  const size_t bucket_index = GetBucketIndex(value);
  std::atomic_ref<Count>(counts_[bucket_index]).fetch_add(count, std::memory_order_relaxed);
  IncreaseSumAndCount(static_cast<int64_t>(value) * count, count);
}

HistogramBase::Count SampleVector::GetCount(Sample value) const {
  return GetCountAtIndex(GetBucketIndex(value));
}

HistogramBase::Count SampleVector::GetCountAtIndex(size_t bucket_index) const {
  DCHECK(bucket_index < counts_size_);
  return LoadCount(&counts_[bucket_index]);
}

HistogramBase::Count SampleVector::TotalCount() const {
  Count total = 0;
  for (size_t i = 0; i < counts_size_; ++i)
    total = internal::AddCounts(total, LoadCount(&counts_[i]));
  return total;
}

std::unique_ptr<SampleCountIterator> SampleVector::Iterator() const {
  return std::unique_ptr<SampleCountIterator>(
      new SampleVectorIterator(counts_, counts_size_, bucket_ranges_));
}

size_t SampleVector::GetBucketIndex(Sample value) const {
  const size_t bucket_count = bucket_ranges_->bucket_count();
  CHECK(value >= bucket_ranges_->range(0) && value < bucket_ranges_->range(bucket_count))
      << "sample " << value << " outside the histogram's ranges";
  size_t under = 0;
  size_t over = bucket_count;
  size_t mid = 0;
  for (;;) {
    mid = under + (over - under) / 2;
    if (mid == under)
      break;
    if (bucket_ranges_->range(mid) <= value)
      under = mid;
    else
      over = mid;
  }
  CHECK(bucket_ranges_->range(mid) <= value && bucket_ranges_->range(mid + 1) > value)
      << "histogram ranges out of order at " << mid;
  return mid;
}

bool SampleVector::AddSubtractImpl(SampleCountIterator* iterator, Operator op) {
  size_t index = 0;
  while (index < counts_size_ && !iterator->Done()) {
    Sample minimum = 0;
    Sample maximum = 0;
    Count count = 0;
    iterator->Get(&minimum, &maximum, &count);
    if (minimum == bucket_ranges_->range(index)) {
      if (maximum != bucket_ranges_->range(index + 1))
        return false;
      std::atomic_ref<Count> bucket(counts_[index]);
      if (op == ADD)
        bucket.fetch_add(count, std::memory_order_relaxed);
      else
        bucket.fetch_sub(count, std::memory_order_relaxed);
      iterator->Next();
    } else if (minimum > bucket_ranges_->range(index)) {
      ++index;
    } else {
      return false;
    }
  }
  return iterator->Done();
}

}  // namespace base
