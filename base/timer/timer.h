#ifndef BASE_TIMER_TIMER_H_
#define BASE_TIMER_TIMER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/single_thread_task_runner.h"
#include "base/time/time.h"

namespace base {

// Runs a task later on the current thread's task runner, once (OneShotTimer) or at a fixed
// period (Timer). Use a timer on one thread, which must have a MessageLoop. Stopping or
// destroying it abandons the task it had scheduled; the task may stop, restart or destroy
// its own timer.
class TimerBase {
 public:
  TimerBase(const TimerBase&) = delete;
  TimerBase& operator=(const TimerBase&) = delete;

  // Runs |task| once |delay| has passed (and then at that period for a repeating timer),
  // replacing what the timer did before.
  void Start(const Location& posted_from, TimeDelta delay, Closure task);

  // Abandons the scheduled run; the task is kept for Reset.
  void Stop();

  // Restarts the delay from now with the same task (also after Stop).
  void Reset();

  bool IsRunning() const { return is_running_; }
  TimeDelta delay() const { return delay_; }

 protected:
  explicit TimerBase(bool is_repeating);
  ~TimerBase();

 private:
  void Schedule(TimeDelta delay);
  void OnScheduledTaskRun();

  const bool is_repeating_;
  Location posted_from_;
  TimeDelta delay_;
  Closure user_task_;
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
  // When the scheduled run is due; the next period counts from it, so that a repeating
  // timer does not drift.
  TimeTicks desired_run_time_;
  bool is_running_ = false;
  // Invalidated to abandon the scheduled task.
  WeakPtrFactory<TimerBase> weak_factory_{this};
};

// Runs its task once.
class OneShotTimer : public TimerBase {
 public:
  OneShotTimer() : TimerBase(false) {}
};

// Runs its task at a fixed period until stopped.
class Timer : public TimerBase {
 public:
  Timer() : TimerBase(true) {}

  TimeDelta period() const { return delay(); }
};

}  // namespace base

#endif  // BASE_TIMER_TIMER_H_
