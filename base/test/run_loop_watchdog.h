#ifndef BASE_TEST_RUN_LOOP_WATCHDOG_H_
#define BASE_TEST_RUN_LOOP_WATCHDOG_H_

#include "base/memory/weak_ptr.h"
#include "base/time/time.h"

namespace base {

class RunLoop;

namespace test {

// Fails the running test and quits |run_loop| when it still runs |timeout| after the
// watchdog was made, so that a regression fails instead of hanging. Made on the run loop's
// thread, which has a MessageLoop; going out of scope disarms it.
class RunLoopWatchdog {
 public:
  static constexpr TimeDelta kDefaultTimeout = TimeDelta::FromSeconds(10);

  explicit RunLoopWatchdog(RunLoop* run_loop, TimeDelta timeout = kDefaultTimeout);
  RunLoopWatchdog(const RunLoopWatchdog&) = delete;
  RunLoopWatchdog& operator=(const RunLoopWatchdog&) = delete;

 private:
  void Fire();

  RunLoop* const run_loop_;
  WeakPtrFactory<RunLoopWatchdog> weak_factory_{this};
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_RUN_LOOP_WATCHDOG_H_
