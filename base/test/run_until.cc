#include "base/test/run_until.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/timer/timer.h"

namespace base {
namespace test {

bool RunUntil(const std::function<bool()>& condition, TimeDelta deadline) {
  if (condition())
    return true;
  const TimeTicks end = TimeTicks::Now() + deadline;
  RunLoop run_loop;
  Timer poll;
  poll.Start(FROM_HERE, TimeDelta::FromMilliseconds(10), BindLambda([&] {
               if (condition() || TimeTicks::Now() >= end)
                 run_loop.Quit();
             }));
  run_loop.Run();
  return condition();
}

}  // namespace test
}  // namespace base
