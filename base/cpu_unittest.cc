#include "base/cpu.h"

#include <windows.h>

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

TEST(CpuTest, CalibratesTheTimeStampCounter) {
  // At least 50 ms after the library was loaded.
  ::Sleep(60);
  const double ticks_per_second = TscTicksPerSecond();
  EXPECT_GT(ticks_per_second, 1e8);
  EXPECT_LT(ticks_per_second, 1e11);
  // The first measurement is kept.
  EXPECT_EQ(ticks_per_second, TscTicksPerSecond());
}

}  // namespace
}  // namespace base
