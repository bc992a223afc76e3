#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASHED_CHILD_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASHED_CHILD_H_

#include <windows.h>
#include <stdint.h>

#include "base/process/process.h"
#include "base/win/scoped_handle.h"

namespace crash_reporter {
namespace test {

// What a crashed child publishes about itself; addresses lie in the child.
struct CrashedChildInfo {
  uint64_t exception_pointers_address;  // Holds the crash's EXCEPTION_POINTERS*.
  uint64_t thread_id_address;           // Holds the crashed thread's id.
  uint64_t record_address;              // A filled ClientExceptionRecord.
  uint64_t marker_address;              // kChildMarker, on the child's heap.
  uint64_t crash_address;               // The address the crash wrote to.
  uint32_t crashed_thread_id;
  uint32_t waiting_thread_id;           // A second thread, blocked in a wait.
};

// Text that the child keeps on its heap, for memory reads.
inline constexpr char kChildMarker[] = "crashed child marker: the reporter reads this";

// A child test process that crashed (an access violation on its main thread), held still
// with the test attached as its debugger, the way the crash reporter holds a client. The
// child is ended when this object goes away.
class CrashedChild {
 public:
  CrashedChild();
  CrashedChild(const CrashedChild&) = delete;
  CrashedChild& operator=(const CrashedChild&) = delete;
  ~CrashedChild();

  // Runs |child_test| (a disabled test that calls RunCrashingChild), waits at most 30 s
  // for it to crash and attaches to it. False (with a test failure) otherwise.
  bool Start(const char* child_test);

  DWORD pid() const { return process_.Pid(); }
  const CrashedChildInfo& info() const { return info_; }

 private:
  base::Process process_;
  base::win::ScopedHandle mapping_;
  CrashedChildInfo info_ = {};
  bool attached_ = false;
};

// The child side: starts the waiting thread, then crashes. The crash filter records the
// crash, publishes it and blocks forever.
void RunCrashingChild();

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASHED_CHILD_H_
