#include "base/metrics/persistent_histogram_allocator.h"

#include <windows.h>
#include <string.h>

#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/debug/alias.h"
#include "base/files/file_util.h"
#include "base/files/memory_mapped_file.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/persistent_sample_map.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/test/concurrent_threads.h"
#include "base/test/scoped_log_capture.h"
#include "base/wire_message.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Reference = PersistentMemoryAllocator::Reference;
using Sample = HistogramBase::Sample;

constexpr size_t kSegmentSize = 8192;
constexpr char kCorruptionLine[] = "Corruption detected in shared-memory segment.";

// Offsets in a histogram metadata block (from its reference).
constexpr size_t kTypeField = 16 + 0;
constexpr size_t kBucketCountField = 16 + 16;
constexpr size_t kRangesRefField = 16 + 20;
constexpr size_t kChecksumField = 16 + 24;
constexpr size_t kCountsRefField = 16 + 28;
constexpr size_t kSamplesIdField = 16 + 32;
constexpr size_t kNameField = 16 + 80;

std::unique_ptr<PersistentMemoryAllocator> MakeMemory(void* base, size_t size, bool read_only) {
  return std::unique_ptr<PersistentMemoryAllocator>(
      new PersistentMemoryAllocator(base, size, 0, 0, read_only));
}

uint32_t ReadWord(const void* base, size_t offset) {
  uint32_t value;
  memcpy(&value, static_cast<const char*>(base) + offset, sizeof(value));
  return value;
}

void WriteWord(void* base, size_t offset, uint32_t value) {
  memcpy(static_cast<char*>(base) + offset, &value, sizeof(value));
}

// A segment's memory with no-access pages before and after it: any read or write outside
// the segment faults at once (the size must be a multiple of the page size for the page
// before it to touch it too).
class GuardedMemory {
 public:
  explicit GuardedMemory(size_t size) {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t committed = (size + page - 1) / page * page;
    region_ = static_cast<char*>(
        ::VirtualAlloc(nullptr, committed + 2 * page, MEM_RESERVE, PAGE_NOACCESS));
    CHECK(region_) << "VirtualAlloc failed";
    CHECK(::VirtualAlloc(region_ + page, committed, MEM_COMMIT, PAGE_READWRITE));
    data_ = region_ + page + committed - size;
  }
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;
  ~GuardedMemory() { ::VirtualFree(region_, 0, MEM_RELEASE); }

  char* data() const { return data_; }

 private:
  char* region_ = nullptr;
  char* data_ = nullptr;
};

// A segment holding one stored histogram of every kind, with samples.
struct StoredSegment {
  std::vector<uint64_t> memory = std::vector<uint64_t>(kSegmentSize / 8);
  std::unique_ptr<PersistentHistogramAllocator> allocator;
  std::vector<std::unique_ptr<HistogramBase>> histograms;
  std::vector<Reference> refs;

  StoredSegment() {
    allocator.reset(
        new PersistentHistogramAllocator(MakeMemory(memory.data(), kSegmentSize, false)));
    BucketRanges exponential(11);
    BucketRanges::FillExponential(1, 1000, &exponential);
    BucketRanges linear(6);
    BucketRanges::FillLinear(1, 4, &linear);
    BucketRanges boolean(4);
    BucketRanges::FillLinear(1, 2, &boolean);
    BucketRanges custom(5);
    const Sample custom_entries[] = {0, 5, 10, 50, HistogramBase::kSampleTypeMax};
    for (size_t i = 0; i < 5; ++i)
      custom.set_range(i, custom_entries[i]);
    custom.ResetChecksum();

    Store(HISTOGRAM, "Test.StoredExponential", 1, 1000, &exponential);
    Store(LINEAR_HISTOGRAM, "Test.StoredLinear", 1, 4, &linear);
    Store(BOOLEAN_HISTOGRAM, "Test.StoredBoolean", 1, 2, &boolean);
    Store(CUSTOM_HISTOGRAM, "Test.StoredCustom", 5, 50, &custom);
    Store(SPARSE_HISTOGRAM, "Test.StoredSparse", 0, 0, nullptr);

    for (Sample value : {-5, 1, 1000, 1000, HistogramBase::kSampleTypeMax})
      histograms[0]->Add(value);
    histograms[1]->Add(2);
    histograms[1]->Add(9);
    for (Sample value : {0, 1, 1, 7})
      histograms[2]->Add(value);
    for (Sample value : {-1, 7, 100})
      histograms[3]->Add(value);
    histograms[4]->AddCount(-3, 2);
    histograms[4]->Add(1000);
  }

  void Store(HistogramType type,
             const char* name,
             Sample minimum,
             Sample maximum,
             const BucketRanges* ranges) {
    Reference ref = 0;
    std::unique_ptr<HistogramBase> histogram = allocator->AllocateHistogram(
        type, name, minimum, maximum, ranges, HistogramBase::kUmaTargetedHistogramFlag, &ref);
    CHECK(histogram && ref) << "storing " << name;
    allocator->FinalizeHistogram(ref, true);
    histograms.push_back(std::move(histogram));
    refs.push_back(ref);
  }
};

// The samples of |histogram| in the wire format, for comparisons.
std::string SerializedSamples(const HistogramBase& histogram) {
  WireMessage message;
  EXPECT_TRUE(histogram.SnapshotSamples()->Serialize(&message));
  return std::string(message.payload(), message.payload_size());
}

TEST(PersistentHistogramAllocatorTest, RevivesEveryKindFromAMappedFile) {
  StoredSegment segment;
  for (const std::unique_ptr<HistogramBase>& histogram : segment.histograms)
    EXPECT_EQ(HistogramBase::kIsPersistent | HistogramBase::kUmaTargetedHistogramFlag,
              histogram->flags());

  ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const FilePath path = temp_dir.GetPath().Append(L"metrics.segment");
  ASSERT_EQ(static_cast<int>(kSegmentSize),
            WriteFileFromBuffer(path, reinterpret_cast<const char*>(segment.memory.data()),
                                static_cast<int>(kSegmentSize)));
  MemoryMappedFile mapped;
  ASSERT_TRUE(mapped.Initialize(path));
  PersistentHistogramAllocator reader(
      MakeMemory(const_cast<uint8_t*>(mapped.data()), mapped.length(), true));
  PersistentHistogramAllocator::Iterator iterator(&reader);
  for (const std::unique_ptr<HistogramBase>& original : segment.histograms) {
    std::unique_ptr<HistogramBase> revived = iterator.GetNext();
    ASSERT_TRUE(revived) << original->histogram_name();
    EXPECT_EQ(original->histogram_name(), revived->histogram_name());
    EXPECT_EQ(original->GetType(), revived->GetType());
    EXPECT_EQ(original->flags(), revived->flags());
    EXPECT_EQ(original->NameHash(), revived->NameHash());
    EXPECT_EQ(SerializedSamples(*original), SerializedSamples(*revived))
        << original->histogram_name();
  }
  EXPECT_FALSE(iterator.GetNext());
  EXPECT_FALSE(reader.memory_allocator()->IsCorrupt());

  // The kinds that only revival makes take their bounds from the stored record.
  std::unique_ptr<HistogramBase> boolean = reader.GetHistogram(segment.refs[2]);
  EXPECT_TRUE(boolean->MatchesArguments(1, 2, 3));
  std::unique_ptr<HistogramBase> custom = reader.GetHistogram(segment.refs[3]);
  EXPECT_TRUE(custom->MatchesArguments(5, 50, 4));
  std::unique_ptr<HistogramSamples> custom_samples = custom->SnapshotSamples();
  EXPECT_EQ(1, custom_samples->GetCount(0));   // -1, clamped.
  EXPECT_EQ(1, custom_samples->GetCount(5));   // 7.
  EXPECT_EQ(1, custom_samples->GetCount(50));  // 100.
  EXPECT_EQ(2, boolean->SnapshotSamples()->GetCount(1));
}

TEST(PersistentHistogramAllocatorTest, ProcessesSharingASegmentShareTheCounts) {
  // The recorder keeps what is imported for the rest of the process, segment and all.
  StoredSegment& segment = *new StoredSegment();
  // A second user of the same memory, as another process would be.
  PersistentHistogramAllocator& other =
      *new PersistentHistogramAllocator(MakeMemory(segment.memory.data(), kSegmentSize, false));
  std::unique_ptr<HistogramBase> exponential = other.GetHistogram(segment.refs[0]);
  std::unique_ptr<HistogramBase> sparse = other.GetHistogram(segment.refs[4]);
  ASSERT_TRUE(exponential && sparse);
  exponential->Add(1);
  sparse->Add(-3);
  sparse->Add(77);
  EXPECT_EQ(2, segment.histograms[0]->SnapshotSamples()->GetCount(1));
  std::unique_ptr<HistogramSamples> shared = segment.histograms[4]->SnapshotSamples();
  EXPECT_EQ(3, shared->GetCount(-3));
  EXPECT_EQ(1, shared->GetCount(77));

  // Importing hands every stored histogram to the recorder, once; none is refused.
  other.ImportHistogramsToRecorder();
  EXPECT_FALSE(other.memory_allocator()->IsCorrupt());
  HistogramBase* imported = StatisticsRecorder::FindHistogram("Test.StoredSparse");
  ASSERT_TRUE(imported);
  EXPECT_EQ(3, imported->SnapshotSamples()->GetCount(-3));
  const size_t registered = StatisticsRecorder::GetHistogramCount();
  PersistentHistogramAllocator again(MakeMemory(segment.memory.data(), kSegmentSize, false));
  again.ImportHistogramsToRecorder();
  EXPECT_EQ(registered, StatisticsRecorder::GetHistogramCount());
  EXPECT_EQ(imported, StatisticsRecorder::FindHistogram("Test.StoredSparse"));
}

// Two users of one segment (two processes, each with its own histogram lock) count into
// the same sparse sample record at the same time.
TEST(PersistentHistogramAllocatorTest, SparseCountsAreCountedAtomicallyBetweenUsers) {
  constexpr int kMinimumAddsPerUser = 2000000;
  std::vector<uint64_t> memory(4096 / 8);
  std::unique_ptr<PersistentHistogramAllocator> users[2];
  std::unique_ptr<PersistentSampleMap> maps[2];
  SamplesMetadata metas[2] = {};
  for (int i = 0; i < 2; ++i) {
    users[i].reset(new PersistentHistogramAllocator(MakeMemory(memory.data(), 4096, false)));
    maps[i].reset(new PersistentSampleMap(42, users[i]->sample_records(), &metas[i]));
    maps[i]->Accumulate(7, 1);  // Both know the value's record before they race.
  }
  ASSERT_EQ(2, maps[0]->GetCount(7));
  // Each user goes on until the other has done its share too, so that they overlap even on
  // a busy machine.
  std::atomic<int> done_users{0};
  int adds[2] = {0, 0};
  ASSERT_TRUE(test::RunConcurrently(
      2,
      [&](int user) {
        for (; adds[user] < kMinimumAddsPerUser || done_users.load() < 2; ++adds[user]) {
          maps[user]->Accumulate(7, 1);
          if (adds[user] + 1 == kMinimumAddsPerUser)
            done_users.fetch_add(1);
        }
      },
      TimeDelta::FromSeconds(60)));
  EXPECT_EQ(adds[0] + adds[1] + 2, maps[0]->GetCount(7));
  EXPECT_EQ(adds[0] + adds[1] + 2, maps[1]->TotalCount());
}

// A stored record whose queue link leads back to itself is revived once, not until the
// queue's size limit; the walk ends there and the segment is marked corrupt.
TEST(PersistentHistogramAllocatorTest, ARecordLinkedToItselfIsRevivedOnce) {
  StoredSegment good;
  for (size_t looped = 0; looped < good.refs.size(); ++looped) {
    SCOPED_TRACE(testing::Message() << "record " << looped);
    std::vector<uint64_t> copy = good.memory;
    WriteWord(copy.data(), good.refs[looped] + 12, good.refs[looped]);
    test::ScopedLogCapture log;
    PersistentHistogramAllocator allocator(MakeMemory(copy.data(), kSegmentSize, false));
    PersistentHistogramAllocator::Iterator iterator(&allocator);
    std::vector<std::string> names;
    for (std::unique_ptr<HistogramBase> histogram = iterator.GetNext(); histogram;
         histogram = iterator.GetNext()) {
      names.push_back(histogram->histogram_name());
    }
    std::vector<std::string> expected;
    for (size_t i = 0; i <= looped; ++i)
      expected.push_back(good.histograms[i]->histogram_name());
    EXPECT_EQ(expected, names);
    EXPECT_TRUE(allocator.memory_allocator()->IsCorrupt());
    EXPECT_EQ(1, log.CountLinesContaining(kCorruptionLine));
  }
}

// Counts of a damaged segment may be negative (or anything else): the text output of a
// revived histogram stays a few lines of bounded width.
TEST(PersistentHistogramAllocatorTest, NegativeStoredCountsKeepTheTextOutputSmall) {
  StoredSegment good;
  std::vector<uint64_t> copy = good.memory;
  const char* base = reinterpret_cast<const char*>(copy.data());
  const uint32_t exponential_counts = ReadWord(base, good.refs[0] + kCountsRefField) + 16;
  WriteWord(copy.data(), exponential_counts + 4 * 1, 0x80000000);  // The lowest count.
  WriteWord(copy.data(), exponential_counts + 4 * 2, static_cast<uint32_t>(-1000000));
  WriteWord(copy.data(), exponential_counts + 4 * 3, 5);
  PersistentMemoryAllocator::Iterator records(good.allocator->memory_allocator());
  for (Reference record = records.GetNextOfType(SampleRecordStore::kTypeIdSampleRecord); record;
       record = records.GetNextOfType(SampleRecordStore::kTypeIdSampleRecord)) {
    WriteWord(copy.data(), record + 16 + 12, static_cast<uint32_t>(-2000000000));
  }

  PersistentHistogramAllocator allocator(MakeMemory(copy.data(), kSegmentSize, false));
  for (const Reference ref : {good.refs[0], good.refs[4]}) {
    std::unique_ptr<HistogramBase> histogram = allocator.GetHistogram(ref);
    ASSERT_TRUE(histogram);
    std::string text;
    histogram->WriteText(&text);
    EXPECT_LT(text.size(), 4096u) << histogram->histogram_name();
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
      EXPECT_LT(end - start, 120u) << text.substr(start, 120);
      start = end + 1;
    }
  }
}

TEST(PersistentHistogramAllocatorTest, SparseCountsLiveInSampleRecords) {
  std::vector<uint64_t> memory(4096 / 8);
  PersistentHistogramAllocator allocator(MakeMemory(memory.data(), 4096, false));
  SamplesMetadata meta = {};
  PersistentSampleMap map(42, allocator.sample_records(), &meta);
  map.Accumulate(5, 2);
  map.Accumulate(-1, 1);
  EXPECT_EQ(42u, meta.id);
  EXPECT_EQ(9, meta.sum);

  auto count_records = [&] {
    PersistentMemoryAllocator::Iterator iterator(allocator.memory_allocator());
    int records = 0;
    while (iterator.GetNextOfType(SampleRecordStore::kTypeIdSampleRecord))
      ++records;
    return records;
  };
  EXPECT_EQ(2, count_records());

  // Another user of the segment finds the records, and both count into them.
  PersistentHistogramAllocator other(MakeMemory(memory.data(), 4096, false));
  SamplesMetadata other_meta = {};
  PersistentSampleMap other_map(42, other.sample_records(), &other_meta);
  EXPECT_EQ(2, other_map.GetCount(5));
  other_map.Accumulate(5, 1);
  EXPECT_EQ(3, map.GetCount(5));

  // Taking away more than a value holds leaves 0; a value without a record stays without.
  SampleMap minus(42);
  minus.Accumulate(5, 10);
  minus.Accumulate(9, 1);
  EXPECT_TRUE(map.Subtract(minus));
  EXPECT_EQ(0, map.GetCount(5));
  EXPECT_EQ(0, map.GetCount(9));
  EXPECT_EQ(2, count_records());
  // Only single values are taken.
  SampleMap plus(42);
  plus.Accumulate(6, 1);
  EXPECT_TRUE(map.Add(plus));
  EXPECT_EQ(1, map.GetCount(6));

  // A full segment keeps the counts of new values in this process.
  while (allocator.memory_allocator()->Allocate(8, 1)) {
  }
  map.Accumulate(77, 4);
  EXPECT_EQ(4, map.GetCount(77));
  EXPECT_EQ(1 + 1 + 4, map.TotalCount());
}

TEST(PersistentHistogramAllocatorTest, FactoriesBuildInTheInstalledAllocator) {
  // Histograms made while it is installed use its memory for the rest of the process.
  static PersistentHistogramAllocator* const allocator = new PersistentHistogramAllocator(
      MakeMemory(new uint64_t[kSegmentSize / 8](), kSegmentSize, false));
  PersistentHistogramAllocator::SetGlobal(allocator);
  HistogramBase* linear = LinearHistogram::FactoryGet("Test.GlobalLinear", 4, 5);
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.GlobalSparse");
  PersistentHistogramAllocator::SetGlobal(nullptr);
  EXPECT_EQ(HistogramBase::kIsPersistent | HistogramBase::kUmaTargetedHistogramFlag,
            linear->flags());
  EXPECT_EQ(HistogramBase::kIsPersistent | HistogramBase::kUmaTargetedHistogramFlag,
            sparse->flags());
  linear->Add(3);
  sparse->Add(-1);

  std::set<std::string> stored;
  PersistentHistogramAllocator::Iterator iterator(allocator);
  for (std::unique_ptr<HistogramBase> histogram = iterator.GetNext(); histogram;
       histogram = iterator.GetNext()) {
    stored.insert(histogram->histogram_name());
  }
  EXPECT_EQ(1u, stored.count("Test.GlobalLinear"));
  EXPECT_EQ(1u, stored.count("Test.GlobalSparse"));
  // Without the allocator the name still gives the histogram in the segment.
  EXPECT_EQ(linear, LinearHistogram::FactoryGet("Test.GlobalLinear", 4, 5));

  // An allocator without room: the factory falls back to the heap.
  static PersistentHistogramAllocator* const small =
      new PersistentHistogramAllocator(MakeMemory(new uint64_t[512 / 8](), 512, false));
  PersistentHistogramAllocator::SetGlobal(small);
  HistogramBase* large = Histogram::FactoryGet("Test.TooLarge", 1, 1000, 50, 0);
  PersistentHistogramAllocator::SetGlobal(nullptr);
  EXPECT_EQ(0, large->flags());
  EXPECT_TRUE(small->memory_allocator()->IsFull());
  Reference ref = 0;
  EXPECT_FALSE(small->AllocateHistogram(HISTOGRAM, "Test.TooLarge", 1, 1000,
                                        static_cast<Histogram*>(large)->bucket_ranges(), 0, &ref));
  EXPECT_EQ(0u, ref);
}

// Fields of a stored exponential histogram, damaged one at a time: each record is refused
// (never fatal) and the segment marked corrupt.
TEST(PersistentHistogramAllocatorTest, RevivalRefusesDamagedRecords) {
  StoredSegment good;
  const Reference ref = good.refs[0];
  const char* base = reinterpret_cast<const char*>(good.memory.data());
  const uint32_t bucket_count = ReadWord(base, ref + kBucketCountField);
  const size_t ranges = ReadWord(base, ref + kRangesRefField) + 16;

  // Rewrites ranges entry |index| and the stored checksum to match, so that only the entry
  // itself is wrong.
  auto set_range = [&](void* memory, uint32_t index, Sample value) {
    WriteWord(memory, ranges + 4 * index, static_cast<uint32_t>(value));
    std::vector<Sample> entries(bucket_count + 1);
    memcpy(entries.data(), static_cast<char*>(memory) + ranges, entries.size() * 4);
    WriteWord(memory, ref + kChecksumField, BucketRanges::Checksum(entries.data(), entries.size()));
  };
  struct Damage {
    const char* what;
    std::function<void(void*)> apply;
  };
  const Damage damages[] = {
      {"negative first entry", [&](void* m) { set_range(m, 0, -1); }},
      {"negative entry", [&](void* m) { set_range(m, 3, -7); }},
      {"last entry below the maximum", [&](void* m) { set_range(m, bucket_count, 5000); }},
      {"entries out of order", [&](void* m) { set_range(m, 4, 2); }},
      {"checksum", [&](void* m) { WriteWord(m, ref + kChecksumField, 1); }},
      {"one bucket", [&](void* m) { WriteWord(m, ref + kBucketCountField, 1); }},
      {"huge bucket count", [&](void* m) { WriteWord(m, ref + kBucketCountField, 0x3FFFFFFF); }},
      {"more buckets than ranges", [&](void* m) { WriteWord(m, ref + kBucketCountField, 40); }},
      {"ranges outside", [&](void* m) { WriteWord(m, ref + kRangesRefField, 0xFFFFFFF0); }},
      {"no counts", [&](void* m) { WriteWord(m, ref + kCountsRefField, 0); }},
      {"counts of another type", [&](void* m) { WriteWord(m, ref + kCountsRefField, ref); }},
      {"unknown type", [&](void* m) { WriteWord(m, ref + kTypeField, 9); }},
      {"no samples id",
       [&](void* m) {
         WriteWord(m, ref + kSamplesIdField, 0);
         WriteWord(m, ref + kSamplesIdField + 4, 0);
       }},
      {"unterminated name",
       [&](void* m) {
         const uint32_t block_end = ref + ReadWord(m, ref);
         memset(static_cast<char*>(m) + ref + kNameField, 'x', block_end - ref - kNameField);
       }},
      {"empty name", [&](void* m) { static_cast<char*>(m)[ref + kNameField] = '\0'; }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    std::vector<uint64_t> copy = good.memory;
    damage.apply(copy.data());
    test::ScopedLogCapture log;
    PersistentHistogramAllocator allocator(MakeMemory(copy.data(), kSegmentSize, false));
    EXPECT_FALSE(allocator.GetHistogram(ref));
    EXPECT_TRUE(allocator.memory_allocator()->IsCorrupt());
    EXPECT_EQ(1, log.CountLinesContaining(kCorruptionLine));
    // A corrupt segment stores nothing more.
    Reference new_ref = 0;
    EXPECT_FALSE(
        allocator.AllocateHistogram(SPARSE_HISTOGRAM, "Test.Late", 0, 0, nullptr, 0, &new_ref));
  }

  // The undamaged record revives; a reference that is no record is refused without blame.
  std::vector<uint64_t> copy = good.memory;
  PersistentHistogramAllocator allocator(MakeMemory(copy.data(), kSegmentSize, false));
  EXPECT_TRUE(allocator.GetHistogram(ref));
  EXPECT_FALSE(allocator.GetHistogram(ref + 8));
  EXPECT_FALSE(allocator.GetHistogram(good.refs[1] + ReadWord(base, good.refs[1])));
  EXPECT_FALSE(allocator.memory_allocator()->IsCorrupt());
}

// Uses everything a segment offers: the queue, every block's data, revival, new samples and
// new blocks. A read or write outside the segment faults on the guard pages.
void ExerciseSegment(char* base, size_t size, bool read_only) {
  std::unique_ptr<PersistentMemoryAllocator> memory = MakeMemory(base, size, read_only);
  PersistentMemoryAllocator* raw = memory.get();
  PersistentMemoryAllocator::Iterator blocks(raw);
  uint32_t type = 0;
  uint32_t checksum = 0;
  int visited = 0;
  for (Reference ref = blocks.GetNext(&type); ref; ref = blocks.GetNext(&type)) {
    ASSERT_LT(++visited, 100000) << "the queue never ends";
    const size_t alloc_size = raw->GetAllocSize(ref);
    if (const char* data = static_cast<const char*>(raw->GetBlockData(ref, 0, alloc_size))) {
      for (size_t i = 0; i < alloc_size; ++i)
        checksum += static_cast<unsigned char>(data[i]);
    }
    raw->MakeIterable(ref);
  }
  raw->MakeIterable(raw->Allocate(40, 1));

  PersistentHistogramAllocator histograms(std::move(memory));
  PersistentHistogramAllocator::Iterator iterator(&histograms);
  for (int i = 0; i < 1000; ++i) {
    std::unique_ptr<HistogramBase> histogram = iterator.GetNext();
    if (!histogram)
      break;
    if (!read_only)
      histogram->Add(3);
    std::string text;
    histogram->WriteText(&text);
  }
  for (Reference ref = 0; ref < size; ref += 8) {
    std::unique_ptr<HistogramBase> histogram = histograms.GetHistogram(ref);
    if (histogram && !read_only)
      histogram->Add(-1);
  }
  Reference ref = 0;
  std::unique_ptr<HistogramBase> sparse =
      histograms.AllocateHistogram(SPARSE_HISTOGRAM, "Test.Sparse", 0, 0, nullptr, 0, &ref);
  if (sparse)
    sparse->Add(5);
  // The bytes were really read.
  debug::DebugAlias(&checksum);
}

TEST(PersistentHistogramAllocatorTest, CorruptSegmentsAreRefusedWithoutStrayAccess) {
  test::ScopedLogCapture log;
  StoredSegment good;
  const char* image = reinterpret_cast<const char*>(good.memory.data());
  auto exercise_copy = [&](const std::function<void(char*)>& damage) {
    for (bool read_only : {false, true}) {
      GuardedMemory memory(kSegmentSize);
      memcpy(memory.data(), image, kSegmentSize);
      damage(memory.data());
      ExerciseSegment(memory.data(), kSegmentSize, read_only);
    }
  };

  // Hostile offsets and sizes in the header, the first block and a histogram record.
  const Reference first = 56;
  const Reference record = good.refs[1];
  const std::pair<size_t, uint32_t> hostile[] = {
      {4, kSegmentSize * 2},
      {8, 0},
      {8, 7},
      {8, kSegmentSize * 2},
      {32, 0xFFFFFFF8},
      {32, 3},
      {32, 60},
      {32, kSegmentSize + 8},
      {36, 0x7FFFFFF8},
      {36, 44},
      {52, 0xFFFFFFF0},
      {52, 60},
      {52, 0},
      {first, 0xFFFFFFF0},
      {first, 8},
      {first + 12, 0xFFFFFFF8},
      {first + 12, first},
      {first + 12, 0},
      {record + 12, record},
      {record + kBucketCountField, 0xFFFFFFFF},
      {record + kRangesRefField, 41},
      {record + kCountsRefField, kSegmentSize - 16},
      {record, 0x7FFFFFF8},
      {record + kTypeField, SPARSE_HISTOGRAM},
  };
  for (const auto& field : hostile) {
    SCOPED_TRACE(testing::Message() << "offset " << field.first << " = " << field.second);
    exercise_copy([&](char* memory) { WriteWord(memory, field.first, field.second); });
  }

  // Bytes changed at random, a random body behind a sound header, and pure noise.
  std::mt19937 random(20240611);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    exercise_copy([&](char* memory) {
      for (int i = 0; i < 24; ++i)
        memory[random() % kSegmentSize] = static_cast<char>(random());
    });
    exercise_copy([&](char* memory) {
      for (size_t i = 56; i < kSegmentSize; ++i)
        memory[i] = static_cast<char>(random());
      WriteWord(memory, 32, 56 + 8 * (random() % ((kSegmentSize - 56) / 8)));
      WriteWord(memory, 36, 56 + 8 * (random() % ((kSegmentSize - 56) / 8)));
    });
    exercise_copy([&](char* memory) {
      for (size_t i = 0; i < kSegmentSize; ++i)
        memory[i] = static_cast<char>(random());
    });
  }

  // A truncated segment: the memory ends before the size the segment records.
  GuardedMemory truncated(kSegmentSize / 2);
  memcpy(truncated.data(), image, kSegmentSize / 2);
  PersistentMemoryAllocator allocator(truncated.data(), kSegmentSize / 2, 0, 0, false);
  EXPECT_TRUE(allocator.IsCorrupt());
  ExerciseSegment(truncated.data(), kSegmentSize / 2, false);
}

}  // namespace
}  // namespace base
