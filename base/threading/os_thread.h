#ifndef BASE_THREADING_OS_THREAD_H_
#define BASE_THREADING_OS_THREAD_H_

#include <stddef.h>

#include <string>

#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// Plain system threads.
class OsThread {
 public:
  // What a thread runs.
  class Delegate {
   public:
    virtual void ThreadMain() = 0;

   protected:
    virtual ~Delegate() = default;
  };

  OsThread() = delete;

  // Starts a thread that runs |delegate|->ThreadMain() and ends when it returns; its handle
  // goes to |thread_handle|, to be joined. |stack_size| 0 takes the executable's default.
  // False, with an error logged, when the thread cannot be started.
  static bool Create(size_t stack_size, Delegate* delegate, win::ScopedHandle* thread_handle);

  // Waits without a time limit for the thread to end, then closes its handle.
  static void Join(win::ScopedHandle* thread_handle);

  static void Sleep(TimeDelta duration);

  // Names the calling thread: for debuggers (SetThreadDescription, where the system has
  // it), in the ThreadNameRegistry, and for the task profiler, which this starts.
  static void SetName(const std::string& name);
};

}  // namespace base

#endif  // BASE_THREADING_OS_THREAD_H_
