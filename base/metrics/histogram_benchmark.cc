// Measures adding samples to one histogram, from one thread and from eight at once, against
// a plain relaxed atomic increment measured in the same run. Prints nanoseconds per add and
// the ratios.

#include <windows.h>
#include <stdio.h>

#include <atomic>
#include <functional>
#include <vector>

#include "base/metrics/histogram.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/sparse_histogram.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace {

constexpr int64_t kTotalAdds = 10000000;

struct Worker {
  const std::function<void(int64_t)>* body;
  int64_t adds;
  HANDLE go;
};

DWORD WINAPI WorkerMain(void* parameter) {
  const Worker* worker = static_cast<const Worker*>(parameter);
  ::WaitForSingleObject(worker->go, INFINITE);
  (*worker->body)(worker->adds);
  return 0;
}

// Nanoseconds per add of kTotalAdds adds shared by |threads| threads started together.
double NanosecondsPerAdd(int threads, const std::function<void(int64_t)>& body) {
  base::win::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<Worker> workers(threads, Worker{&body, kTotalAdds / threads, go.Get()});
  std::vector<base::win::ScopedHandle> handles;
  std::vector<HANDLE> raw_handles;
  for (Worker& worker : workers) {
    handles.emplace_back(::CreateThread(nullptr, 0, &WorkerMain, &worker, 0, nullptr));
    if (!handles.back().IsValid()) {
      fprintf(stderr, "CreateThread failed: %lu\n", ::GetLastError());
      ::ExitProcess(1);
    }
    raw_handles.push_back(handles.back().Get());
  }
  const base::TimeTicks start = base::TimeTicks::Now();
  ::SetEvent(go.Get());
  ::WaitForMultipleObjects(static_cast<DWORD>(raw_handles.size()), raw_handles.data(), TRUE,
                           INFINITE);
  const base::TimeDelta elapsed = base::TimeTicks::Now() - start;
  return elapsed.InMicroseconds() * 1000.0 / kTotalAdds;
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
    printf("%d thread%s, %lld adds: relaxed atomic increment %.2f ns; exponential histogram "
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
