#include "base/test/run_loop_watchdog.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "gtest/gtest.h"

namespace base {
namespace test {

RunLoopWatchdog::RunLoopWatchdog(RunLoop* run_loop, TimeDelta timeout) : run_loop_(run_loop) {
  MessageLoop::Current()->task_runner()->PostDelayedTask(
      FROM_HERE, BindMethod(&RunLoopWatchdog::Fire, weak_factory_.GetWeakPtr()), timeout);
}

void RunLoopWatchdog::Fire() {
  ADD_FAILURE() << "the run loop still ran after its deadline";
  run_loop_->Quit();
}

}  // namespace test
}  // namespace base
