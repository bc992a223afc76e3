#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_

#include "base/time/time.h"

namespace base {

class MessageDispatcher;

// Problems of the Windows pumps, recorded in "Pellux.MessageLoopProblem".
enum MessagePumpProblem {
  MESSAGE_POST_ERROR = 0,       // The wake-up message could not be posted.
  COMPLETION_POST_ERROR = 1,    // The wake-up completion packet could not be queued.
  SET_TIMER_ERROR = 2,          // The timer for delayed tasks could not be set.
  RECEIVED_WM_QUIT_ERROR = 3,   // WM_QUIT reached the pump.
  MESSAGE_PUMP_PROBLEM_MAX = 4,
};

void RecordMessagePumpProblem(MessagePumpProblem problem);

// The waiting part of a message loop: runs the loop's work in turns with what the thread
// waits for (nothing, window messages or I/O completions) and sleeps when there is none.
class MessagePump {
 public:
  // The message loop, as the pump sees it.
  class Delegate {
   public:
    // Runs at most one task that is due now. True when there may be more.
    virtual bool DoWork() = 0;
    // Runs at most one delayed task whose time has come. Sets |next_delayed_work_time| to
    // the time of the next delayed task, or null when there is none. True when there may
    // be more to do now.
    virtual bool DoDelayedWork(TimeTicks* next_delayed_work_time) = 0;
    // Called when there is nothing to do now. True when there may be more to do now.
    virtual bool DoIdleWork() = 0;

   protected:
    virtual ~Delegate() = default;
  };

  MessagePump() = default;
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;
  virtual ~MessagePump() = default;

  // Runs until Quit is called for this run. Runs may nest; |dispatcher| (may be null) is
  // the message dispatcher of this run, used by pumps that take window messages.
  //
  // Each pass takes one item of what the thread waits for (ProcessNextNativeItem), a
  // bounded batch of tasks and one due delayed task, so that a flood of any one kind never
  // starves the others; with nothing to do the pump waits (WaitForWork).
  void Run(Delegate* delegate, MessageDispatcher* dispatcher);

  // Ends the innermost run once the work under way returns. Called on the pump's thread.
  void Quit();

  // Wakes the pump to call DoWork. Called from any thread.
  virtual void ScheduleWork() = 0;

  // The next delayed task is due at |delayed_work_time|. Called on the pump's thread,
  // between waits: the next wait ends by then.
  virtual void ScheduleDelayedWork(TimeTicks delayed_work_time);

 protected:
  struct RunState {
    Delegate* delegate;
    MessageDispatcher* dispatcher;
    bool should_quit;
    int run_depth;  // 1 for the outermost run.
  };

  // The most tasks, and the longest time, of one batch of tasks between two looks at what
  // else the thread waits for. Looking at the system's queues costs a system call, which
  // should not be paid for each small task; bounding the batch keeps them from starving.
  static constexpr int kMaxTasksPerBatch = 256;
  static constexpr TimeDelta kMaxBatchTime = TimeDelta::FromMilliseconds(2);

  // Handles one window message or I/O completion, if one is there. True when it did.
  virtual bool ProcessNextNativeItem() { return false; }

  // Sleeps until ScheduleWork, a native item or |delayed_work_time_|.
  virtual void WaitForWork() = 0;

  // The innermost run; null outside Run.
  RunState* state_ = nullptr;
  // When the next delayed task is due; null when none is pending.
  TimeTicks delayed_work_time_;

 private:
  // Runs tasks until there is none left, the run is quit or the batch is full. True when
  // there may be more tasks.
  bool RunTaskBatch();
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
