#include "base/timer/timer.h"

#include <utility>

#include "base/bind.h"
#include "base/logging.h"
#include "base/threading/current_thread_task_runner.h"

namespace base {

TimerBase::TimerBase(bool is_repeating) : is_repeating_(is_repeating) {}

TimerBase::~TimerBase() {
  // The factory, destroyed now, abandons the scheduled task.
  Stop();
}

void TimerBase::Start(const Location& posted_from, TimeDelta delay, Closure task) {
  DCHECK(task);
  posted_from_ = posted_from;
  delay_ = delay;
  user_task_ = std::move(task);
  Reset();
}

void TimerBase::Stop() {
  is_running_ = false;
  weak_factory_.InvalidateWeakPtrs();
}

void TimerBase::Reset() {
  if (!user_task_)
    return;
  task_runner_ = CurrentThreadTaskRunner::Get();
  CHECK(task_runner_) << "A timer needs a MessageLoop on its thread";
  weak_factory_.InvalidateWeakPtrs();
  desired_run_time_ = TimeTicks::Now() + delay_;
  Schedule(delay_);
}

void TimerBase::Schedule(TimeDelta delay) {
  is_running_ = true;
  task_runner_->PostDelayedTask(posted_from_,
                                BindMethod(&TimerBase::OnScheduledTaskRun,
                                           weak_factory_.GetWeakPtr()),
                                delay);
}

void TimerBase::OnScheduledTaskRun() {
  if (is_repeating_) {
    // The next run is scheduled before this one, so that the task can stop the timer.
    const TimeTicks now = TimeTicks::Now();
    desired_run_time_ = desired_run_time_ + delay_;
    // Fallen behind (a long task, a busy loop): no burst of runs to catch up.
    if (desired_run_time_ < now)
      desired_run_time_ = now + delay_;
    Schedule(desired_run_time_ - now);
  } else {
    is_running_ = false;
  }
  // Runs a handle of its own: the task may restart or destroy this timer.
  Closure task = user_task_;
  task.Run();
}

}  // namespace base
