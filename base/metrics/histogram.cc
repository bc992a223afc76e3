#include "base/metrics/histogram.h"

#include <atomic>
#include <utility>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/metrics_hashes.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/sample_vector.h"
#include "base/metrics/statistics_recorder.h"
#include "base/strings/stringprintf.h"
#include "base/values.h"
#include "base/wire_message.h"

namespace base {

namespace {

// Readers take no lock, so the redundant count may run ahead of or behind the counts by a
// few concurrent samples without anything being damaged.
constexpr HistogramBase::Count kCommonRaceBasedCountMismatch = 5;

HistogramBase::Sample ClampToSample(int64_t value) {
  return value > INT32_MAX
             ? INT32_MAX
             : (value < INT32_MIN ? INT32_MIN : static_cast<HistogramBase::Sample>(value));
}

// The arguments every factory corrects before building.
void InspectConstructionArguments(HistogramBase::Sample* minimum,
                                  HistogramBase::Sample* maximum,
                                  uint32_t* bucket_count) {
  if (*minimum < 1)
    *minimum = 1;
  if (*maximum >= HistogramBase::kSampleTypeMax)
    *maximum = HistogramBase::kSampleTypeMax - 1;
  if (*bucket_count >= Histogram::kBucketCountLimit)
    *bucket_count = Histogram::kBucketCountLimit - 1;
}

HistogramBase* GetInconsistentCountHistogram(bool high) {
  static HistogramBase* const high_histogram =
      Histogram::FactoryCountsGet("Histogram.InconsistentCountHigh", 1000000);
  static HistogramBase* const low_histogram =
      Histogram::FactoryCountsGet("Histogram.InconsistentCountLow", 1000000);
  return high ? high_histogram : low_histogram;
}

}  // namespace

// Builds a histogram for the factory functions: a short-lived object per call.
class Histogram::Factory {
 public:
  Factory(const std::string& name,
          Sample minimum,
          Sample maximum,
          uint32_t bucket_count,
          int32_t flags)
      : Factory(name, HISTOGRAM, minimum, maximum, bucket_count, flags) {}
  Factory(const Factory&) = delete;
  Factory& operator=(const Factory&) = delete;
  virtual ~Factory() = default;

  HistogramBase* Build();

 protected:
  Factory(const std::string& name,
          HistogramType type,
          Sample minimum,
          Sample maximum,
          uint32_t bucket_count,
          int32_t flags)
      : name_(name),
        type_(type),
        minimum_(minimum),
        maximum_(maximum),
        bucket_count_(bucket_count),
        flags_(flags) {}

  virtual BucketRanges* CreateRanges() {
    BucketRanges* ranges = new BucketRanges(bucket_count_ + 1);
    BucketRanges::FillExponential(minimum_, maximum_, ranges);
    return ranges;
  }

  virtual std::unique_ptr<HistogramBase> HeapAlloc(const BucketRanges* ranges) {
    return std::unique_ptr<HistogramBase>(new Histogram(name_, minimum_, maximum_, ranges));
  }

  // Completes a histogram however it was allocated.
  virtual void FillHistogram(HistogramBase* histogram) {}

  const std::string& name_;
  const HistogramType type_;
  const Sample minimum_;
  const Sample maximum_;
  const uint32_t bucket_count_;
  int32_t flags_;
};

HistogramBase* Histogram::Factory::Build() {
  HistogramBase* histogram = StatisticsRecorder::FindHistogram(name_);
  if (!histogram) {
    // Registered ranges belong to the recorder (or, without a registry, live on for good).
    const BucketRanges* ranges =
        StatisticsRecorder::RegisterOrDeleteDuplicateRanges(CreateRanges());

    std::unique_ptr<HistogramBase> tentative;
    PersistentHistogramAllocator::Reference reference = 0;
    PersistentHistogramAllocator* allocator = PersistentHistogramAllocator::GetGlobal();
    if (allocator) {
      tentative = allocator->AllocateHistogram(type_, name_, minimum_, maximum_, ranges, flags_,
                                               &reference);
    }
    if (!tentative) {
      flags_ &= ~kIsPersistent;
      tentative = HeapAlloc(ranges);
      tentative->SetFlags(flags_);
    }
    FillHistogram(tentative.get());

    HistogramBase* const tentative_pointer = tentative.get();
    histogram = StatisticsRecorder::RegisterOrDeleteDuplicate(tentative.release());
    if (reference)
      allocator->FinalizeHistogram(reference, histogram == tentative_pointer);
  }

  CHECK(histogram->GetType() == type_)
      << histogram->histogram_name() << " has type " << HistogramTypeToString(histogram->GetType());
  if (!histogram->MatchesArguments(minimum_, maximum_, bucket_count_)) {
    LOG(ERROR) << "Histogram " << name_ << " has mismatched construction arguments";
    return nullptr;
  }
  return histogram;
}

class LinearHistogram::Factory : public Histogram::Factory {
 public:
  Factory(const std::string& name,
          Sample minimum,
          Sample maximum,
          uint32_t bucket_count,
          int32_t flags,
          const DescriptionPair* descriptions)
      : Histogram::Factory(name, LINEAR_HISTOGRAM, minimum, maximum, bucket_count, flags),
        descriptions_(descriptions) {}

 protected:
  BucketRanges* CreateRanges() override {
    BucketRanges* ranges = new BucketRanges(bucket_count_ + 1);
    BucketRanges::FillLinear(minimum_, maximum_, ranges);
    return ranges;
  }

  std::unique_ptr<HistogramBase> HeapAlloc(const BucketRanges* ranges) override {
    return std::unique_ptr<HistogramBase>(new LinearHistogram(name_, minimum_, maximum_, ranges));
  }

  void FillHistogram(HistogramBase* base_histogram) override {
    if (!descriptions_)
      return;
    LinearHistogram* histogram = static_cast<LinearHistogram*>(base_histogram);
    for (const DescriptionPair* pair = descriptions_; pair->description; ++pair)
      histogram->bucket_descriptions_[pair->sample] = pair->description;
  }

 private:
  const DescriptionPair* const descriptions_;
};

// static
HistogramBase* Histogram::FactoryGet(const std::string& name,
                                     Sample minimum,
                                     Sample maximum,
                                     uint32_t bucket_count,
                                     int32_t flags) {
  InspectConstructionArguments(&minimum, &maximum, &bucket_count);
  return Factory(name, minimum, maximum, bucket_count, flags).Build();
}

// static
HistogramBase* Histogram::FactoryTimeGet(const std::string& name,
                                         TimeDelta minimum,
                                         TimeDelta maximum) {
  return FactoryGet(name, ClampToSample(minimum.InMilliseconds()),
                    ClampToSample(maximum.InMilliseconds()), kTimeBucketCount,
                    kUmaTargetedHistogramFlag);
}

// static
HistogramBase* Histogram::FactoryCountsGet(const std::string& name, Sample maximum) {
  return FactoryGet(name, 1, maximum, kTimeBucketCount, kUmaTargetedHistogramFlag);
}

// static
std::unique_ptr<HistogramBase> Histogram::PersistentCreate(HistogramType type,
                                                           const std::string& name,
                                                           Sample minimum,
                                                           Sample maximum,
                                                           const BucketRanges* ranges,
                                                           Count* counts,
                                                           Count* logged_counts,
                                                           SamplesMetadata* meta,
                                                           SamplesMetadata* logged_meta) {
  Histogram* histogram = nullptr;
  switch (type) {
    case HISTOGRAM:
      histogram =
          new Histogram(name, minimum, maximum, ranges, counts, logged_counts, meta, logged_meta);
      break;
    case LINEAR_HISTOGRAM:
      histogram = new LinearHistogram(name, minimum, maximum, ranges, counts, logged_counts, meta,
                                      logged_meta);
      break;
    case BOOLEAN_HISTOGRAM:
      histogram =
          new BooleanHistogram(name, 1, 2, ranges, counts, logged_counts, meta, logged_meta);
      break;
    case CUSTOM_HISTOGRAM:
      histogram =
          new CustomHistogram(name, ranges->range(1), ranges->range(ranges->bucket_count() - 1),
                              ranges, counts, logged_counts, meta, logged_meta);
      break;
    case SPARSE_HISTOGRAM:
      break;
  }
  return std::unique_ptr<HistogramBase>(histogram);
}

Histogram::Histogram(const std::string& name,
                     Sample minimum,
                     Sample maximum,
                     const BucketRanges* ranges)
    : HistogramBase(name),
      bucket_ranges_(ranges),
      declared_min_(minimum),
      declared_max_(maximum),
      samples_(new SampleVector(HashMetricName(name), ranges)) {}

Histogram::Histogram(const std::string& name,
                     Sample minimum,
                     Sample maximum,
                     const BucketRanges* ranges,
                     Count* counts,
                     Count* logged_counts,
                     SamplesMetadata* meta,
                     SamplesMetadata* logged_meta)
    : HistogramBase(name),
      bucket_ranges_(ranges),
      declared_min_(minimum),
      declared_max_(maximum),
      samples_(new SampleVector(HashMetricName(name), counts, meta, ranges)),
      logged_samples_(new SampleVector(samples_->id(), logged_counts, logged_meta, ranges)) {}

Histogram::~Histogram() = default;

uint64_t Histogram::NameHash() const {
  return samples_->id();
}

HistogramType Histogram::GetType() const {
  return HISTOGRAM;
}

bool Histogram::MatchesArguments(Sample minimum, Sample maximum, uint32_t bucket_count) const {
  return minimum == declared_min_ && maximum == declared_max_ && bucket_count == BucketCount();
}

void Histogram::Add(Sample value) {
  AddCount(value, 1);
}

void Histogram::AddCount(Sample value, Count count) {
  if (value > kSampleTypeMax - 1)
    value = kSampleTypeMax - 1;
  if (value < 0)
    value = 0;
  if (count <= 0)
    return;
  samples_->Accumulate(value, count);
  FindAndRunCallback(value);
}

void Histogram::AddSamples(const HistogramSamples& samples) {
  samples_->Add(samples);
}

bool Histogram::AddSamplesFromWire(WireMessageReader* reader) {
  return samples_->AddFromWire(reader);
}

uint32_t Histogram::FindCorruption(const HistogramSamples& samples) const {
  uint32_t inconsistencies = NO_INCONSISTENCIES;
  int64_t previous = -1;
  for (uint32_t i = 0; i < BucketCount(); ++i) {
    const Sample entry = bucket_ranges_->range(i);
    if (previous >= entry)
      inconsistencies |= BUCKET_ORDER_ERROR;
    previous = entry;
  }
  if (!bucket_ranges_->HasValidChecksum())
    inconsistencies |= RANGE_CHECKSUM_ERROR;

  const int64_t delta = static_cast<int64_t>(samples.redundant_count()) - samples.TotalCount();
  if (delta > 0) {
    GetInconsistentCountHistogram(true)->Add(ClampToSample(delta));
    if (delta > kCommonRaceBasedCountMismatch)
      inconsistencies |= COUNT_HIGH_ERROR;
  } else if (delta < 0) {
    GetInconsistentCountHistogram(false)->Add(ClampToSample(-delta));
    if (-delta > kCommonRaceBasedCountMismatch)
      inconsistencies |= COUNT_LOW_ERROR;
  }
  return inconsistencies;
}

std::unique_ptr<SampleVector> Histogram::SnapshotAllSamples() const {
  std::unique_ptr<SampleVector> snapshot(new SampleVector(samples_->id(), bucket_ranges_));
  snapshot->Add(*samples_);
  return snapshot;
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotSamples() const {
  return SnapshotAllSamples();
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotDelta() {
  DCHECK(!final_delta_created_);
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  if (!logged_samples_) {
    // The first delta is everything so far, and what is logged is exactly that: a second
    // snapshot could hold samples added meanwhile, which the next delta would count again.
    logged_samples_.reset(new SampleVector(samples_->id(), bucket_ranges_));
    logged_samples_->Add(*snapshot);
    return snapshot;
  }
  snapshot->Subtract(*logged_samples_);
  logged_samples_->Add(*snapshot);
  return snapshot;
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotFinalDelta() {
  DCHECK(!final_delta_created_);
  final_delta_created_ = true;
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  if (logged_samples_)
    snapshot->Subtract(*logged_samples_);
  return snapshot;
}

void Histogram::WriteAsciiImpl(const char* newline, std::string* output) const {
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  const Count total = snapshot->TotalCount();
  const uint32_t bucket_count = BucketCount();

  StringAppendF(output, "Histogram: %s recorded %d samples", histogram_name().c_str(), total);
  if (total != 0) {
    const float mean = static_cast<float>(snapshot->sum()) / total;
    StringAppendF(output, ", mean = %.1f", mean);
  }
  if (flags())
    StringAppendF(output, " (flags = 0x%x)", static_cast<unsigned>(flags()));
  output->append(newline);

  double peak = 0.0;
  for (uint32_t i = 0; i < bucket_count; ++i) {
    const double size = BucketSizeFor(snapshot->GetCountAtIndex(i), i);
    if (size > peak)
      peak = size;
  }
  size_t width = 1;
  for (uint32_t i = 0; i < bucket_count; ++i) {
    if (snapshot->GetCountAtIndex(i)) {
      const size_t label_width = BucketLabel(i).size() + 1;
      if (label_width > width)
        width = label_width;
    }
  }

  int64_t remaining = total;
  int64_t past = 0;
  for (uint32_t i = 0; i < bucket_count; ++i) {
    const Count count = snapshot->GetCountAtIndex(i);
    if (!count && !ShowEmptyBucket(i))
      continue;
    remaining -= count;
    const std::string label = BucketLabel(i);
    output->append(label);
    if (label.size() < width + 1)
      output->append(width + 1 - label.size(), ' ');
    if (!count && i + 1 < bucket_count && !snapshot->GetCountAtIndex(i + 1)) {
      while (i + 1 < bucket_count && !snapshot->GetCountAtIndex(i + 1))
        ++i;
      output->append("... ");
      output->append(newline);
      continue;
    }
    WriteAsciiBucketGraph(BucketSizeFor(count, i), peak, output);
    const double scaled_total = total / 100.0;
    StringAppendF(output, " (%d = %3.1f%%)", count, count / scaled_total);
    if (i > 0)
      StringAppendF(output, " {%3.1f%%}", past / scaled_total);
    output->append(newline);
    past += count;
  }
}

bool Histogram::SerializeInfo(WireMessage* message) const {
  return message->WriteString(histogram_name()) && message->WriteInt(flags()) &&
         message->WriteInt(declared_min_) && message->WriteInt(declared_max_) &&
         message->WriteUint32(BucketCount()) && message->WriteUint32(bucket_ranges_->checksum());
}

void Histogram::GetParameters(DictionaryValue* params) const {
  params->SetString("type", HistogramTypeToString(GetType()));
  params->SetInteger("min", declared_min_);
  params->SetInteger("max", declared_max_);
  params->SetInteger("bucket_count", static_cast<int>(BucketCount()));
}

void Histogram::GetCountAndBuckets(Count* count, int64_t* sum, ListValue* buckets) const {
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  *count = snapshot->TotalCount();
  *sum = snapshot->sum();
  const uint32_t bucket_count = BucketCount();
  for (uint32_t i = 0; i < bucket_count; ++i) {
    const Count bucket = snapshot->GetCountAtIndex(i);
    if (bucket <= 0)
      continue;
    std::unique_ptr<DictionaryValue> entry(new DictionaryValue());
    entry->SetInteger("low", RangeAt(i));
    if (i + 1 != bucket_count)
      entry->SetInteger("high", RangeAt(i + 1));
    entry->SetInteger("count", bucket);
    buckets->Append(std::move(entry));
  }
}

HistogramBase::Sample Histogram::RangeAt(uint32_t i) const {
  return bucket_ranges_->range(i);
}

uint32_t Histogram::BucketCount() const {
  return static_cast<uint32_t>(bucket_ranges_->bucket_count());
}

bool Histogram::ShowEmptyBucket(uint32_t i) const {
  return true;
}

double Histogram::BucketSizeFor(Count count, uint32_t i) const {
  // Wide buckets are normalised by at most 5 so that they still show up in the graph.
  double width = static_cast<double>(RangeAt(i + 1)) - RangeAt(i);
  if (width > 5.0)
    width = 5.0;
  return count / width;
}

std::string Histogram::BucketLabel(uint32_t i) const {
  return StringPrintf("%d", RangeAt(i));
}

// static
HistogramBase* LinearHistogram::FactoryGet(const std::string& name,
                                           Sample maximum,
                                           uint32_t bucket_count) {
  Sample minimum = 1;
  InspectConstructionArguments(&minimum, &maximum, &bucket_count);
  return Factory(name, minimum, maximum, bucket_count, kUmaTargetedHistogramFlag, nullptr).Build();
}

LinearHistogram::~LinearHistogram() = default;

HistogramType LinearHistogram::GetType() const {
  return LINEAR_HISTOGRAM;
}

bool LinearHistogram::ShowEmptyBucket(uint32_t i) const {
  return bucket_descriptions_.find(RangeAt(i)) == bucket_descriptions_.end();
}

double LinearHistogram::BucketSizeFor(Count count, uint32_t i) const {
  return count / (static_cast<double>(RangeAt(i + 1)) - RangeAt(i));
}

std::string LinearHistogram::BucketLabel(uint32_t i) const {
  const auto it = bucket_descriptions_.find(RangeAt(i));
  return it == bucket_descriptions_.end() ? Histogram::BucketLabel(i) : it->second;
}

HistogramType BooleanHistogram::GetType() const {
  return BOOLEAN_HISTOGRAM;
}

HistogramType CustomHistogram::GetType() const {
  return CUSTOM_HISTOGRAM;
}

bool CustomHistogram::SerializeInfo(WireMessage* message) const {
  if (!Histogram::SerializeInfo(message))
    return false;
  for (uint32_t i = 1; i < BucketCount(); ++i) {
    if (!message->WriteInt(RangeAt(i)))
      return false;
  }
  return true;
}

double CustomHistogram::BucketSizeFor(Count count, uint32_t i) const {
  return count;
}

}  // namespace base
