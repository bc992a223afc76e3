#include "base/metrics/sparse_histogram.h"

#include <utility>

#include "base/logging.h"
#include "base/metrics/metrics_hashes.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/persistent_sample_map.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/statistics_recorder.h"
#include "base/strings/stringprintf.h"
#include "base/values.h"
#include "base/wire_message.h"

namespace base {

// static
HistogramBase* SparseHistogram::FactoryGet(const std::string& name) {
  HistogramBase* histogram = StatisticsRecorder::FindHistogram(name);
  if (!histogram) {
    int32_t flags = kUmaTargetedHistogramFlag;
    std::unique_ptr<HistogramBase> tentative;
    PersistentHistogramAllocator::Reference reference = 0;
    PersistentHistogramAllocator* allocator = PersistentHistogramAllocator::GetGlobal();
    if (allocator) {
      tentative =
          allocator->AllocateHistogram(SPARSE_HISTOGRAM, name, 0, 0, nullptr, flags, &reference);
    }
    if (!tentative) {
      flags &= ~kIsPersistent;
      tentative.reset(new SparseHistogram(name));
      tentative->SetFlags(flags);
    }
    HistogramBase* const tentative_pointer = tentative.get();
    histogram = StatisticsRecorder::RegisterOrDeleteDuplicate(tentative.release());
    if (reference)
      allocator->FinalizeHistogram(reference, histogram == tentative_pointer);
  }
  CHECK(histogram->GetType() == SPARSE_HISTOGRAM)
      << name << " has type " << HistogramTypeToString(histogram->GetType());
  return histogram;
}

// static
std::unique_ptr<HistogramBase> SparseHistogram::PersistentCreate(
    PersistentHistogramAllocator* allocator,
    const std::string& name,
    SamplesMetadata* meta,
    SamplesMetadata* logged_meta) {
  return std::unique_ptr<HistogramBase>(new SparseHistogram(allocator, name, meta, logged_meta));
}

SparseHistogram::SparseHistogram(const std::string& name)
    : HistogramBase(name),
      samples_(new SampleMap(HashMetricName(name))),
      logged_samples_(new SampleMap(samples_->id())) {}

SparseHistogram::SparseHistogram(PersistentHistogramAllocator* allocator,
                                 const std::string& name,
                                 SamplesMetadata* meta,
                                 SamplesMetadata* logged_meta)
    : HistogramBase(name),
      samples_(new PersistentSampleMap(HashMetricName(name), allocator->sample_records(), meta)),
      // The two maps' records must not mix: the logged ones carry the next id.
      logged_samples_(
          new PersistentSampleMap(samples_->id() + 1, allocator->sample_records(), logged_meta)) {}

SparseHistogram::~SparseHistogram() = default;

uint64_t SparseHistogram::NameHash() const {
  return samples_->id();
}

HistogramType SparseHistogram::GetType() const {
  return SPARSE_HISTOGRAM;
}

bool SparseHistogram::MatchesArguments(Sample minimum,
                                       Sample maximum,
                                       uint32_t bucket_count) const {
  return false;
}

void SparseHistogram::Add(Sample value) {
  AddCount(value, 1);
}

void SparseHistogram::AddCount(Sample value, Count count) {
  if (count <= 0)
    return;
  {
    AutoLock lock(lock_);
    samples_->Accumulate(value, count);
  }
  FindAndRunCallback(value);
}

void SparseHistogram::AddSamples(const HistogramSamples& samples) {
  AutoLock lock(lock_);
  samples_->Add(samples);
}

bool SparseHistogram::AddSamplesFromWire(WireMessageReader* reader) {
  AutoLock lock(lock_);
  return samples_->AddFromWire(reader);
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotSamples() const {
  std::unique_ptr<SampleMap> snapshot(new SampleMap(samples_->id()));
  AutoLock lock(lock_);
  snapshot->Add(*samples_);
  return snapshot;
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotDelta() {
  DCHECK(!final_delta_created_);
  std::unique_ptr<SampleMap> snapshot(new SampleMap(samples_->id()));
  AutoLock lock(lock_);
  snapshot->Add(*samples_);
  snapshot->Subtract(*logged_samples_);
  logged_samples_->Add(*snapshot);
  return snapshot;
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotFinalDelta() {
  std::unique_ptr<SampleMap> snapshot(new SampleMap(samples_->id()));
  AutoLock lock(lock_);
  DCHECK(!final_delta_created_);
  final_delta_created_ = true;
  snapshot->Add(*samples_);
  snapshot->Subtract(*logged_samples_);
  return snapshot;
}

void SparseHistogram::WriteAsciiImpl(const char* newline, std::string* output) const {
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  const Count total = snapshot->TotalCount();

  StringAppendF(output, "Histogram: %s recorded %d samples", histogram_name().c_str(), total);
  if (flags())
    StringAppendF(output, " (flags = 0x%x)", static_cast<unsigned>(flags()));
  output->append(newline);

  Sample largest_value = 0;
  Count largest_count = 0;
  for (std::unique_ptr<SampleCountIterator> it = snapshot->Iterator(); !it->Done(); it->Next()) {
    Sample value = 0;
    Count count = 0;
    it->Get(&value, nullptr, &count);
    if (value > largest_value)
      largest_value = value;
    if (count > largest_count)
      largest_count = count;
  }
  const size_t width = StringPrintf("%d", largest_value).size();

  for (std::unique_ptr<SampleCountIterator> it = snapshot->Iterator(); !it->Done(); it->Next()) {
    Sample value = 0;
    Count count = 0;
    it->Get(&value, nullptr, &count);
    const std::string label = StringPrintf("%d", value);
    output->append(label);
    if (label.size() < width + 2)
      output->append(width + 2 - label.size(), ' ');
    WriteAsciiBucketGraph(count, largest_count, output);
    StringAppendF(output, " (%d = %3.1f%%)", count, count / (total / 100.0));
    output->append(newline);
  }
}

bool SparseHistogram::SerializeInfo(WireMessage* message) const {
  return message->WriteString(histogram_name()) && message->WriteInt(flags());
}

void SparseHistogram::GetParameters(DictionaryValue* params) const {
  params->SetString("type", HistogramTypeToString(GetType()));
}

void SparseHistogram::GetCountAndBuckets(Count* count, int64_t* sum, ListValue* buckets) const {}

}  // namespace base
