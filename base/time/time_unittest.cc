#include "base/time/time.h"

#include <windows.h>

#include <limits>

#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// 2009-02-13 23:31:30.123 UTC, a Friday: time_t 1234567890.
constexpr uint64_t kKnownFileTime = UINT64_C(128790414901230000);

FILETIME MakeFileTime(uint64_t value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(value);
  ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return ft;
}

uint64_t FileTimeValue(FILETIME ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TEST(TimeTest, SaturatingHelpersClampAtBothLimits) {
  EXPECT_EQ(kMax, SaturatedAdd(kMax, 1));
  EXPECT_EQ(kMax, SaturatedAdd(1, kMax));
  EXPECT_EQ(kMin, SaturatedAdd(kMin, -1));
  EXPECT_EQ(-1, SaturatedAdd(kMin, kMax));
  EXPECT_EQ(kMax - 1, SaturatedAdd(kMax, -1));
  EXPECT_EQ(kMin, SaturatedSub(kMin, 1));
  EXPECT_EQ(kMax, SaturatedSub(kMax, -1));
  EXPECT_EQ(kMax, SaturatedSub(0, kMin));
  EXPECT_EQ(kMin, SaturatedSub(-1, kMax));
  EXPECT_EQ(kMin, SaturatedSub(-2, kMax));
  EXPECT_EQ(kMin + 1, SaturatedSub(0, kMax));
  EXPECT_EQ(0, SaturatedSub(kMin, kMin));

  EXPECT_EQ(kMax, SaturatedMul(kMin, -1));
  EXPECT_EQ(kMin, SaturatedMul(kMin, 1));
  EXPECT_EQ(kMin, SaturatedMul(kMin, 2));
  EXPECT_EQ(kMax, SaturatedMul(kMax / 2 + 1, 2));
  EXPECT_EQ(kMax - 1, SaturatedMul(kMax / 2, 2));
  // Exactly the lower limit is reachable without clamping.
  EXPECT_EQ(kMin, SaturatedMul(INT64_C(1) << 62, -2));
  EXPECT_EQ(kMin, SaturatedMul(-(INT64_C(1) << 62), 2));
  EXPECT_EQ(kMin, SaturatedMul(-(INT64_C(1) << 62), 3));
  EXPECT_EQ(-6, SaturatedMul(-2, 3));
}

TEST(TimeTest, OperatorsSaturate) {
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::Max() + TimeDelta::FromMicroseconds(1));
  EXPECT_EQ(TimeDelta::Max(), -TimeDelta::FromMicroseconds(kMin));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromHours(kMax / 1000));
  EXPECT_EQ(kMin, TimeDelta::FromSeconds(kMin / 10).InMicroseconds());
  EXPECT_EQ(kMin, (TimeDelta::FromMicroseconds(kMin + 1) - TimeDelta::FromSeconds(1))
                      .InMicroseconds());
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::Max() * 2);
  EXPECT_EQ(kMin, (TimeDelta::Max() * -2).InMicroseconds());
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromMicroseconds(kMin) / -1);
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromSeconds(1) / 0);

  EXPECT_TRUE((Time::Max() + TimeDelta::FromSeconds(1)).is_max());
  EXPECT_EQ(kMin, (Time::FromInternalValue(kMin + 5) - TimeDelta::FromMicroseconds(10))
                      .ToInternalValue());
  EXPECT_EQ(TimeDelta::Max(), Time::Max() - Time::FromInternalValue(-1));
  EXPECT_EQ(kMin, (Time::FromInternalValue(-2) - Time::Max()).InMicroseconds());

  TimeTicks ticks = TimeTicks::FromInternalValue(kMax - 1);
  ticks += TimeDelta::FromMilliseconds(5);
  EXPECT_EQ(kMax, ticks.ToInternalValue());
  EXPECT_EQ(kMin, (TimeTicks::FromInternalValue(kMin + 1) - TimeDelta::Max())
                      .ToInternalValue());
  EXPECT_EQ(TimeDelta::Max(), ticks - TimeTicks::FromInternalValue(-10));
}

TEST(TimeTest, DeltaUnitsAndArithmetic) {
  EXPECT_EQ(TimeDelta::FromSeconds(120), TimeDelta::FromMinutes(2));
  EXPECT_EQ(3600, TimeDelta::FromHours(1).InSeconds());
  EXPECT_EQ(1500000, TimeDelta::FromMilliseconds(1500).InMicroseconds());
  EXPECT_EQ(1, TimeDelta::FromMilliseconds(1500).InSeconds());
  EXPECT_DOUBLE_EQ(1.5, TimeDelta::FromMilliseconds(1500).InSecondsF());
  EXPECT_DOUBLE_EQ(1.5, TimeDelta::FromMicroseconds(1500).InMillisecondsF());
  // Whole units truncate towards zero.
  EXPECT_EQ(-1, TimeDelta::FromMicroseconds(-1999).InMilliseconds());
  EXPECT_EQ(0, TimeDelta::FromMilliseconds(-999).InSeconds());
  EXPECT_EQ(TimeDelta::FromSeconds(3), TimeDelta::FromSeconds(1) * 3);
  EXPECT_EQ(TimeDelta::FromSeconds(3), 3 * TimeDelta::FromSeconds(1));
  EXPECT_EQ(TimeDelta::FromMilliseconds(500), TimeDelta::FromSeconds(1) / 2);
  EXPECT_EQ(TimeDelta::FromSeconds(-1), -TimeDelta::FromSeconds(1));
  EXPECT_LT(TimeDelta::FromSeconds(-1), TimeDelta());
  EXPECT_TRUE(TimeDelta().is_zero());
}

TEST(TimeTest, FileTimeAndUnixConversions) {
  const Time known = Time::FromFileTime(MakeFileTime(kKnownFileTime));
  EXPECT_EQ(INT64_C(12879041490123000), known.ToInternalValue());
  EXPECT_EQ(1234567890, known.ToTimeT());
  EXPECT_EQ(INT64_C(1234567890123), known.ToUnixMilliseconds());
  EXPECT_EQ(kKnownFileTime, FileTimeValue(known.ToFileTime()));
  EXPECT_EQ(known, Time::FromTimeT(1234567890) + TimeDelta::FromMilliseconds(123));
  EXPECT_EQ(known, Time::FromUnixMilliseconds(INT64_C(1234567890123)));

  EXPECT_EQ(0, Time::FromTimeT(0).ToTimeT());
  // Before 1970 whole seconds round down.
  EXPECT_EQ(-1, Time::FromUnixMilliseconds(-1).ToTimeT());
  EXPECT_EQ(-1, (Time::FromTimeT(0) - TimeDelta::FromMicroseconds(1)).ToUnixMilliseconds());

  EXPECT_TRUE(Time::FromFileTime(MakeFileTime(0)).is_null());
  EXPECT_EQ(0u, FileTimeValue(Time::FromInternalValue(-5).ToFileTime()));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), FileTimeValue(Time::Max().ToFileTime()));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max() / 10,
            static_cast<uint64_t>(
                Time::FromFileTime(MakeFileTime(std::numeric_limits<uint64_t>::max()))
                    .ToInternalValue()));
}

TEST(TimeTest, ExplodeAndBackInUtc) {
  const Time known = Time::FromFileTime(MakeFileTime(kKnownFileTime));
  Time::Exploded exploded;
  ASSERT_TRUE(known.Explode(false, &exploded));
  EXPECT_EQ(2009, exploded.year);
  EXPECT_EQ(2, exploded.month);
  EXPECT_EQ(5, exploded.day_of_week);
  EXPECT_EQ(13, exploded.day_of_month);
  EXPECT_EQ(23, exploded.hour);
  EXPECT_EQ(31, exploded.minute);
  EXPECT_EQ(30, exploded.second);
  EXPECT_EQ(123, exploded.millisecond);

  Time back;
  ASSERT_TRUE(Time::FromUTCExploded(exploded, &back));
  EXPECT_EQ(known, back);

  // Days that do not exist, and fields out of range.
  Time::Exploded leap = {2008, 2, 0, 29, 12, 0, 0, 0};
  EXPECT_TRUE(Time::FromUTCExploded(leap, &back));
  leap.year = 2009;
  EXPECT_FALSE(Time::FromUTCExploded(leap, &back));
  EXPECT_TRUE(back.is_null());
  Time::Exploded bad = exploded;
  bad.month = 13;
  EXPECT_FALSE(Time::FromUTCExploded(bad, &back));
  bad = exploded;
  bad.day_of_month = 31;
  bad.month = 4;
  EXPECT_FALSE(Time::FromUTCExploded(bad, &back));
  bad.day_of_month = 30;
  EXPECT_TRUE(Time::FromUTCExploded(bad, &back));
  Time::Exploded century = {1900, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_FALSE(Time::FromUTCExploded(century, &back));
  century.year = 2000;
  EXPECT_TRUE(Time::FromUTCExploded(century, &back));
  bad = exploded;
  bad.year = 1600;
  EXPECT_FALSE(Time::FromUTCExploded(bad, &back));

  // Outside the calendar's range nothing is made up.
  EXPECT_FALSE(Time::FromInternalValue(-1).Explode(false, &exploded));
  EXPECT_FALSE(exploded.HasValidValues());
  EXPECT_FALSE(Time::Max().Explode(false, &exploded));
  ASSERT_TRUE(Time().Explode(false, &exploded));
  EXPECT_EQ(1601, exploded.year);
  EXPECT_EQ(1, exploded.day_of_month);
}

TEST(TimeTest, LocalExplodeRoundTrips) {
  // Mid-winter and mid-summer, away from daylight-saving switches, and now.
  const Time now = Time::FromUnixMilliseconds(Time::Now().ToUnixMilliseconds());
  const Time samples[] = {Time::FromTimeT(1234567890), Time::FromTimeT(1246000000), now};
  for (const Time& time : samples) {
    Time::Exploded local;
    ASSERT_TRUE(time.Explode(true, &local));
    EXPECT_TRUE(local.HasValidValues());
    Time back;
    ASSERT_TRUE(Time::FromLocalExploded(local, &back));
    EXPECT_EQ(time, back);
    // The local time differs from UTC by a whole number of minutes, at most 14 hours.
    Time::Exploded utc;
    ASSERT_TRUE(time.Explode(false, &utc));
    Time local_as_utc;
    ASSERT_TRUE(Time::FromUTCExploded(local, &local_as_utc));
    const TimeDelta bias = local_as_utc - time;
    EXPECT_EQ(0, bias.InMicroseconds() % kMicrosecondsPerMinute);
    EXPECT_LE(bias, TimeDelta::FromHours(14));
    EXPECT_GE(bias, TimeDelta::FromHours(-14));
  }
}

TEST(TimeTest, NowAgreesWithSystemTime) {
  const Time precise = Time::Now();
  const Time system = Time::NowFromSystemTime();
  EXPECT_LT((system - precise).InSeconds(), 5);
  EXPECT_GT((system - precise).InSeconds(), -5);
  EXPECT_GT(precise.ToTimeT(), 1600000000);  // After September 2020.
}

TEST(TimeTicksTest, MonotonicAndAdvancing) {
  TimeTicks previous = TimeTicks::Now();
  EXPECT_FALSE(previous.is_null());
  for (int i = 0; i < 10000; ++i) {
    const TimeTicks now = TimeTicks::Now();
    ASSERT_GE(now, previous);
    previous = now;
  }
  const TimeTicks low_res_start = TimeTicks::NowFromLowResClock();
  ::Sleep(30);
  const TimeDelta elapsed = TimeTicks::Now() - previous;
  EXPECT_GE(elapsed, TimeDelta::FromMilliseconds(20));
  EXPECT_LT(elapsed, TimeDelta::FromSeconds(10));
  const TimeDelta low_res_elapsed = TimeTicks::NowFromLowResClock() - low_res_start;
  EXPECT_GE(low_res_elapsed, TimeDelta::FromMilliseconds(15));
  EXPECT_LT(low_res_elapsed, TimeDelta::FromSeconds(10));
}

TEST(TimeTicksTest, QpcValuesInMicroseconds) {
  LARGE_INTEGER frequency;
  ASSERT_TRUE(::QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(kMicrosecondsPerSecond,
            TimeTicks::FromQPCValue(frequency.QuadPart).ToInternalValue());
  EXPECT_EQ(3 * kMicrosecondsPerSecond + 500000,
            TimeTicks::FromQPCValue(frequency.QuadPart * 3 + frequency.QuadPart / 2)
                .ToInternalValue());
  // A counter value whose product with 10^6 would overflow 64 bits still converts.
  const int64_t seconds = 100000000;
  EXPECT_EQ(seconds * kMicrosecondsPerSecond,
            TimeTicks::FromQPCValue(frequency.QuadPart * seconds).ToInternalValue());
}

TEST(TimeTest, HighResolutionTimerActivationsBalance) {
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(true));
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(true));
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(false));
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(false));
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(false));
}

}  // namespace
}  // namespace base
