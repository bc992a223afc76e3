// Measures the task runtime: posting and running many empty tasks on one thread, and the
// round trip of a task to another thread and of its reply back. Prints the figures.

#include <stdio.h>

#include <algorithm>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/threading/thread.h"
#include "base/time/time.h"

namespace {

constexpr int kTaskCount = 1000000;
constexpr int kRoundTrips = 10000;

void EmptyTask() {}

// Each task posts the next one until |remaining| reaches 0.
void PostChain(base::SingleThreadTaskRunner* task_runner, int* remaining, base::RunLoop* run_loop) {
  if (--*remaining == 0) {
    run_loop->Quit();
    return;
  }
  task_runner->PostTask(FROM_HERE, base::BindFunction(&PostChain, task_runner, remaining, run_loop));
}

void MeasureOneThread(base::MessageLoop::Type type, const char* loop_name) {
  base::MessageLoop loop(type);
  base::SingleThreadTaskRunner* task_runner = loop.task_runner().get();

  const base::TimeTicks post_start = base::TimeTicks::Now();
  for (int i = 0; i < kTaskCount; ++i)
    task_runner->PostTask(FROM_HERE, base::BindFunction(&EmptyTask));
  const base::TimeTicks run_start = base::TimeTicks::Now();
  base::RunLoop run_loop;
  run_loop.QuitWhenIdle();
  run_loop.Run();
  const base::TimeTicks run_end = base::TimeTicks::Now();
  printf("%-7s loop: posting %d empty tasks: %.1f ms (%.3f us per task); running them: %.1f ms "
         "(%.3f us per task)\n",
         loop_name, kTaskCount, (run_start - post_start).InMillisecondsF(),
         (run_start - post_start).InMillisecondsF() * 1000 / kTaskCount,
         (run_end - run_start).InMillisecondsF(),
         (run_end - run_start).InMillisecondsF() * 1000 / kTaskCount);

  int remaining = kTaskCount;
  base::RunLoop chain_loop;
  const base::TimeTicks chain_start = base::TimeTicks::Now();
  task_runner->PostTask(FROM_HERE,
                        base::BindFunction(&PostChain, task_runner, &remaining, &chain_loop));
  chain_loop.Run();
  const base::TimeDelta chain = base::TimeTicks::Now() - chain_start;
  printf("%-7s loop: %d tasks each posting the next: %.1f ms (%.3f us per task)\n", loop_name,
         kTaskCount, chain.InMillisecondsF(), chain.InMillisecondsF() * 1000 / kTaskCount);
  fflush(stdout);
}

void MeasureRoundTrips(base::MessageLoop::Type worker_type, const char* loop_name) {
  base::MessageLoop loop;
  base::Thread worker("Benchmark worker");
  base::Thread::Options options;
  options.message_loop_type = worker_type;
  if (!worker.StartWithOptions(options)) {
    printf("could not start the worker thread\n");
    return;
  }
  const base::scoped_refptr<base::SingleThreadTaskRunner> worker_runner = worker.GetTaskRunner();
  std::vector<double> microseconds;
  microseconds.reserve(kRoundTrips);
  for (int i = 0; i < kRoundTrips; ++i) {
    base::RunLoop run_loop;
    const base::TimeTicks start = base::TimeTicks::Now();
    worker_runner->PostTaskAndReply(FROM_HERE, base::BindFunction(&EmptyTask),
                                    run_loop.QuitClosure());
    run_loop.Run();
    microseconds.push_back(static_cast<double>((base::TimeTicks::Now() - start).InMicroseconds()));
  }
  worker.Stop();
  std::sort(microseconds.begin(), microseconds.end());
  printf("round trip to a thread with a %s loop and back (PostTaskAndReply), %d trips: "
         "median %.0f us, 10th percentile %.0f us, 90th percentile %.0f us, "
         "fastest %.0f us\n",
         loop_name, kRoundTrips, microseconds[kRoundTrips / 2], microseconds[kRoundTrips / 10],
         microseconds[kRoundTrips * 9 / 10], microseconds.front());
  fflush(stdout);
}

}  // namespace

int main() {
  MeasureOneThread(base::MessageLoop::TYPE_DEFAULT, "default");
  MeasureOneThread(base::MessageLoop::TYPE_UI, "UI");
  MeasureOneThread(base::MessageLoop::TYPE_IO, "I/O");
  MeasureRoundTrips(base::MessageLoop::TYPE_DEFAULT, "default");
  MeasureRoundTrips(base::MessageLoop::TYPE_IO, "I/O");
  return 0;
}
