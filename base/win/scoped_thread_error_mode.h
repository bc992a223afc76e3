#ifndef BASE_WIN_SCOPED_THREAD_ERROR_MODE_H_
#define BASE_WIN_SCOPED_THREAD_ERROR_MODE_H_

#include <windows.h>

#include "base/logging.h"

namespace base {
namespace win {

// Keeps the system from asking the user to insert a disk (or from reporting a drive that
// does not answer) in a message box while the calling thread probes drives and paths; the
// call fails with an error code instead. The thread's previous mode is put back at the end.
class ScopedFailCriticalErrors {
 public:
  ScopedFailCriticalErrors() {
    if (::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_))
      changed_ = true;
    else
      PLOG(WARNING) << "SetThreadErrorMode failed";
  }
  ~ScopedFailCriticalErrors() {
    if (changed_)
      ::SetThreadErrorMode(previous_, nullptr);
  }
  ScopedFailCriticalErrors(const ScopedFailCriticalErrors&) = delete;
  ScopedFailCriticalErrors& operator=(const ScopedFailCriticalErrors&) = delete;

 private:
  DWORD previous_ = 0;
  bool changed_ = false;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_THREAD_ERROR_MODE_H_
