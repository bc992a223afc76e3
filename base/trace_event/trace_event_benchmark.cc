// Measures what a trace site costs: with its category disabled (the installer's case)
// against the same loop without the site, and recording a scoped event with two arguments
// (begin and duration), from a thread with a message loop (its own chunks) and from one
// without (the shared chunk, under the lock), beside the cost of the clock read each
// recorded event makes. Prints nanoseconds per iteration and ratios.

#include <windows.h>
#include <stdio.h>

#include <atomic>
#include <functional>

#include "base/message_loop/message_loop.h"
#include "base/test/concurrent_threads.h"
#include "base/time/time.h"
#include "base/trace_event/trace_event.h"

namespace {

constexpr int64_t kDisabledIterations = 200000000;
constexpr int64_t kRecordedIterations = 2000000;

// Keeps the loops' bodies from being optimised away.
std::atomic<int64_t> g_sink{0};

double NanosecondsPerIteration(int64_t iterations, const std::function<void(int64_t)>& body) {
  const base::TimeTicks start = base::TimeTicks::Now();
  body(iterations);
  return (base::TimeTicks::Now() - start).InMicroseconds() * 1000.0 / iterations;
}

void EmptyLoop(int64_t iterations) {
  for (int64_t i = 0; i < iterations; ++i)
    g_sink.store(i, std::memory_order_relaxed);
}

void ClockReads(int64_t iterations) {
  for (int64_t i = 0; i < iterations; ++i)
    g_sink.store(base::TimeTicks::Now().ToInternalValue(), std::memory_order_relaxed);
}

void DisabledInstantSites(int64_t iterations) {
  for (int64_t i = 0; i < iterations; ++i) {
    TRACE_EVENT_INSTANT1("benchmark.disabled", "Site", TRACE_EVENT_SCOPE_THREAD, "i", i);
    g_sink.store(i, std::memory_order_relaxed);
  }
}

void DisabledScopedSites(int64_t iterations) {
  for (int64_t i = 0; i < iterations; ++i) {
    TRACE_EVENT2("benchmark.disabled", "Scoped", "i", i, "name", "text");
    g_sink.store(i, std::memory_order_relaxed);
  }
}

void RecordedScopedEvents(int64_t iterations) {
  for (int64_t i = 0; i < iterations; ++i) {
    TRACE_EVENT2("benchmark.recorded", "Scoped", "i", i, "name", "text");
    g_sink.store(i, std::memory_order_relaxed);
  }
}

}  // namespace

int main() {
  using base::trace_event::TraceConfig;
  using base::trace_event::TraceLog;

  // Warm up: the first use registers the categories and makes the trace log.
  DisabledScopedSites(1);
  RecordedScopedEvents(1);

  const double empty = NanosecondsPerIteration(kDisabledIterations, &EmptyLoop);
  const double instant = NanosecondsPerIteration(kDisabledIterations, &DisabledInstantSites);
  const double scoped = NanosecondsPerIteration(kDisabledIterations, &DisabledScopedSites);
  printf(
      "disabled sites, %lld iterations: empty loop %.3f ns; instant site %.3f ns (x%.2f, "
      "+%.3f ns); scoped site %.3f ns (x%.2f, +%.3f ns)\n",
      static_cast<long long>(kDisabledIterations), empty, instant, instant / empty,
      instant - empty, scoped, scoped / empty, scoped - empty);
  fflush(stdout);

  TraceConfig config;
  config.included_categories = {"benchmark.recorded"};
  // A ring buffer: the run never fills it and stops recording.
  TraceLog::GetInstance()->SetEnabled(config, TraceLog::RECORDING_MODE,
                                      TraceLog::kRecordContinuously);
  double with_loop = 0;
  {
    base::MessageLoop loop;
    with_loop = NanosecondsPerIteration(kRecordedIterations, &RecordedScopedEvents);
  }
  double without_loop = 0;
  if (!base::test::RunConcurrently(
          1,
          [&](int) {
            without_loop = NanosecondsPerIteration(kRecordedIterations, &RecordedScopedEvents);
          },
          base::TimeDelta::FromMinutes(10))) {
    fprintf(stderr, "the thread could not be started\n");
    return 1;
  }
  TraceLog::GetInstance()->SetDisabled(TraceLog::RECORDING_MODE);
  const double empty_again = NanosecondsPerIteration(kRecordedIterations, &EmptyLoop);
  // A recorded scoped event reads the clock twice (begin and end).
  const double clock = NanosecondsPerIteration(kRecordedIterations, &ClockReads);
  printf(
      "recorded scoped events with two arguments, %lld iterations: empty loop %.3f ns; "
      "thread with a message loop %.1f ns (x%.0f); thread without %.1f ns (x%.0f); "
      "one clock read %.1f ns\n",
      static_cast<long long>(kRecordedIterations), empty_again, with_loop,
      with_loop / empty_again, without_loop, without_loop / empty_again, clock);
  return 0;
}
