#include "base/metrics/persistent_sample_map.h"

#include <atomic>

#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sample_map.h"

namespace base {

namespace {

// Walks read at least this many records, so that the lock is not taken for each one.
constexpr int kMinimumRecordsPerLoad = 10;

// Why a subtraction could not be applied to the stored counts.
enum NegativeSampleReason {
  NO_RECORD_FOR_VALUE = 0,
  COUNT_WOULD_GO_NEGATIVE = 1,
  NEGATIVE_SAMPLE_REASON_MAX = 2,
};

void RecordNegativeSample(NegativeSampleReason reason) {
  static HistogramBase* const histogram = LinearHistogram::FactoryGet(
      "UMA.NegativeSamples.Reason", NEGATIVE_SAMPLE_REASON_MAX, NEGATIVE_SAMPLE_REASON_MAX + 1);
  histogram->Add(reason);
}

// Counts in a segment are shared with every other process that maps it, so each change is
// one atomic operation: a lock of this process does not keep the others out.
std::atomic_ref<HistogramBase::Count> SharedCount(HistogramBase::Count* storage) {
  return std::atomic_ref<HistogramBase::Count>(*storage);
}

void AddToCount(HistogramBase::Count* storage, HistogramBase::Count count) {
  // Wraps like internal::AddCounts.
  SharedCount(storage).fetch_add(count, std::memory_order_relaxed);
}

}  // namespace

SampleRecordStore::SampleRecordStore(PersistentMemoryAllocator* allocator)
    : allocator_(allocator), iterator_(allocator) {}

SampleRecordStore::~SampleRecordStore() = default;

SampleRecordStore::Records* SampleRecordStore::GetRecords(uint64_t id) {
  AutoLock lock(lock_);
  return GetRecordsLocked(id);
}

SampleRecordStore::Records* SampleRecordStore::GetRecordsLocked(uint64_t id) {
  std::unique_ptr<Records>& records = records_by_id_[id];
  if (!records)
    records.reset(new Records());
  return records.get();
}

void SampleRecordStore::CopyReferences(Records* records, size_t from, std::vector<Reference>* out) {
  AutoLock lock(lock_);
  if (from < records->references.size())
    out->insert(out->end(), records->references.begin() + from, records->references.end());
}

bool SampleRecordStore::LoadRecords(uint64_t id, Records* records) {
  AutoLock lock(lock_);
  // A record this process just created is not found by the walk yet, but it answers the
  // caller's question.
  bool found = records->created_since_load > 0;
  records->created_since_load = 0;
  for (int count = 0; !found || count < kMinimumRecordsPerLoad; ++count) {
    const Reference ref = iterator_.GetNextOfType(kTypeIdSampleRecord);
    if (!ref)
      break;
    const SampleRecord* record = allocator_->GetAsObject<SampleRecord>(ref, kTypeIdSampleRecord);
    if (!record)
      continue;
    const uint64_t record_id = record->id;
    if (record_id == id) {
      records->references.push_back(ref);
      found = true;
    } else {
      GetRecordsLocked(record_id)->references.push_back(ref);
    }
  }
  return found;
}

SampleRecordStore::Reference SampleRecordStore::CreateRecord(uint64_t id,
                                                             Records* records,
                                                             HistogramBase::Sample value) {
  const Reference ref = allocator_->Allocate(sizeof(SampleRecord), kTypeIdSampleRecord);
  SampleRecord* record = allocator_->GetAsObject<SampleRecord>(ref, kTypeIdSampleRecord);
  if (!record)
    return 0;
  record->id = id;
  record->value = value;
  record->count = 0;
  allocator_->MakeIterable(ref);
  AutoLock lock(lock_);
  ++records->created_since_load;
  return ref;
}

PersistentSampleMap::PersistentSampleMap(uint64_t id,
                                         SampleRecordStore* store,
                                         SamplesMetadata* meta)
    : HistogramSamples(id, meta), store_(store), records_(store->GetRecords(this->id())) {}

PersistentSampleMap::~PersistentSampleMap() = default;

void PersistentSampleMap::Accumulate(Sample value, Count count) {
  AddToCount(GetOrCreateSampleCountStorage(value), count);
  IncreaseSumAndCount(static_cast<int64_t>(value) * count, count);
}

HistogramBase::Count PersistentSampleMap::GetCount(Sample value) const {
  Count* storage = GetSampleCountStorage(value);
  return storage ? SharedCount(storage).load(std::memory_order_relaxed) : 0;
}

HistogramBase::Count PersistentSampleMap::TotalCount() const {
  ImportSamples(0, true);
  Count total = 0;
  for (const auto& entry : sample_counts_)
    total = internal::AddCounts(total, SharedCount(entry.second).load(std::memory_order_relaxed));
  return total;
}

std::unique_ptr<SampleCountIterator> PersistentSampleMap::Iterator() const {
  ImportSamples(0, true);
  return std::unique_ptr<SampleCountIterator>(
      new internal::SampleMapIterator<Count*>(sample_counts_));
}

bool PersistentSampleMap::AddSubtractImpl(SampleCountIterator* iterator, Operator op) {
  for (; !iterator->Done(); iterator->Next()) {
    Sample minimum = 0;
    Sample maximum = 0;
    Count count = 0;
    iterator->Get(&minimum, &maximum, &count);
    if (maximum != internal::NextSample(minimum))
      return false;
    if (op == ADD) {
      AddToCount(GetOrCreateSampleCountStorage(minimum), count);
      continue;
    }
    Count* storage = GetSampleCountStorage(minimum);
    if (!storage) {
      RecordNegativeSample(NO_RECORD_FOR_VALUE);
      continue;
    }
    std::atomic_ref<Count> shared = SharedCount(storage);
    Count current = shared.load(std::memory_order_relaxed);
    Count remaining = 0;
    do {
      const int64_t difference = static_cast<int64_t>(current) - count;
      remaining = difference < 0 ? 0 : static_cast<Count>(difference);
    } while (!shared.compare_exchange_weak(current, remaining, std::memory_order_relaxed));
    if (static_cast<int64_t>(current) - count < 0)
      RecordNegativeSample(COUNT_WOULD_GO_NEGATIVE);
  }
  return true;
}

HistogramBase::Count* PersistentSampleMap::GetSampleCountStorage(Sample value) const {
  const auto it = sample_counts_.find(value);
  if (it != sample_counts_.end())
    return it->second;
  return ImportSamples(value, false);
}

HistogramBase::Count* PersistentSampleMap::GetOrCreateSampleCountStorage(Sample value) {
  if (Count* storage = GetSampleCountStorage(value))
    return storage;
  const SampleRecordStore::Reference ref = store_->CreateRecord(id(), records_, value);
  SampleRecordStore::SampleRecord* record =
      store_->allocator()->GetAsObject<SampleRecordStore::SampleRecord>(
          ref, SampleRecordStore::kTypeIdSampleRecord);
  Count* storage = nullptr;
  if (record) {
    storage = &record->count;
  } else {
    // No room in the segment: the count is still kept, in this process only.
    heap_counts_.emplace_back(new Count(0));
    storage = heap_counts_.back().get();
  }
  sample_counts_[value] = storage;
  return storage;
}

HistogramBase::Count* PersistentSampleMap::ImportSamples(Sample until, bool import_all) const {
  PersistentMemoryAllocator* allocator = store_->allocator();
  Count* found = nullptr;
  for (;;) {
    std::vector<SampleRecordStore::Reference> references;
    store_->CopyReferences(records_, records_seen_, &references);
    records_seen_ += references.size();
    for (SampleRecordStore::Reference ref : references) {
      SampleRecordStore::SampleRecord* record =
          allocator->GetAsObject<SampleRecordStore::SampleRecord>(
              ref, SampleRecordStore::kTypeIdSampleRecord);
      if (!record)
        continue;
      const Sample value = record->value;
      // A value with two records (two processes racing to create one) keeps the first.
      Count*& storage = sample_counts_[value];
      if (!storage)
        storage = &record->count;
      if (!found && value == until)
        found = storage;
    }
    if (found && !import_all)
      return found;
    if (!store_->LoadRecords(id(), records_))
      break;
  }
  return import_all ? nullptr : found;
}

}  // namespace base
