#include "base/message_loop/message_pump.h"

#include "base/logging.h"
#include "base/metrics/histogram.h"

namespace base {

void MessagePump::Run(Delegate* delegate, MessageDispatcher* dispatcher) {
  RunState state = {delegate, dispatcher, false, state_ ? state_->run_depth + 1 : 1};
  RunState* const previous_state = state_;
  state_ = &state;
  for (;;) {
    bool more_work_is_plausible = ProcessNextNativeItem();
    if (state.should_quit)
      break;
    more_work_is_plausible |= RunTaskBatch();
    if (state.should_quit)
      break;
    more_work_is_plausible |= delegate->DoDelayedWork(&delayed_work_time_);
    if (state.should_quit)
      break;
    if (more_work_is_plausible)
      continue;
    more_work_is_plausible = delegate->DoIdleWork();
    if (state.should_quit)
      break;
    if (more_work_is_plausible)
      continue;
    WaitForWork();
  }
  state_ = previous_state;
}

void MessagePump::Quit() {
  DCHECK(state_);
  if (state_)
    state_->should_quit = true;
}

void MessagePump::ScheduleDelayedWork(TimeTicks delayed_work_time) {
  delayed_work_time_ = delayed_work_time;
}

bool MessagePump::RunTaskBatch() {
  const TimeTicks start = TimeTicks::Now();
  for (int i = 0; i < kMaxTasksPerBatch; ++i) {
    if (!state_->delegate->DoWork())
      return false;
    if (state_->should_quit || TimeTicks::Now() - start >= kMaxBatchTime)
      break;
  }
  return true;
}

void RecordMessagePumpProblem(MessagePumpProblem problem) {
  static HistogramBase* const histogram = LinearHistogram::FactoryGet(
      "Pellux.MessageLoopProblem", MESSAGE_PUMP_PROBLEM_MAX, MESSAGE_PUMP_PROBLEM_MAX + 1);
  histogram->Add(problem);
}

}  // namespace base
