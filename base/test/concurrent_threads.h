#ifndef BASE_TEST_CONCURRENT_THREADS_H_
#define BASE_TEST_CONCURRENT_THREADS_H_

#include <functional>

#include "base/time/time.h"

namespace base {
namespace test {

// Runs |body|(i) for i in [0, count) on |count| new threads (at most 64), released together
// so that they really overlap, and waits for all of them. A thread still running after
// |timeout| ends the test program with a fatal error, so a hang fails instead of waiting
// for ever. False when the threads could not be started.
bool RunConcurrently(int count, const std::function<void(int)>& body, TimeDelta timeout);

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_CONCURRENT_THREADS_H_
