#ifndef BASE_TIME_TIME_H_
#define BASE_TIME_TIME_H_

#include <windows.h>
#include <stdint.h>

#include <compare>
#include <limits>

// Wall-clock time (Time), monotonic time (TimeTicks) and the span between two of either
// (TimeDelta). All three count signed 64-bit microseconds, and their arithmetic saturates:
// a result beyond the 64-bit range clamps at the nearest limit instead of wrapping.

namespace base {

constexpr int64_t kMicrosecondsPerMillisecond = 1000;
constexpr int64_t kMillisecondsPerSecond = 1000;
constexpr int64_t kMicrosecondsPerSecond = kMicrosecondsPerMillisecond * kMillisecondsPerSecond;
constexpr int64_t kMicrosecondsPerMinute = kMicrosecondsPerSecond * 60;
constexpr int64_t kMicrosecondsPerHour = kMicrosecondsPerMinute * 60;
constexpr int64_t kMicrosecondsPerDay = kMicrosecondsPerHour * 24;

// |time| + |microseconds| and |time| - |microseconds|, clamped to the int64_t range.
constexpr int64_t SaturatedAdd(int64_t time, int64_t microseconds) {
  if (microseconds > 0 && time > std::numeric_limits<int64_t>::max() - microseconds)
    return std::numeric_limits<int64_t>::max();
  if (microseconds < 0 && time < std::numeric_limits<int64_t>::min() - microseconds)
    return std::numeric_limits<int64_t>::min();
  return time + microseconds;
}

constexpr int64_t SaturatedSub(int64_t time, int64_t microseconds) {
  if (microseconds < 0 && time > std::numeric_limits<int64_t>::max() + microseconds)
    return std::numeric_limits<int64_t>::max();
  if (microseconds > 0 && time < std::numeric_limits<int64_t>::min() + microseconds)
    return std::numeric_limits<int64_t>::min();
  return time - microseconds;
}

// |a| * |b|, clamped to the int64_t range.
constexpr int64_t SaturatedMul(int64_t a, int64_t b) {
  if (a == 0 || b == 0)
    return 0;
  const bool negative = (a < 0) != (b < 0);
  const uint64_t magnitude_a = a < 0 ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
  const uint64_t magnitude_b = b < 0 ? 0 - static_cast<uint64_t>(b) : static_cast<uint64_t>(b);
  const uint64_t positive_limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  const uint64_t limit = negative ? positive_limit + 1 : positive_limit;
  if (magnitude_a > limit / magnitude_b)
    return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  const uint64_t product = magnitude_a * magnitude_b;
  if (!negative)
    return static_cast<int64_t>(product);
  return product == positive_limit + 1 ? std::numeric_limits<int64_t>::min()
                                       : -static_cast<int64_t>(product);
}

class TimeDelta {
 public:
  constexpr TimeDelta() = default;

  static constexpr TimeDelta FromMicroseconds(int64_t us) { return TimeDelta(us); }
  static constexpr TimeDelta FromMilliseconds(int64_t ms) {
    return TimeDelta(SaturatedMul(ms, kMicrosecondsPerMillisecond));
  }
  static constexpr TimeDelta FromSeconds(int64_t s) {
    return TimeDelta(SaturatedMul(s, kMicrosecondsPerSecond));
  }
  static constexpr TimeDelta FromMinutes(int64_t minutes) {
    return TimeDelta(SaturatedMul(minutes, kMicrosecondsPerMinute));
  }
  static constexpr TimeDelta FromHours(int64_t hours) {
    return TimeDelta(SaturatedMul(hours, kMicrosecondsPerHour));
  }
  static constexpr TimeDelta Max() { return TimeDelta(std::numeric_limits<int64_t>::max()); }

  constexpr bool is_zero() const { return delta_ == 0; }
  constexpr bool is_max() const { return delta_ == std::numeric_limits<int64_t>::max(); }

  // Whole units, truncated towards zero.
  constexpr int64_t InMicroseconds() const { return delta_; }
  constexpr int64_t InMilliseconds() const { return delta_ / kMicrosecondsPerMillisecond; }
  constexpr int64_t InSeconds() const { return delta_ / kMicrosecondsPerSecond; }
  constexpr double InMillisecondsF() const {
    return static_cast<double>(delta_) / kMicrosecondsPerMillisecond;
  }
  constexpr double InSecondsF() const {
    return static_cast<double>(delta_) / kMicrosecondsPerSecond;
  }

  constexpr TimeDelta operator+(TimeDelta other) const {
    return TimeDelta(SaturatedAdd(delta_, other.delta_));
  }
  constexpr TimeDelta operator-(TimeDelta other) const {
    return TimeDelta(SaturatedSub(delta_, other.delta_));
  }
  constexpr TimeDelta operator-() const { return TimeDelta(SaturatedSub(0, delta_)); }
  constexpr TimeDelta operator*(int64_t factor) const {
    return TimeDelta(SaturatedMul(delta_, factor));
  }
  // Truncates towards zero; a zero divisor gives the limit of the dividend's sign.
  constexpr TimeDelta operator/(int64_t divisor) const {
    if (divisor == 0) {
      return TimeDelta(delta_ < 0 ? std::numeric_limits<int64_t>::min()
                                  : std::numeric_limits<int64_t>::max());
    }
    if (divisor == -1)
      return -*this;
    return TimeDelta(delta_ / divisor);
  }
  TimeDelta& operator+=(TimeDelta other) { return *this = *this + other; }
  TimeDelta& operator-=(TimeDelta other) { return *this = *this - other; }

  constexpr auto operator<=>(const TimeDelta&) const = default;

 private:
  constexpr explicit TimeDelta(int64_t us) : delta_(us) {}

  int64_t delta_ = 0;
};

constexpr TimeDelta operator*(int64_t factor, TimeDelta delta) {
  return delta * factor;
}

namespace time_internal {

// What Time and TimeTicks share: a microsecond count with saturating arithmetic.
template <class TimeClass>
class TimeBase {
 public:
  static constexpr TimeClass FromInternalValue(int64_t us) { return TimeClass(us); }
  constexpr int64_t ToInternalValue() const { return us_; }
  constexpr bool is_null() const { return us_ == 0; }

  constexpr TimeClass operator+(TimeDelta delta) const {
    return TimeClass(SaturatedAdd(us_, delta.InMicroseconds()));
  }
  constexpr TimeClass operator-(TimeDelta delta) const {
    return TimeClass(SaturatedSub(us_, delta.InMicroseconds()));
  }
  constexpr TimeDelta operator-(TimeClass other) const {
    return TimeDelta::FromMicroseconds(SaturatedSub(us_, other.us_));
  }
  TimeClass& operator+=(TimeDelta delta) { return Self() = Self() + delta; }
  TimeClass& operator-=(TimeDelta delta) { return Self() = Self() - delta; }

  constexpr auto operator<=>(const TimeBase&) const = default;

 protected:
  constexpr explicit TimeBase(int64_t us) : us_(us) {}

  int64_t us_;

 private:
  TimeClass& Self() { return static_cast<TimeClass&>(*this); }
};

}  // namespace time_internal

// A point in wall-clock time: microseconds since 1601-01-01 00:00 UTC, the epoch of the
// system's FILETIME (a FILETIME divided by 10). The value 0 is the null time.
class Time : public time_internal::TimeBase<Time> {
 public:
  // Microseconds from the FILETIME epoch to the time_t epoch (1970-01-01 00:00 UTC).
  static constexpr int64_t kTimeTToMicrosecondsOffset = INT64_C(11644473600) * 1000000;

  // A calendar date and time of day. Fields follow SYSTEMTIME: the year in full (four
  // digits), month 1-12, day of week 0-6 (Sunday 0), day of month 1-31.
  struct Exploded {
    int year = 0;
    int month = 0;
    int day_of_week = 0;
    int day_of_month = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    // The fields are within their ranges (the day of week and whether the day exists in
    // its month are not checked).
    bool HasValidValues() const;
  };

  constexpr Time() : TimeBase(0) {}

  // The current time: the system's precise clock where it has one.
  static Time Now();
  // The current time straight from the system time (GetSystemTimeAsFileTime).
  static Time NowFromSystemTime();

  static Time FromFileTime(FILETIME ft);
  // A negative time gives a zero FILETIME; a time beyond FILETIME's range the largest one.
  FILETIME ToFileTime() const;

  // Whole seconds since 1970-01-01 00:00 UTC (rounded down).
  static Time FromTimeT(int64_t seconds);
  int64_t ToTimeT() const;
  // Whole milliseconds since 1970-01-01 00:00 UTC (rounded down).
  static Time FromUnixMilliseconds(int64_t ms);
  int64_t ToUnixMilliseconds() const;

  // Converts to calendar fields, in the local time zone (with the daylight rule of that
  // date) or in UTC. False, with |exploded| reset, for a time before 1601 or after 30827.
  bool Explode(bool is_local, Exploded* exploded) const;
  // The inverse; false when the fields do not name an existing moment (day of week ignored).
  static bool FromLocalExploded(const Exploded& exploded, Time* time);
  static bool FromUTCExploded(const Exploded& exploded, Time* time);

  static constexpr Time Max() { return Time(std::numeric_limits<int64_t>::max()); }
  constexpr bool is_max() const { return us_ == std::numeric_limits<int64_t>::max(); }

  // Raises the resolution of the system timer to 1 ms while at least one activation is
  // outstanding (timeBeginPeriod/timeEndPeriod). Returns false when the system refuses or,
  // for a deactivation, when nothing is active.
  static bool ActivateHighResolutionTimer(bool activate);

 private:
  friend class time_internal::TimeBase<Time>;

  constexpr explicit Time(int64_t us) : TimeBase(us) {}
};

// A point on a monotonic clock, in microseconds from an arbitrary origin (the system's
// start, in practice). The value 0 is the null tick count.
class TimeTicks : public time_internal::TimeBase<TimeTicks> {
 public:
  constexpr TimeTicks() : TimeBase(0) {}

  // The performance counter in microseconds; never less than a value returned before.
  static TimeTicks Now();
  // A performance counter value (QueryPerformanceCounter) in microseconds.
  static TimeTicks FromQPCValue(int64_t qpc_value);
  // The multimedia timer (timeGetTime, millisecond resolution) extended past its 49.7-day
  // wrap-around. Its origin differs from Now(): compare only values of the same clock.
  static TimeTicks NowFromLowResClock();

 private:
  friend class time_internal::TimeBase<TimeTicks>;

  constexpr explicit TimeTicks(int64_t us) : TimeBase(us) {}
};

}  // namespace base

#endif  // BASE_TIME_TIME_H_
