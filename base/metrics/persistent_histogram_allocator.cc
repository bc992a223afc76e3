#include "base/metrics/persistent_histogram_allocator.h"

#include <stddef.h>
#include <string.h>

#include <utility>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"

namespace base {

namespace {

std::atomic<PersistentHistogramAllocator*> g_global_allocator{nullptr};

// The largest bucket count whose counts (two per bucket) a block can hold.
constexpr uint32_t kMaxBucketCount = 0x3FFFFFFE;

void RecordCreateHistogramResult(PersistentHistogramAllocator::CreateHistogramResult result) {
  static std::atomic<HistogramBase*> histogram{nullptr};
  static std::atomic<bool> attempted{false};
  HistogramBase* pointer = histogram.load(std::memory_order_acquire);
  if (!pointer) {
    // Creating it may store it in a segment, which reports here again: only the first
    // attempt creates it, and results reported meanwhile are dropped.
    if (attempted.exchange(true))
      return;
    pointer = LinearHistogram::FactoryGet("UMA.CreatePersistentHistogram.Result",
                                          PersistentHistogramAllocator::CREATE_HISTOGRAM_MAX,
                                          PersistentHistogramAllocator::CREATE_HISTOGRAM_MAX + 1);
    histogram.store(pointer, std::memory_order_release);
  }
  if (pointer)
    pointer->Add(result);
}

}  // namespace

struct PersistentHistogramAllocator::PersistentHistogramData {
  uint32_t histogram_type;
  int32_t flags;
  int32_t minimum;
  int32_t maximum;
  uint32_t bucket_count;
  Reference ranges_ref;
  uint32_t ranges_checksum;
  Reference counts_ref;
  SamplesMetadata samples_metadata;
  SamplesMetadata logged_metadata;
  // Zero-terminated; as long as the block allows.
  char name[8];
};

PersistentHistogramAllocator::Iterator::Iterator(PersistentHistogramAllocator* allocator)
    : allocator_(allocator), memory_iterator_(allocator->memory_allocator()) {}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::Iterator::GetNextWithIgnore(
    Reference ignore) {
  for (;;) {
    const Reference ref = memory_iterator_.GetNextOfType(kTypeIdHistogram);
    if (!ref)
      return nullptr;
    if (ref != ignore)
      return allocator_->GetHistogram(ref);
  }
}

PersistentHistogramAllocator::PersistentHistogramAllocator(
    std::unique_ptr<PersistentMemoryAllocator> memory)
    : memory_(std::move(memory)), sample_records_(memory_.get()), import_iterator_(memory_.get()) {
  static_assert(offsetof(PersistentHistogramData, samples_metadata) == 32 &&
                    offsetof(PersistentHistogramData, logged_metadata) == 56 &&
                    offsetof(PersistentHistogramData, name) == 80 &&
                    sizeof(PersistentHistogramData) == 88,
                "the histogram metadata record is a stored format");
}

PersistentHistogramAllocator::~PersistentHistogramAllocator() = default;

// static
PersistentHistogramAllocator* PersistentHistogramAllocator::GetGlobal() {
  return g_global_allocator.load(std::memory_order_acquire);
}

// static
void PersistentHistogramAllocator::SetGlobal(PersistentHistogramAllocator* allocator) {
  g_global_allocator.store(allocator, std::memory_order_release);
}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::GetHistogram(Reference ref) {
  PersistentHistogramData* data =
      memory_->GetAsObject<PersistentHistogramData>(ref, kTypeIdHistogram);
  if (!data) {
    // Not a histogram record at all: the caller's reference is wrong, not the segment.
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_METADATA);
    return nullptr;
  }
  // A stored record was in use, so both samples ids are set (a new one gets them when
  // CreateHistogram builds its samples).
  if (!std::atomic_ref<uint64_t>(data->samples_metadata.id).load(std::memory_order_relaxed) ||
      !std::atomic_ref<uint64_t>(data->logged_metadata.id).load(std::memory_order_relaxed)) {
    return RefuseRecord(CREATE_HISTOGRAM_INVALID_METADATA);
  }
  return CreateHistogram(data, memory_->GetAllocSize(ref));
}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::RefuseRecord(
    CreateHistogramResult result) {
  memory_->SetCorrupt();
  RecordCreateHistogramResult(result);
  return nullptr;
}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::CreateHistogram(
    PersistentHistogramData* data,
    size_t size) {
  if (!data) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_METADATA_POINTER);
    return nullptr;
  }
  // Everything that decides validity is copied before it is checked: another process may
  // write the record meanwhile.
  const size_t name_room = size > offsetof(PersistentHistogramData, name)
                               ? size - offsetof(PersistentHistogramData, name)
                               : 0;
  const char* name_end = static_cast<const char*>(memchr(data->name, 0, name_room));
  if (size < sizeof(PersistentHistogramData) || !name_end || name_end == data->name)
    return RefuseRecord(CREATE_HISTOGRAM_INVALID_METADATA);
  const std::string name(data->name, static_cast<size_t>(name_end - data->name));
  const uint32_t type =
      std::atomic_ref<uint32_t>(data->histogram_type).load(std::memory_order_relaxed);
  const int32_t flags = std::atomic_ref<int32_t>(data->flags).load(std::memory_order_relaxed);

  if (type == SPARSE_HISTOGRAM) {
    std::unique_ptr<HistogramBase> histogram = SparseHistogram::PersistentCreate(
        this, name, &data->samples_metadata, &data->logged_metadata);
    histogram->SetFlags(flags);
    RecordCreateHistogramResult(CREATE_HISTOGRAM_SUCCESS);
    return histogram;
  }
  if (type > CUSTOM_HISTOGRAM)
    return RefuseRecord(CREATE_HISTOGRAM_UNKNOWN_TYPE);

  const uint32_t bucket_count = data->bucket_count;
  const Reference ranges_ref = data->ranges_ref;
  const uint32_t ranges_checksum = data->ranges_checksum;
  const HistogramBase::Sample minimum = data->minimum;
  const HistogramBase::Sample maximum = data->maximum;
  const Reference counts_ref =
      std::atomic_ref<Reference>(data->counts_ref).load(std::memory_order_acquire);

  if (bucket_count < 2 || bucket_count > kMaxBucketCount)
    return RefuseRecord(CREATE_HISTOGRAM_INVALID_RANGES_ARRAY);
  const size_t ranges_bytes = (size_t{bucket_count} + 1) * sizeof(HistogramBase::Sample);
  const HistogramBase::Sample* stored_ranges = static_cast<const HistogramBase::Sample*>(
      memory_->GetBlockData(ranges_ref, kTypeIdRangesArray, ranges_bytes));
  if (!stored_ranges)
    return RefuseRecord(CREATE_HISTOGRAM_INVALID_RANGES_ARRAY);
  std::unique_ptr<BucketRanges> ranges(new BucketRanges(size_t{bucket_count} + 1));
  for (size_t i = 0; i < ranges->size(); ++i)
    ranges->set_range(i, stored_ranges[i]);
  // Ranges that do not start at 0, end at the largest sample and grow in between would
  // make samples land outside every bucket.
  bool ranges_valid =
      ranges->range(0) == 0 && ranges->range(bucket_count) == HistogramBase::kSampleTypeMax;
  for (uint32_t i = 1; ranges_valid && i <= bucket_count; ++i)
    ranges_valid = ranges->range(i) > ranges->range(i - 1);
  ranges->set_checksum(ranges_checksum);
  if (!ranges_valid || !ranges->HasValidChecksum())
    return RefuseRecord(CREATE_HISTOGRAM_INVALID_RANGES_ARRAY);
  const BucketRanges* registered_ranges =
      StatisticsRecorder::RegisterOrDeleteDuplicateRanges(ranges.release());

  const size_t counts_bytes = 2 * size_t{bucket_count} * sizeof(HistogramBase::Count);
  HistogramBase::Count* counts = static_cast<HistogramBase::Count*>(
      memory_->GetBlockData(counts_ref, kTypeIdCountsArray, counts_bytes));
  if (!counts)
    return RefuseRecord(CREATE_HISTOGRAM_INVALID_COUNTS_ARRAY);
  HistogramBase::Count* logged_counts = counts + bucket_count;

  std::unique_ptr<HistogramBase> histogram = Histogram::PersistentCreate(
      static_cast<HistogramType>(type), name, minimum, maximum, registered_ranges, counts,
      logged_counts, &data->samples_metadata, &data->logged_metadata);
  histogram->SetFlags(flags);
  RecordCreateHistogramResult(CREATE_HISTOGRAM_SUCCESS);
  return histogram;
}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::AllocateHistogram(
    HistogramType type,
    const std::string& name,
    HistogramBase::Sample minimum,
    HistogramBase::Sample maximum,
    const BucketRanges* ranges,
    int32_t flags,
    Reference* ref) {
  if (memory_->IsCorrupt()) {
    memory_->SetCorrupt();
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_CORRUPT);
    return nullptr;
  }

  const Reference histogram_ref = memory_->Allocate(
      offsetof(PersistentHistogramData, name) + name.size() + 1, kTypeIdHistogram);
  PersistentHistogramData* data =
      memory_->GetAsObject<PersistentHistogramData>(histogram_ref, kTypeIdHistogram);
  if (data) {
    memcpy(data->name, name.c_str(), name.size() + 1);
    data->histogram_type = type;
    data->flags = flags | HistogramBase::kIsPersistent;

    if (type != SPARSE_HISTOGRAM) {
      const size_t bucket_count = ranges->bucket_count();
      const size_t counts_bytes = 2 * bucket_count * sizeof(HistogramBase::Count);
      const size_t ranges_bytes = (bucket_count + 1) * sizeof(HistogramBase::Sample);
      const Reference counts_ref = memory_->Allocate(counts_bytes, kTypeIdCountsArray);
      const Reference ranges_ref = memory_->Allocate(ranges_bytes, kTypeIdRangesArray);
      void* ranges_data = memory_->GetBlockData(ranges_ref, kTypeIdRangesArray, ranges_bytes);
      if (counts_ref && ranges_data) {
        memcpy(ranges_data, ranges->data(), ranges_bytes);
        data->minimum = minimum;
        data->maximum = maximum;
        data->bucket_count = static_cast<uint32_t>(bucket_count);
        data->ranges_ref = ranges_ref;
        data->ranges_checksum = ranges->checksum();
        // Readers take the counts reference as the sign that the record is complete.
        std::atomic_ref<Reference>(data->counts_ref).store(counts_ref, std::memory_order_release);
      } else {
        // What was allocated stays unused: blocks are never freed.
        data = nullptr;
      }
    }
  }

  if (data) {
    std::unique_ptr<HistogramBase> histogram =
        CreateHistogram(data, memory_->GetAllocSize(histogram_ref));
    if (histogram) {
      last_created_.store(histogram_ref, std::memory_order_relaxed);
      *ref = histogram_ref;
    }
    return histogram;
  }

  if (memory_->IsCorrupt()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_NEWLY_CORRUPT);
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_CORRUPT);
  } else if (memory_->IsFull()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_FULL);
  } else {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_ERROR);
  }
  return nullptr;
}

void PersistentHistogramAllocator::FinalizeHistogram(Reference ref, bool registered) {
  if (registered)
    memory_->MakeIterable(ref);
  else
    memory_->ChangeType(ref, 0, kTypeIdHistogram);
}

void PersistentHistogramAllocator::ImportHistogramsToRecorder() {
  for (;;) {
    const Reference ref = import_iterator_.GetNextOfType(kTypeIdHistogram);
    if (!ref)
      return;
    if (ref == last_created_.load(std::memory_order_relaxed))
      continue;
    std::unique_ptr<HistogramBase> histogram = GetHistogram(ref);
    if (!histogram)
      return;
    // The recorder keeps what it is given for the rest of the process.
    StatisticsRecorder::RegisterOrDeleteDuplicate(histogram.release());
  }
}

}  // namespace base
