#ifndef BASE_TEST_RUN_UNTIL_H_
#define BASE_TEST_RUN_UNTIL_H_

#include <functional>

#include "base/time/time.h"

namespace base {
namespace test {

// Runs the current thread's MessageLoop until |condition| holds (tested every 10 ms), but no
// longer than |deadline|. Returns the last value of |condition|.
bool RunUntil(const std::function<bool()>& condition,
              TimeDelta deadline = TimeDelta::FromSeconds(30));

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_RUN_UNTIL_H_
