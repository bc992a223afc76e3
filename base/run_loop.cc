#include "base/run_loop.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/metrics/task_profiler.h"

namespace base {

RunLoop::RunLoop() : RunLoop(nullptr) {}

RunLoop::RunLoop(MessageDispatcher* dispatcher)
    : loop_(MessageLoop::Current()),
      origin_task_runner_(loop_ ? loop_->task_runner() : nullptr),
      dispatcher_(dispatcher) {
  CHECK(loop_) << "A RunLoop needs a MessageLoop on its thread";
  weak_self_ = weak_factory_.GetWeakPtr();
}

RunLoop::~RunLoop() {
  DCHECK(!running_);
}

void RunLoop::Run() {
  if (!BeforeRun())
    return;
  TaskStopwatch stopwatch;
  stopwatch.Start();
  loop_->RunHandler();
  stopwatch.Stop();
  AfterRun();
}

void RunLoop::Quit() {
  if (!origin_task_runner_->RunsTasksOnCurrentThread()) {
    origin_task_runner_->PostTask(FROM_HERE, BindMethod(&RunLoop::Quit, weak_self_));
    return;
  }
  quit_called_ = true;
  // An outer run ends when the runs nested in it have ended (AfterRun).
  if (running_ && loop_->run_loop_ == this)
    loop_->QuitNow();
}

void RunLoop::QuitWhenIdle() {
  DCHECK(origin_task_runner_->RunsTasksOnCurrentThread());
  quit_when_idle_received_ = true;
}

Closure RunLoop::QuitClosure() {
  return BindLambda([task_runner = origin_task_runner_, weak_self = weak_self_]() {
    if (!task_runner->RunsTasksOnCurrentThread()) {
      // The weak pointer is only tested on the loop's thread.
      task_runner->PostTask(FROM_HERE, BindMethod(&RunLoop::Quit, weak_self));
      return;
    }
    if (RunLoop* run_loop = weak_self.get())
      run_loop->Quit();
  });
}

bool RunLoop::BeforeRun() {
  CHECK(MessageLoop::Current() == loop_) << "A RunLoop runs on the thread that made it";
  DCHECK(!run_called_) << "RunLoop::Run called twice";
  run_called_ = true;
  if (quit_called_)
    return false;
  previous_run_loop_ = loop_->run_loop_;
  run_depth_ = previous_run_loop_ ? previous_run_loop_->run_depth_ + 1 : 1;
  loop_->run_loop_ = this;
  // A run inside a task runs tasks: the task asked for it.
  saved_nestable_tasks_allowed_ = loop_->nestable_tasks_allowed_;
  loop_->nestable_tasks_allowed_ = true;
  running_ = true;
  return true;
}

void RunLoop::AfterRun() {
  running_ = false;
  loop_->run_loop_ = previous_run_loop_;
  loop_->nestable_tasks_allowed_ = saved_nestable_tasks_allowed_;
  // An outer run that was quit meanwhile ends now.
  if (previous_run_loop_ && previous_run_loop_->quit_called_)
    loop_->QuitNow();
}

}  // namespace base
