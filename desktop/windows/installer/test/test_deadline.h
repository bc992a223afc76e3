#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TEST_DEADLINE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TEST_DEADLINE_H_

#include "base/threading/os_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

// Ends the test program when the test that made it is still running after |limit|, naming
// the test: a test that waits for ever on something (a process, a socket) would otherwise
// hold up the whole program until the runner's own time-out, saying nothing of where.
// Each wait of a test has a deadline of its own; this is the last line, for the waits that
// are not the test's (set-up, tear-down, the servers and folders it owns).
class TestDeadline : public base::OsThread::Delegate {
 public:
  explicit TestDeadline(base::TimeDelta limit);
  TestDeadline(const TestDeadline&) = delete;
  TestDeadline& operator=(const TestDeadline&) = delete;
  ~TestDeadline() override;

 private:
  void ThreadMain() override;

  const base::TimeDelta limit_;
  base::win::ScopedHandle finished_;
  base::win::ScopedHandle thread_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TEST_DEADLINE_H_
