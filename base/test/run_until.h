#ifndef BASE_TEST_RUN_UNTIL_H_
#define BASE_TEST_RUN_UNTIL_H_

#include <functional>

#include "base/time/time.h"

namespace base {
namespace test {

// Runs the current thread's MessageLoop in short turns until |condition| holds, at most
// |timeout|; false when it did not come true in time.
bool RunUntil(const std::function<bool()>& condition,
              TimeDelta timeout = TimeDelta::FromSeconds(20));

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_RUN_UNTIL_H_
