#include "base/metrics/sample_map.h"

namespace base {

SampleMap::SampleMap(uint64_t id) : HistogramSamples(id) {}

SampleMap::~SampleMap() = default;

void SampleMap::Accumulate(Sample value, Count count) {
  Count& entry = sample_counts_[value];
  entry = internal::AddCounts(entry, count);
  IncreaseSumAndCount(static_cast<int64_t>(value) * count, count);
}

HistogramBase::Count SampleMap::GetCount(Sample value) const {
  const auto it = sample_counts_.find(value);
  return it == sample_counts_.end() ? 0 : it->second;
}

HistogramBase::Count SampleMap::TotalCount() const {
  Count total = 0;
  for (const auto& entry : sample_counts_)
    total = internal::AddCounts(total, entry.second);
  return total;
}

std::unique_ptr<SampleCountIterator> SampleMap::Iterator() const {
  return std::unique_ptr<SampleCountIterator>(
      new internal::SampleMapIterator<Count>(sample_counts_));
}

bool SampleMap::AddSubtractImpl(SampleCountIterator* iterator, Operator op) {
  for (; !iterator->Done(); iterator->Next()) {
    Sample minimum = 0;
    Sample maximum = 0;
    Count count = 0;
    iterator->Get(&minimum, &maximum, &count);
    if (maximum != internal::NextSample(minimum))
      return false;
    Count& entry = sample_counts_[minimum];
    entry = op == ADD ? internal::AddCounts(entry, count) : internal::SubtractCounts(entry, count);
  }
  return true;
}

}  // namespace base
