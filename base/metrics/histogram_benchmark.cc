// Measures adding samples to one histogram, from one thread and from eight at once, against
// a plain relaxed atomic increment measured in the same run. Prints nanoseconds per add and
// the ratios.

#include <windows.h>
#include <stdio.h>

#include <atomic>
#include <functional>

#include "base/metrics/histogram.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/sparse_histogram.h"
#include "base/test/concurrent_threads.h"
#include "base/time/time.h"

namespace {

constexpr int64_t kTotalAdds = 10000000;

// Nanoseconds per add of kTotalAdds adds shared by |threads| threads released together
// (their start, a fraction of a millisecond, is counted too).
double NanosecondsPerAdd(int threads, const std::function<void(int64_t)>& body) {
  const base::TimeTicks start = base::TimeTicks::Now();
  if (!base::test::RunConcurrently(
          threads, [&](int) { body(kTotalAdds / threads); }, base::TimeDelta::FromMinutes(10))) {
    fprintf(stderr, "the threads could not be started\n");
    ::ExitProcess(1);
  }
  return (base::TimeTicks::Now() - start).InMicroseconds() * 1000.0 / kTotalAdds;
}

}  // namespace

int main() {
  base::HistogramBase* histogram =
      base::Histogram::FactoryGet("Benchmark.Exponential", 1, 10000, 50, 0);
  base::HistogramBase* sparse = base::SparseHistogram::FactoryGet("Benchmark.Sparse");
  std::atomic<int64_t> counter{0};

  const std::function<void(int64_t)> add_exponential = [histogram](int64_t adds) {
    for (int64_t i = 0; i < adds; ++i)
      histogram->Add(static_cast<int>(i & 8191));
  };
  const std::function<void(int64_t)> add_sparse = [sparse](int64_t adds) {
    for (int64_t i = 0; i < adds; ++i)
      sparse->Add(static_cast<int>(i & 63));
  };
  const std::function<void(int64_t)> increment = [&counter](int64_t adds) {
    for (int64_t i = 0; i < adds; ++i)
      counter.fetch_add(1, std::memory_order_relaxed);
  };

  for (int threads : {1, 8}) {
    const double reference = NanosecondsPerAdd(threads, increment);
    const double exponential = NanosecondsPerAdd(threads, add_exponential);
    const double sparse_add = NanosecondsPerAdd(threads, add_sparse);
    printf(
        "%d thread%s, %lld adds: relaxed atomic increment %.2f ns; exponential histogram "
        "%.2f ns (x%.1f); sparse histogram %.2f ns (x%.1f)\n",
        threads, threads == 1 ? "" : "s", static_cast<long long>(kTotalAdds), reference,
        exponential, exponential / reference, sparse_add, sparse_add / reference);
    fflush(stdout);
  }
  const int64_t expected = 2 * kTotalAdds;
  if (histogram->SnapshotSamples()->TotalCount() != expected || counter.load() != expected) {
    fprintf(stderr, "lost samples\n");
    return 1;
  }
  return 0;
}
