#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_

#include <windows.h>

#include <memory>

#include "base/memory/ref_counted.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/message_loop/message_pump.h"
#include "base/message_loop/message_pump_io.h"
#include "base/message_loop/traced_destruction_observer.h"
#include "base/observer_list.h"
#include "base/pending_task.h"
#include "base/single_thread_task_runner.h"

namespace base {

class RunLoop;
class ThreadLocalSlot;

// The task loop of one thread: runs the tasks posted to its task runner, in the order
// posted, and the delayed tasks when due (by due time, then posting order), in turns with
// what its pump waits for (window messages for TYPE_UI, I/O completions for TYPE_IO).
// Construct it on its thread (at most one per thread); RunLoop runs it.
//
// Destroying the loop tells its destruction observers, deletes the tasks still pending
// without running them, and makes posting to its task runner fail from then on.
class MessageLoop : public MessagePump::Delegate {
 public:
  enum Type {
    TYPE_DEFAULT = 0,
    TYPE_UI = 1,
    TYPE_IO = 2,
  };

  using DestructionObserver = base::DestructionObserver;
  using IoHandler = base::IoHandler;
  using IoContext = base::IoContext;

  explicit MessageLoop(Type type = TYPE_DEFAULT);
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
  ~MessageLoop() override;

  // The calling thread's loop, or null.
  static MessageLoop* Current();
  // The thread-local slot that holds each thread's loop.
  static ThreadLocalSlot& CurrentLoopSlot();

  Type type() const { return type_; }

  // Accepts tasks from any thread.
  const scoped_refptr<SingleThreadTaskRunner>& task_runner() const { return task_runner_; }

  // |observer| (not owned) is told before this loop is destroyed. Called on the loop's
  // thread; the adding code's return addresses are kept for diagnosis.
  void AddDestructionObserver(DestructionObserver* observer);
  // Also while the observers are being told.
  void RemoveDestructionObserver(DestructionObserver* observer);

  // Whether a RunLoop runs this loop, and whether it is one nested in another.
  bool is_running() const { return run_loop_ != nullptr; }
  bool IsNested() const;

  // I/O loops only: see MessagePumpForIO.
  bool RegisterIoHandler(HANDLE file_handle, IoHandler* handler);
  bool WaitForIoCompletion(DWORD timeout_ms, IoHandler* filter);

  // Called by the incoming queue, under its lock, to wake the pump.
  void ScheduleWork();

 private:
  friend class RunLoop;

  // MessagePump::Delegate:
  bool DoWork() override;
  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override;
  bool DoIdleWork() override;

  // Runs the pump for the innermost RunLoop; ends that run.
  void RunHandler();
  void QuitNow();

  void RunTask(PendingTask* pending_task);
  void AddToDelayedWorkQueue(PendingTask pending_task);
  void ReloadWorkQueue();
  // Deletes the tasks in the queues without running them. True when there were any.
  bool DeletePendingTasks();
  void NotifyDestructionObservers();

  const Type type_;
  std::unique_ptr<MessagePump> pump_;
  scoped_refptr<IncomingTaskQueue> incoming_task_queue_;
  scoped_refptr<SingleThreadTaskRunner> task_runner_;

  // Tasks taken from the incoming queue and not yet run or moved to the delayed queue.
  TaskQueue work_queue_;
  DelayedTaskQueue delayed_work_queue_;
  // A recent TimeTicks::Now, to test delayed tasks without reading the clock each time.
  TimeTicks recent_time_;

  // Off while a task runs, so that modal loops of the system inside a task do not run other
  // tasks; a RunLoop run inside a task turns it on for its duration.
  bool nestable_tasks_allowed_ = true;
  // The innermost RunLoop running this loop.
  RunLoop* run_loop_ = nullptr;

  ObserverList<TracedDestructionObserver> destruction_observers_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
