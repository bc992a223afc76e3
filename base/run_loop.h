#ifndef BASE_RUN_LOOP_H_
#define BASE_RUN_LOOP_H_

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/single_thread_task_runner.h"

namespace base {

class MessageDispatcher;
class MessageLoop;

// One run of the current thread's MessageLoop:
//
//   RunLoop run_loop;
//   runner->PostTaskAndReply(FROM_HERE, task, run_loop.QuitClosure());
//   run_loop.Run();
//
// Construct it on the loop's thread. Runs nest: a task may run a RunLoop of its own, whose
// Run runs the loop's tasks (nested tasks) until that RunLoop is quit; quitting an outer
// RunLoop while an inner one runs ends the outer run as soon as the inner one has ended.
class RunLoop {
 public:
  RunLoop();
  // |dispatcher| (not owned; may be null) sees the window messages of this run first.
  explicit RunLoop(MessageDispatcher* dispatcher);
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;
  ~RunLoop();

  // Runs the loop until Quit (at once when Quit came first). Once per RunLoop.
  void Run();

  // Ends the run as soon as the task under way returns, without running the tasks queued
  // behind it. May be called from any thread: from another thread it is posted to the
  // loop's thread (and arrives behind the tasks already posted).
  void Quit();

  // Ends the run once the loop has nothing to do now (no task and no due delayed task).
  // On the loop's thread.
  void QuitWhenIdle();

  // A closure that calls Quit, from any thread, and does nothing once this RunLoop is gone.
  Closure QuitClosure();

  bool running() const { return running_; }

 private:
  friend class MessageLoop;

  bool BeforeRun();
  void AfterRun();

  MessageLoop* const loop_;
  // The loop's task runner: quits from other threads travel through it.
  const scoped_refptr<SingleThreadTaskRunner> origin_task_runner_;
  MessageDispatcher* const dispatcher_;

  // The run this one is nested in, or null.
  RunLoop* previous_run_loop_ = nullptr;
  int run_depth_ = 0;
  bool run_called_ = false;
  bool running_ = false;
  bool quit_called_ = false;
  bool quit_when_idle_received_ = false;
  // The loop's permission to run tasks, as it was before this run.
  bool saved_nestable_tasks_allowed_ = true;

  // Made at construction, on the loop's thread; copies go to other threads.
  WeakPtr<RunLoop> weak_self_;
  WeakPtrFactory<RunLoop> weak_factory_{this};
};

}  // namespace base

#endif  // BASE_RUN_LOOP_H_
