#include "base/time/time.h"

#include <mmsystem.h>

#include <algorithm>
#include <atomic>

#include "base/synchronization/lock.h"

namespace base {

namespace {

// Division rounding towards negative infinity, so that a moment before 1970 belongs to
// the second (or millisecond) that began before it.
int64_t FloorDivide(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

using PreciseTimeFunction = VOID(WINAPI*)(LPFILETIME);

// GetSystemTimePreciseAsFileTime exists from Windows 8 on; older systems only have the
// clock that advances with the timer interrupt.
PreciseTimeFunction GetPreciseTimeFunction() {
  static const PreciseTimeFunction function = [] {
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel32)
      return PreciseTimeFunction();
    return reinterpret_cast<PreciseTimeFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(kernel32, "GetSystemTimePreciseAsFileTime")));
  }();
  return function;
}

int64_t QpcFrequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER value;
    return ::QueryPerformanceFrequency(&value) ? value.QuadPart : int64_t{0};
  }();
  return frequency;
}

// Constant-initialised locks: nothing of this file runs while the library loads or ends.
//
// The multimedia timer wraps every 2^32 ms; the wraps seen so far extend it to 64 bits.
// The timer is read under the lock, so a reading never predates the last one stored.
Lock g_low_res_lock;
DWORD g_last_time_get_time = 0;
int64_t g_time_get_time_rollovers = 0;

Lock g_timer_period_lock;
int g_high_resolution_activations = 0;

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool FromExploded(bool is_local, const Time::Exploded& exploded, Time* time) {
  *time = Time();
  // Checked here: not every implementation of SystemTimeToFileTime rejects February 30.
  if (!exploded.HasValidValues() ||
      exploded.day_of_month > DaysInMonth(exploded.year, exploded.month)) {
    return false;
  }
  SYSTEMTIME fields = {};
  fields.wYear = static_cast<WORD>(exploded.year);
  fields.wMonth = static_cast<WORD>(exploded.month);
  fields.wDay = static_cast<WORD>(exploded.day_of_month);
  fields.wHour = static_cast<WORD>(exploded.hour);
  fields.wMinute = static_cast<WORD>(exploded.minute);
  fields.wSecond = static_cast<WORD>(exploded.second);
  fields.wMilliseconds = static_cast<WORD>(exploded.millisecond);
  SYSTEMTIME utc = fields;
  if (is_local && !::TzSpecificLocalTimeToSystemTime(nullptr, &fields, &utc))
    return false;
  FILETIME file_time;
  if (!::SystemTimeToFileTime(&utc, &file_time))
    return false;
  *time = Time::FromFileTime(file_time);
  return true;
}

}  // namespace

bool Time::Exploded::HasValidValues() const {
  // SYSTEMTIME's range.
  return year >= 1601 && year <= 30827 && month >= 1 && month <= 12 && day_of_week >= 0 &&
         day_of_week <= 6 && day_of_month >= 1 && day_of_month <= 31 && hour >= 0 &&
         hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59 &&
         millisecond >= 0 && millisecond <= 999;
}

// static
Time Time::Now() {
  PreciseTimeFunction precise = GetPreciseTimeFunction();
  if (!precise)
    return NowFromSystemTime();
  FILETIME now;
  precise(&now);
  return FromFileTime(now);
}

// static
Time Time::NowFromSystemTime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return FromFileTime(now);
}

// static
Time Time::FromFileTime(FILETIME ft) {
  const uint64_t hundreds_of_ns =
      (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return Time(static_cast<int64_t>(hundreds_of_ns / 10));
}

FILETIME Time::ToFileTime() const {
  uint64_t hundreds_of_ns = 0;
  if (us_ > 0) {
    const uint64_t us = static_cast<uint64_t>(us_);
    hundreds_of_ns = us > std::numeric_limits<uint64_t>::max() / 10
                         ? std::numeric_limits<uint64_t>::max()
                         : us * 10;
  }
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(hundreds_of_ns);
  ft.dwHighDateTime = static_cast<DWORD>(hundreds_of_ns >> 32);
  return ft;
}

// static
Time Time::FromTimeT(int64_t seconds) {
  return Time(SaturatedAdd(SaturatedMul(seconds, kMicrosecondsPerSecond),
                           kTimeTToMicrosecondsOffset));
}

int64_t Time::ToTimeT() const {
  return FloorDivide(SaturatedSub(us_, kTimeTToMicrosecondsOffset), kMicrosecondsPerSecond);
}

// static
Time Time::FromUnixMilliseconds(int64_t ms) {
  return Time(SaturatedAdd(SaturatedMul(ms, kMicrosecondsPerMillisecond),
                           kTimeTToMicrosecondsOffset));
}

int64_t Time::ToUnixMilliseconds() const {
  return FloorDivide(SaturatedSub(us_, kTimeTToMicrosecondsOffset),
                     kMicrosecondsPerMillisecond);
}

bool Time::Explode(bool is_local, Exploded* exploded) const {
  *exploded = Exploded();
  if (us_ < 0)
    return false;
  // Beyond SYSTEMTIME's range the conversion fails (ToFileTime clamps, never wraps).
  const FILETIME file_time = ToFileTime();
  SYSTEMTIME utc;
  if (!::FileTimeToSystemTime(&file_time, &utc))
    return false;
  SYSTEMTIME fields = utc;
  if (is_local && !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &fields))
    return false;
  exploded->year = fields.wYear;
  exploded->month = fields.wMonth;
  exploded->day_of_week = fields.wDayOfWeek;
  exploded->day_of_month = fields.wDay;
  exploded->hour = fields.wHour;
  exploded->minute = fields.wMinute;
  exploded->second = fields.wSecond;
  exploded->millisecond = fields.wMilliseconds;
  return true;
}

// static
bool Time::FromLocalExploded(const Exploded& exploded, Time* time) {
  return FromExploded(true, exploded, time);
}

// static
bool Time::FromUTCExploded(const Exploded& exploded, Time* time) {
  return FromExploded(false, exploded, time);
}

// static
bool Time::ActivateHighResolutionTimer(bool activate) {
  AutoLock lock(g_timer_period_lock);
  if (activate) {
    if (g_high_resolution_activations == 0 && ::timeBeginPeriod(1) != TIMERR_NOERROR)
      return false;
    ++g_high_resolution_activations;
    return true;
  }
  if (g_high_resolution_activations == 0)
    return false;
  if (--g_high_resolution_activations == 0)
    ::timeEndPeriod(1);
  return true;
}

// static
TimeTicks TimeTicks::Now() {
  int64_t now;
  if (QpcFrequency() > 0) {
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    now = FromQPCValue(counter.QuadPart).us_;
  } else {
    now = NowFromLowResClock().us_;
  }
  // The counter may differ slightly between processors on old hardware; the clock must
  // still never run backwards for any caller.
  static std::atomic<int64_t> last{0};
  int64_t previous = last.load(std::memory_order_relaxed);
  while (now > previous &&
         !last.compare_exchange_weak(previous, now, std::memory_order_relaxed)) {
  }
  return TimeTicks(std::max(now, previous));
}

// static
TimeTicks TimeTicks::FromQPCValue(int64_t qpc_value) {
  const int64_t frequency = QpcFrequency();
  if (frequency <= 0)
    return TimeTicks();
  // Whole seconds and the remainder apart, so that the multiplication cannot overflow.
  const int64_t whole_seconds = qpc_value / frequency;
  const int64_t remainder = qpc_value % frequency;
  return TimeTicks(SaturatedAdd(SaturatedMul(whole_seconds, kMicrosecondsPerSecond),
                                remainder * kMicrosecondsPerSecond / frequency));
}

// static
TimeTicks TimeTicks::NowFromLowResClock() {
  AutoLock lock(g_low_res_lock);
  const DWORD now = ::timeGetTime();
  if (now < g_last_time_get_time)
    ++g_time_get_time_rollovers;
  g_last_time_get_time = now;
  const int64_t ms = (g_time_get_time_rollovers << 32) + now;
  return TimeTicks(ms * kMicrosecondsPerMillisecond);
}

}  // namespace base
