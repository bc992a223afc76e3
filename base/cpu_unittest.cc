#include "base/cpu.h"

#include <windows.h>

#include "base/test/child_test_process.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(CpuTest, ReadsProcessorFeatures) {
  const CpuInfo cpu;
  // Every x64 processor has these.
  EXPECT_TRUE(cpu.has_mmx());
  EXPECT_TRUE(cpu.has_sse());
  EXPECT_TRUE(cpu.has_sse2());
  EXPECT_EQ(12u, cpu.vendor_name().size());
  EXPECT_GE(cpu.family(), 6);

  const bool drifting_amd = cpu.vendor_name() == "AuthenticAMD" && cpu.family() == 15;
  EXPECT_EQ(cpu.has_non_stop_time_stamp_counter() && !drifting_amd,
            IsPerformanceCounterReliable());
}

// Runs in a process of its own: the first call of the process starts the measurement.
TEST(CpuChild, DISABLED_CalibratesTheTimeStampCounterFromTheFirstCall) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  // Nothing was measured while the program loaded, however long ago that was.
  ::Sleep(60);
  EXPECT_EQ(0.0, TscTicksPerSecond());

  double ticks_per_second = 0.0;
  const DWORD deadline = ::GetTickCount() + 10000;
  while (ticks_per_second == 0.0 && static_cast<LONG>(deadline - ::GetTickCount()) > 0) {
    ::Sleep(10);
    ticks_per_second = TscTicksPerSecond();
  }
  EXPECT_GT(ticks_per_second, 1e8);
  EXPECT_LT(ticks_per_second, 1e11);
  // The first measurement is kept.
  EXPECT_EQ(ticks_per_second, TscTicksPerSecond());
}

TEST(CpuTest, CalibratesTheTimeStampCounterFromTheFirstCall) {
  const test::ChildTestResult result =
      test::RunChildTest("CpuChild.DISABLED_CalibratesTheTimeStampCounterFromTheFirstCall");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(0u, result.exit_code) << result.output;
}

}  // namespace
}  // namespace base
