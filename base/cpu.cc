#include "base/cpu.h"

#include <windows.h>
#include <intrin.h>
#include <stdint.h>
#include <string.h>

#include <atomic>

namespace base {

namespace {

// A time-stamp counter and performance counter reading taken close together.
struct CounterReading {
  uint64_t tsc;
  int64_t performance_counter;
};

CounterReading ReadCounters() {
  // A higher priority makes a context switch between the two readings less likely.
  const HANDLE thread = ::GetCurrentThread();
  const int previous_priority = ::GetThreadPriority(thread);
  ::SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  CounterReading reading;
  reading.tsc = __rdtsc();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  reading.performance_counter = now.QuadPart;
  ::SetThreadPriority(thread, previous_priority);
  return reading;
}

std::atomic<double> g_tsc_ticks_per_second{0.0};

}  // namespace

CpuInfo::CpuInfo() {
  int registers[4] = {};  // EAX, EBX, ECX, EDX.
  __cpuid(registers, 0);
  const int max_leaf = registers[0];
  char vendor[13] = {};
  memcpy(vendor, &registers[1], 4);
  memcpy(vendor + 4, &registers[3], 4);
  memcpy(vendor + 8, &registers[2], 4);
  vendor_name_ = vendor;

  if (max_leaf >= 1) {
    __cpuid(registers, 1);
    const int signature = registers[0];
    stepping_ = signature & 0xF;
    const int base_model = (signature >> 4) & 0xF;
    const int base_family = (signature >> 8) & 0xF;
    const int extended_model = (signature >> 16) & 0xF;
    const int extended_family = (signature >> 20) & 0xFF;
    family_ = base_family == 0xF ? base_family + extended_family : base_family;
    model_ = base_family == 0x6 || base_family == 0xF ? base_model + (extended_model << 4)
                                                      : base_model;
    const int ecx = registers[2];
    const int edx = registers[3];
    has_mmx_ = (edx & (1 << 23)) != 0;
    has_sse_ = (edx & (1 << 25)) != 0;
    has_sse2_ = (edx & (1 << 26)) != 0;
    has_sse3_ = (ecx & (1 << 0)) != 0;
    has_ssse3_ = (ecx & (1 << 9)) != 0;
    has_sse41_ = (ecx & (1 << 19)) != 0;
    has_sse42_ = (ecx & (1 << 20)) != 0;
    has_popcnt_ = (ecx & (1 << 23)) != 0;
  }

  __cpuid(registers, static_cast<int>(0x80000000));
  const unsigned max_extended_leaf = static_cast<unsigned>(registers[0]);
  if (max_extended_leaf >= 0x80000007) {
    __cpuid(registers, static_cast<int>(0x80000007));
    has_non_stop_time_stamp_counter_ = (registers[3] & (1 << 8)) != 0;
  }
}

bool IsPerformanceCounterReliable() {
  static const bool reliable = [] {
    const CpuInfo cpu;
    const bool drifting_amd = cpu.vendor_name() == "AuthenticAMD" && cpu.family() == 15;
    return cpu.has_non_stop_time_stamp_counter() && !drifting_amd;
  }();
  return reliable;
}

double TscTicksPerSecond() {
  const double known = g_tsc_ticks_per_second.load(std::memory_order_relaxed);
  if (known != 0.0)
    return known;

  // The measurement starts with the first call, not while the library loads: that runs under
  // the loader lock, where changing the thread's priority and reading counters is no work of
  // ours.
  static const CounterReading initial_reading = ReadCounters();
  const CounterReading now = ReadCounters();
  LARGE_INTEGER frequency;
  if (!::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
    return 0.0;
  const double elapsed_seconds =
      static_cast<double>(now.performance_counter - initial_reading.performance_counter) /
      static_cast<double>(frequency.QuadPart);
  constexpr double kMinimumMeasurementSeconds = 0.05;
  if (elapsed_seconds < kMinimumMeasurementSeconds || now.tsc <= initial_reading.tsc)
    return 0.0;

  const double measured = static_cast<double>(now.tsc - initial_reading.tsc) / elapsed_seconds;
  // Concurrent first measurements may differ slightly; the first one stored is kept.
  double expected = 0.0;
  if (!g_tsc_ticks_per_second.compare_exchange_strong(expected, measured))
    return expected;
  return measured;
}

}  // namespace base
