#include "base/metrics/histogram.h"

#include "base/metrics/sparse_histogram.h"
#include "base/trace_event/trace_event.h"
#include "gtest/gtest.h"

namespace base {
namespace {

struct FakeDelta {
  int64_t InMilliseconds() const { return milliseconds; }
  int64_t milliseconds;
};

TEST(RecordingHooksTest, FactoriesNeverReturnNull) {
  HistogramBase* histograms[] = {
      Histogram::FactoryGet("Test.Exponential", 1, 10000, 50,
                            HistogramBase::kUmaTargetedHistogramFlag),
      Histogram::FactoryTimeGet("Test.Time", FakeDelta{1}, FakeDelta{10000}),
      Histogram::FactoryCountsGet("Test.Counts", 1000000),
      LinearHistogram::FactoryGet("Test.Linear", 4, 5),
      SparseHistogram::FactoryGet("Test.Sparse"),
  };
  for (HistogramBase* histogram : histograms) {
    ASSERT_NE(nullptr, histogram);
    histogram->Add(-5);
    histogram->AddCount(0x7FFFFFFF, 3);
  }
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
