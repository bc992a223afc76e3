#ifndef BASE_THREADING_CURRENT_THREAD_TASK_RUNNER_H_
#define BASE_THREADING_CURRENT_THREAD_TASK_RUNNER_H_

#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"

namespace base {

class ThreadLocalSlot;

// The task runner of the calling thread's message loop, kept in a thread-local slot while
// the loop exists.
class CurrentThreadTaskRunner {
 public:
  CurrentThreadTaskRunner() = delete;

  // The calling thread's task runner (a new reference), or null on a thread without a
  // message loop.
  static scoped_refptr<SingleThreadTaskRunner> Get();
  static bool IsSet();

  // The slot: a SingleThreadTaskRunner* per thread, set and cleared by the message loop.
  static ThreadLocalSlot& Slot();
};

}  // namespace base

#endif  // BASE_THREADING_CURRENT_THREAD_TASK_RUNNER_H_
