#ifndef BASE_THREADING_THREAD_H_
#define BASE_THREADING_THREAD_H_

#include <windows.h>

#include <stddef.h>

#include <string>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop/message_loop.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/os_thread.h"
#include "base/win/scoped_handle.h"

namespace base {

// A named thread that runs a MessageLoop of its own until it is stopped:
//
//   Thread thread("Installer IPC thread");
//   Thread::Options options;
//   options.message_loop_type = MessageLoop::TYPE_IO;
//   if (!thread.StartWithOptions(options)) ...
//   thread.GetTaskRunner()->PostTask(FROM_HERE, task);
//   thread.Stop();  // runs |task| first
//
// Start, Stop and the destructor are called by the owner's thread; GetTaskRunner from any.
class Thread : private OsThread::Delegate {
 public:
  struct Options {
    MessageLoop::Type message_loop_type = MessageLoop::TYPE_DEFAULT;
    // 0: the executable's default.
    size_t stack_size = 0;
  };

  explicit Thread(const std::string& name);
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Stops the thread.
  ~Thread() override;

  // Start with a default loop, or with |options|. Return once the thread's loop exists;
  // false, with an error logged, when the thread could not be started.
  bool Start();
  bool StartWithOptions(const Options& options);

  // Lets the loop run the tasks posted so far (not the delayed ones that are not yet due),
  // ends it and waits for the thread to end. Tasks posted later are not run. Nothing
  // happens when the thread is not running.
  void Stop();

  bool IsRunning() const;

  // The task runner of the thread's loop, or null when the thread is not running.
  scoped_refptr<SingleThreadTaskRunner> GetTaskRunner() const;

  // The system's id of the thread; 0 when it is not running.
  DWORD thread_id() const;
  const std::string& thread_name() const { return name_; }

 private:
  void ThreadMain() override;

  const std::string name_;
  Options options_;
  win::ScopedHandle thread_handle_;
  // Signalled by the thread once its loop exists.
  WaitEvent started_;

  mutable Lock lock_;
  DWORD thread_id_ = 0;                                // Under lock_.
  scoped_refptr<SingleThreadTaskRunner> task_runner_;  // Under lock_.
  // Ends the thread's run; made on the thread.
  Closure quit_closure_;  // Under lock_.
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_H_
