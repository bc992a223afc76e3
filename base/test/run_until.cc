#include "base/test/run_until.h"

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"

namespace base {
namespace test {

namespace {

// Long enough not to spin, short enough not to slow a test down.
constexpr TimeDelta kTurn = TimeDelta::FromMilliseconds(5);

}  // namespace

bool RunUntil(const std::function<bool()>& condition, TimeDelta timeout) {
  const TimeTicks deadline = TimeTicks::Now() + timeout;
  while (!condition()) {
    if (TimeTicks::Now() > deadline)
      return false;
    RunLoop run_loop;
    MessageLoop::Current()->task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                                           kTurn);
    run_loop.Run();
  }
  return true;
}

}  // namespace test
}  // namespace base
