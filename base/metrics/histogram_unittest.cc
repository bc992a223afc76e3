#include "base/metrics/histogram.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/metrics_hashes.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/sample_vector.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/test/concurrent_threads.h"
#include "base/trace_event/trace_event.h"
#include "base/values.h"
#include "base/wire_message.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Sample = HistogramBase::Sample;
using Count = HistogramBase::Count;

std::vector<Sample> Entries(const BucketRanges& ranges) {
  return std::vector<Sample>(ranges.data(), ranges.data() + ranges.size());
}

// The count of every bucket of a bucketed histogram, in order.
std::vector<Count> BucketCounts(HistogramBase* histogram) {
  std::unique_ptr<HistogramSamples> snapshot = histogram->SnapshotSamples();
  const SampleVector* vector = static_cast<const SampleVector*>(snapshot.get());
  std::vector<Count> counts;
  for (size_t i = 0; i < vector->bucket_count(); ++i)
    counts.push_back(vector->GetCountAtIndex(i));
  return counts;
}

TEST(BucketRangesTest, ExponentialRulesGiveTheirKnownEntries) {
  BucketRanges small(51);
  BucketRanges::FillExponential(1, 10000, &small);
  const std::vector<Sample> entries = Entries(small);
  EXPECT_EQ((std::vector<Sample>{0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14}),
            std::vector<Sample>(entries.begin(), entries.begin() + 12));
  EXPECT_EQ((std::vector<Sample>{7083, 8416, 10000, 2147483647}),
            std::vector<Sample>(entries.end() - 4, entries.end()));
  EXPECT_TRUE(small.HasValidChecksum());

  BucketRanges large(51);
  BucketRanges::FillExponential(1, 1000000, &large);
  const std::vector<Sample> large_entries = Entries(large);
  EXPECT_EQ((std::vector<Sample>{0, 1, 2, 3, 4, 5, 7, 9, 12, 16, 21, 28}),
            std::vector<Sample>(large_entries.begin(), large_entries.begin() + 12));
}

TEST(BucketRangesTest, LinearRulesAndChecksums) {
  BucketRanges linear(6);
  BucketRanges::FillLinear(1, 4, &linear);
  EXPECT_EQ((std::vector<Sample>{0, 1, 2, 3, 4, 2147483647}), Entries(linear));

  BucketRanges boolean(4);
  BucketRanges::FillLinear(1, 2, &boolean);
  EXPECT_EQ((std::vector<Sample>{0, 1, 2, 2147483647}), Entries(boolean));
  EXPECT_EQ(0x3EB2A456u, boolean.checksum());
  EXPECT_TRUE(boolean.HasValidChecksum());

  // Any damaged entry shows; equal ranges compare equal.
  BucketRanges same(4);
  BucketRanges::FillLinear(1, 2, &same);
  EXPECT_TRUE(same.Equals(&boolean));
  same.set_range(2, 3);
  EXPECT_FALSE(same.HasValidChecksum());
  EXPECT_FALSE(same.Equals(&boolean));
}

TEST(HistogramTest, FactoriesCorrectTheirArguments) {
  HistogramBase* wide = Histogram::FactoryGet("Test.Wide", 0, 0x7FFFFFFF, 20000, 0);
  ASSERT_NE(nullptr, wide);
  Histogram* histogram = static_cast<Histogram*>(wide);
  EXPECT_EQ(1, histogram->declared_min());
  EXPECT_EQ(0x7FFFFFFE, histogram->declared_max());
  EXPECT_EQ(16383u, histogram->BucketCount());
  EXPECT_EQ(0, wide->flags());
  EXPECT_TRUE(wide->MatchesArguments(1, 0x7FFFFFFE, 16383));

  HistogramBase* time = Histogram::FactoryTimeGet("Test.Time", TimeDelta::FromMicroseconds(999),
                                                  TimeDelta::FromSeconds(10));
  EXPECT_TRUE(time->MatchesArguments(1, 10000, 50));
  EXPECT_EQ(HistogramBase::kUmaTargetedHistogramFlag, time->flags());
  EXPECT_EQ(HISTOGRAM, time->GetType());
  EXPECT_TRUE(
      Histogram::FactoryCountsGet("Test.Counts", 1000000)->MatchesArguments(1, 1000000, 50));

  HistogramBase* linear = LinearHistogram::FactoryGet("Test.Linear", 4, 5);
  EXPECT_EQ(LINEAR_HISTOGRAM, linear->GetType());
  EXPECT_STREQ("LINEAR_HISTOGRAM", HistogramTypeToString(linear->GetType()));
  EXPECT_STREQ("UNKNOWN", HistogramTypeToString(5));
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.Sparse");
  EXPECT_EQ(SPARSE_HISTOGRAM, sparse->GetType());
  EXPECT_EQ(HistogramBase::kUmaTargetedHistogramFlag, sparse->flags());
  EXPECT_FALSE(sparse->MatchesArguments(0, 0, 0));

  EXPECT_EQ(0x560FE5E4067FE0C6u, HashMetricName("Test.Name"));
  EXPECT_EQ(HashMetricName("Test.Sparse"), sparse->NameHash());
}

// The bytes the process's heaps hand out at the moment.
size_t AllocatedHeapBytes() {
  HANDLE heaps[64];
  const DWORD count = ::GetProcessHeaps(64, heaps);
  size_t bytes = 0;
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!::HeapLock(heaps[i]))
      continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
        bytes += entry.cbData;
    }
    ::HeapUnlock(heaps[i]);
  }
  return bytes;
}

TEST(HistogramTest, OneNameIsOneHistogramForTheLifeOfTheProcess) {
  // What every read of a preference file asks for.
  const std::string name = "Settings.JsonDataReadSizeKilobytes.test_prefs.json";
  auto read_size = [&] {
    return Histogram::FactoryGet(name, 1, 10000, 50, HistogramBase::kUmaTargetedHistogramFlag);
  };
  HistogramBase* const first = read_size();
  ASSERT_NE(nullptr, first);
  first->Add(3);
  const size_t histograms = StatisticsRecorder::GetHistogramCount();
  const size_t ranges = StatisticsRecorder::GetRangesCount();
  const size_t heap_bytes = AllocatedHeapBytes();
  ASSERT_NE(0u, heap_bytes);
  for (int i = 0; i < 10000; ++i)
    ASSERT_EQ(first, read_size());
  // Each call used to leave a histogram with its ranges behind: 8 MB here.
  EXPECT_LT(AllocatedHeapBytes(), heap_bytes + 64 * 1024);
  EXPECT_EQ(histograms, StatisticsRecorder::GetHistogramCount());
  EXPECT_EQ(ranges, StatisticsRecorder::GetRangesCount());
  EXPECT_EQ(1, read_size()->SnapshotSamples()->GetCount(3));
  EXPECT_EQ(first, StatisticsRecorder::FindHistogram(name));

  // The same holds for the other kinds; equal ranges are shared between names.
  HistogramBase* linear = LinearHistogram::FactoryGet("Test.OneLinear", 4, 5);
  EXPECT_EQ(linear, LinearHistogram::FactoryGet("Test.OneLinear", 4, 5));
  HistogramBase* other = LinearHistogram::FactoryGet("Test.OtherLinear", 4, 5);
  EXPECT_NE(linear, other);
  EXPECT_EQ(static_cast<Histogram*>(linear)->bucket_ranges(),
            static_cast<Histogram*>(other)->bucket_ranges());
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.OneSparse");
  EXPECT_EQ(sparse, SparseHistogram::FactoryGet("Test.OneSparse"));

  // A name asked for with other arguments gives no histogram, and the first stays.
  EXPECT_EQ(nullptr, LinearHistogram::FactoryGet("Test.OneLinear", 6, 7));
  EXPECT_EQ(nullptr, Histogram::FactoryGet(name, 1, 1000, 50, 0));
  EXPECT_EQ(linear, LinearHistogram::FactoryGet("Test.OneLinear", 4, 5));
}

TEST(HistogramTest, EdgeSamplesLandInTheEdgeBuckets) {
  HistogramBase* exponential = Histogram::FactoryGet("Test.Edges", 1, 10000, 50, 0);
  exponential->Add(-5);
  exponential->Add(0);
  exponential->Add(1);
  exponential->Add(10000);
  exponential->AddCount(0x7FFFFFFF, 2);
  exponential->AddCount(3, 0);
  exponential->AddCount(3, -3);
  std::vector<Count> counts = BucketCounts(exponential);
  ASSERT_EQ(50u, counts.size());
  EXPECT_EQ(2, counts[0]);   // -5 and 0: underflow.
  EXPECT_EQ(1, counts[1]);   // The minimum.
  EXPECT_EQ(3, counts[49]);  // The maximum and two overflows, counted as 0x7FFFFFFE.
  EXPECT_EQ(0, counts[3]);   // Non-positive counts change nothing.
  std::unique_ptr<HistogramSamples> snapshot = exponential->SnapshotSamples();
  EXPECT_EQ(6, snapshot->TotalCount());
  EXPECT_EQ(6, snapshot->redundant_count());
  EXPECT_EQ(1 + 10000 + 2 * int64_t{0x7FFFFFFE}, snapshot->sum());

  HistogramBase* linear = LinearHistogram::FactoryGet("Test.LinearEdges", 4, 5);
  linear->Add(INT32_MIN);
  linear->Add(4);
  linear->Add(5);
  linear->Add(2);
  EXPECT_EQ((std::vector<Count>{1, 0, 1, 0, 2}), BucketCounts(linear));

  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.SparseEdges");
  sparse->Add(-5);
  sparse->AddCount(INT32_MIN, 2);
  sparse->Add(INT32_MAX);
  sparse->AddCount(7, 0);
  sparse->AddCount(7, -3);
  std::unique_ptr<HistogramSamples> sparse_samples = sparse->SnapshotSamples();
  EXPECT_EQ(1, sparse_samples->GetCount(-5));
  EXPECT_EQ(2, sparse_samples->GetCount(INT32_MIN));
  EXPECT_EQ(1, sparse_samples->GetCount(INT32_MAX));
  EXPECT_EQ(0, sparse_samples->GetCount(7));
  EXPECT_EQ(4, sparse_samples->TotalCount());
  EXPECT_EQ(-5 + 2 * int64_t{INT32_MIN} + INT32_MAX, sparse_samples->sum());
}

TEST(HistogramTest, DeltasTakeEachSampleOnce) {
  HistogramBase* bucketed = LinearHistogram::FactoryGet("Test.Deltas", 4, 5);
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.SparseDeltas");
  for (HistogramBase* histogram : {bucketed, sparse}) {
    SCOPED_TRACE(histogram->histogram_name());
    histogram->AddCount(1, 3);
    std::unique_ptr<HistogramSamples> first = histogram->SnapshotDelta();
    EXPECT_EQ(3, first->GetCount(1));
    EXPECT_EQ(0, histogram->SnapshotDelta()->TotalCount());

    histogram->Add(2);
    std::unique_ptr<HistogramSamples> third = histogram->SnapshotDelta();
    EXPECT_EQ(1, third->TotalCount());
    EXPECT_EQ(1, third->GetCount(2));
    EXPECT_EQ(2, third->sum());

    histogram->Add(3);
    std::unique_ptr<HistogramSamples> last = histogram->SnapshotFinalDelta();
    EXPECT_EQ(1, last->TotalCount());
    EXPECT_EQ(1, last->GetCount(3));
    EXPECT_EQ(5, histogram->SnapshotSamples()->TotalCount());
  }
}

TEST(HistogramTest, TextOutputDrawsBarsAndCollapsesEmptyRuns) {
  std::string empty;
  LinearHistogram::FactoryGet("Test.EmptyText", 4, 5)->WriteText(&empty);
  EXPECT_EQ("Histogram: Test.EmptyText recorded 0 samples (flags = 0x1)\n0 ... \n", empty);

  HistogramBase* histogram = LinearHistogram::FactoryGet("Test.Text", 4, 5);
  histogram->AddCount(0, 2);
  histogram->Add(2);
  std::string text;
  histogram->WriteText(&text);
  const std::string expected =
      "Histogram: Test.Text recorded 3 samples, mean = 0.7 (flags = 0x1)\n"
      "0  " +
      std::string(72, '-') +
      "O (2 = 66.7%)\n"
      "1  O" +
      std::string(72, ' ') +
      " (0 = 0.0%) {66.7%}\n"
      "2  " +
      std::string(36, '-') + "O" + std::string(36, ' ') +
      " (1 = 33.3%) {66.7%}\n"
      "3  ... \n";
  EXPECT_EQ(expected, text);
  std::string html;
  histogram->WriteHtmlGraph(&html);
  EXPECT_EQ(0u, html.find("<PRE>Histogram: Test.Text recorded 3 samples"));
  EXPECT_NE(std::string::npos, html.find("{66.7%}<br>3  ... <br></PRE>"));

  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.SparseText");
  sparse->Add(-5);
  sparse->AddCount(100, 3);
  std::string sparse_text;
  sparse->WriteText(&sparse_text);
  EXPECT_EQ(
      "Histogram: Test.SparseText recorded 4 samples (flags = 0x1)\n"
      "-5   " +
          std::string(24, '-') + "O" + std::string(48, ' ') +
          " (1 = 25.0%)\n"
          "100  " +
          std::string(72, '-') + "O (3 = 75.0%)\n",
      sparse_text);
}

TEST(HistogramTest, ParametersAndBucketLists) {
  HistogramBase* histogram = LinearHistogram::FactoryGet("Test.Parameters", 4, 5);
  histogram->AddCount(0, 2);
  histogram->Add(2);
  histogram->Add(9);
  DictionaryValue params;
  histogram->GetParameters(&params);
  std::string type;
  int value = 0;
  EXPECT_TRUE(params.GetString("type", &type));
  EXPECT_EQ("LINEAR_HISTOGRAM", type);
  EXPECT_TRUE(params.GetInteger("min", &value) && value == 1);
  EXPECT_TRUE(params.GetInteger("max", &value) && value == 4);
  EXPECT_TRUE(params.GetInteger("bucket_count", &value) && value == 5);

  Count count = 0;
  int64_t sum = 0;
  ListValue buckets;
  histogram->GetCountAndBuckets(&count, &sum, &buckets);
  EXPECT_EQ(4, count);
  EXPECT_EQ(11, sum);
  ASSERT_EQ(3u, buckets.GetSize());
  const DictionaryValue* last = nullptr;
  ASSERT_TRUE(buckets.GetDictionary(2, &last));
  EXPECT_TRUE(last->GetInteger("low", &value) && value == 4);
  EXPECT_FALSE(last->HasKey("high"));
  const DictionaryValue* first = nullptr;
  ASSERT_TRUE(buckets.GetDictionary(0, &first));
  EXPECT_TRUE(first->GetInteger("high", &value) && value == 1);
  EXPECT_TRUE(first->GetInteger("count", &value) && value == 2);

  DictionaryValue sparse_params;
  SparseHistogram::FactoryGet("Test.SparseParameters")->GetParameters(&sparse_params);
  EXPECT_EQ(1u, sparse_params.size());
}

TEST(HistogramSamplesTest, WireFormatRoundTrips) {
  BucketRanges ranges(11);
  BucketRanges::FillLinear(1, 9, &ranges);
  SampleVector vector(1, &ranges);
  vector.Accumulate(3, 4);
  vector.Accumulate(7, 1);
  WireMessage message;
  ASSERT_TRUE(vector.Serialize(&message));
  // Sum and count, then exactly one triple per non-empty bucket.
  EXPECT_EQ(8u + 4u + 2 * 12u, message.payload_size());
  SampleVector copy(1, &ranges);
  WireMessageReader reader(message);
  ASSERT_TRUE(copy.AddFromWire(&reader));
  EXPECT_EQ(4, copy.GetCount(3));
  EXPECT_EQ(1, copy.GetCount(7));
  EXPECT_EQ(19, copy.sum());
  EXPECT_EQ(5, copy.redundant_count());

  SampleMap map(2);
  map.Accumulate(-7, 2);
  map.Accumulate(INT32_MAX, 1);
  WireMessage map_message;
  ASSERT_TRUE(map.Serialize(&map_message));
  SampleMap map_copy(2);
  WireMessageReader map_reader(map_message);
  ASSERT_TRUE(map_copy.AddFromWire(&map_reader));
  EXPECT_EQ(2, map_copy.GetCount(-7));
  EXPECT_EQ(1, map_copy.GetCount(INT32_MAX));
  EXPECT_EQ(map.sum(), map_copy.sum());

  // Six bytes hold no sum and count: nothing changes.
  const char short_message[] = {6, 0, 0, 0, 1, 2, 3, 4, 5, 6};
  WireMessage truncated(short_message, sizeof(short_message));
  ASSERT_TRUE(truncated.IsValid());
  WireMessageReader short_reader(truncated);
  EXPECT_FALSE(copy.AddFromWire(&short_reader));
  EXPECT_EQ(5, copy.redundant_count());
  EXPECT_EQ(19, copy.sum());

  // Samples whose bounds match no bucket are refused by a histogram.
  HistogramBase* histogram = LinearHistogram::FactoryGet("Test.Wire", 4, 5);
  WireMessageReader mismatch_reader(message);
  EXPECT_FALSE(histogram->AddSamplesFromWire(&mismatch_reader));

  // Construction arguments travel as fields too.
  WireMessage info;
  ASSERT_TRUE(histogram->SerializeInfo(&info));
  WireMessageReader info_reader(info);
  std::string name;
  int32_t flags = 0, minimum = 0, maximum = 0;
  uint32_t bucket_count = 0, checksum = 0;
  ASSERT_TRUE(info_reader.ReadString(&name) && info_reader.ReadInt(&flags) &&
              info_reader.ReadInt(&minimum) && info_reader.ReadInt(&maximum) &&
              info_reader.ReadUint32(&bucket_count) && info_reader.ReadUint32(&checksum));
  EXPECT_EQ("Test.Wire", name);
  EXPECT_EQ(1, flags);
  EXPECT_EQ(4, maximum);
  EXPECT_EQ(5u, bucket_count);
  EXPECT_EQ(static_cast<Histogram*>(histogram)->bucket_ranges()->checksum(), checksum);
  EXPECT_EQ(0u, info_reader.remaining());
}

TEST(HistogramSamplesTest, ArithmeticBetweenContainers) {
  BucketRanges ranges(6);
  BucketRanges::FillLinear(1, 4, &ranges);
  SampleVector vector(1, &ranges);
  SampleMap unit_values(1);
  unit_values.Accumulate(1, 2);
  unit_values.Accumulate(3, 1);
  // Buckets one wide take single values...
  EXPECT_TRUE(vector.Add(unit_values));
  EXPECT_EQ(2, vector.GetCount(1));
  EXPECT_EQ(1, vector.GetCount(3));
  // ...wider ones do not.
  SampleMap wide_value(1);
  wide_value.Accumulate(7, 1);
  EXPECT_FALSE(vector.Add(wide_value));

  SampleVector other(1, &ranges);
  EXPECT_TRUE(other.Add(vector));
  EXPECT_TRUE(vector.Subtract(other));
  EXPECT_EQ(0, vector.TotalCount());
  EXPECT_EQ(0, vector.sum());
  EXPECT_EQ(0, vector.redundant_count());
  EXPECT_TRUE(vector.Iterator()->Done());

  // A map takes single values only: buckets one wide, not the last one.
  SampleVector wide_bucket(1, &ranges);
  wide_bucket.Accumulate(9, 1);
  EXPECT_FALSE(SampleMap(1).Add(wide_bucket));
  SampleMap map(1);
  EXPECT_TRUE(map.Add(other));
  EXPECT_EQ(2, map.GetCount(1));
  EXPECT_TRUE(map.Subtract(other));
  EXPECT_TRUE(map.Add(unit_values));
  EXPECT_TRUE(map.Subtract(unit_values));
  EXPECT_EQ(0, map.TotalCount());
  EXPECT_EQ(0, map.sum());
}

TEST(HistogramTest, FindCorruptionToleratesRacesButNotDamage) {
  HistogramBase* histogram = LinearHistogram::FactoryGet("Test.Corruption", 4, 5);
  histogram->AddCount(1, 10);
  std::unique_ptr<HistogramSamples> samples = histogram->SnapshotSamples();
  EXPECT_EQ(0u, histogram->FindCorruption(*samples));

  // Sum and count arrive without the entries: the redundant count runs ahead.
  WireMessage message;
  ASSERT_TRUE(message.WriteInt64(0) && message.WriteInt(5));
  WireMessageReader small_gap(message);
  ASSERT_TRUE(samples->AddFromWire(&small_gap));
  EXPECT_EQ(0u, histogram->FindCorruption(*samples));
  WireMessageReader large_gap(message);
  ASSERT_TRUE(samples->AddFromWire(&large_gap));
  EXPECT_EQ(HistogramBase::COUNT_HIGH_ERROR, histogram->FindCorruption(*samples));

  std::unique_ptr<HistogramSamples> low = histogram->SnapshotSamples();
  WireMessage negative;
  ASSERT_TRUE(negative.WriteInt64(0) && negative.WriteInt(-6));
  WireMessageReader negative_reader(negative);
  ASSERT_TRUE(low->AddFromWire(&negative_reader));
  EXPECT_EQ(HistogramBase::COUNT_LOW_ERROR, histogram->FindCorruption(*low));

  // Damaged ranges: out of order and no longer matching their checksum.
  BucketRanges* ranges =
      const_cast<BucketRanges*>(static_cast<Histogram*>(histogram)->bucket_ranges());
  ranges->set_range(2, 0);
  EXPECT_EQ(HistogramBase::BUCKET_ORDER_ERROR | HistogramBase::RANGE_CHECKSUM_ERROR,
            histogram->FindCorruption(*histogram->SnapshotSamples()));
}

TEST(HistogramTest, ConcurrentAddsLoseNothing) {
  constexpr int kThreads = 8;
  constexpr int kAddsPerThread = 100000;
  HistogramBase* bucketed = Histogram::FactoryGet("Test.Concurrent", 1, 1000, 50, 0);
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.SparseConcurrent");
  ASSERT_TRUE(test::RunConcurrently(
      kThreads,
      [&](int thread) {
        for (int i = 0; i < kAddsPerThread; ++i) {
          bucketed->Add(i % 1200);
          if (i % 10 == 0)
            sparse->Add(thread);
        }
      },
      TimeDelta::FromSeconds(120)));

  std::unique_ptr<HistogramSamples> samples = bucketed->SnapshotSamples();
  EXPECT_EQ(kThreads * kAddsPerThread, samples->TotalCount());
  EXPECT_EQ(kThreads * kAddsPerThread, samples->redundant_count());
  int64_t expected_sum = 0;
  for (int i = 0; i < kAddsPerThread; ++i)
    expected_sum += i % 1200;
  EXPECT_EQ(expected_sum * kThreads, samples->sum());
  EXPECT_EQ(0u, bucketed->FindCorruption(*samples));

  std::unique_ptr<HistogramSamples> sparse_samples = sparse->SnapshotSamples();
  for (int thread = 0; thread < kThreads; ++thread)
    EXPECT_EQ(kAddsPerThread / 10, sparse_samples->GetCount(thread));
}

TEST(RecordingHooksTest, DisabledTraceSitesSkipTheirArguments) {
  int evaluations = 0;
  auto count = [&evaluations] { return ++evaluations; };
  for (int i = 0; i < 2; ++i) {
    TRACE_EVENT0("toplevel", "Test.Scoped");
    TRACE_EVENT2("base", "Test.Scoped2", "first", count(), "second", std::string("x"));
    TRACE_EVENT_INSTANT1("base", "Test.Instant", TRACE_EVENT_SCOPE_THREAD, "n", count());
    TRACE_EVENT_FLOW_END1(TRACE_DISABLED_BY_DEFAULT("toplevel.flow"), "Test.Flow", i,
                          "queue_duration", count());
  }
  EXPECT_EQ(0, evaluations);
  EXPECT_EQ(0, *trace_event::TraceLog::GetCategoryEnabledFlag("toplevel"));
}

}  // namespace
}  // namespace base
