#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_GRANTED_ACCESS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_GRANTED_ACCESS_H_

#include <windows.h>

namespace crash_reporter {
namespace test {

// The access rights |handle| was opened or duplicated with; 0 when the system cannot tell.
ACCESS_MASK GetGrantedAccess(HANDLE handle);

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_GRANTED_ACCESS_H_
