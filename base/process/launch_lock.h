#ifndef BASE_PROCESS_LAUNCH_LOCK_H_
#define BASE_PROCESS_LAUNCH_LOCK_H_

#include <windows.h>

#include <atomic>

#include "base/synchronization/lock.h"

namespace base {

// The process-wide lock held while inheritable handles exist and a child process is started,
// so that the inheritable handles made for one child do not leak into another.
//
// It is re-entrant on its owning thread: code that creates inheritable handles holds it
// around LaunchProcess or GetAppOutput, which take it again themselves.
class LaunchLock {
 public:
  constexpr LaunchLock() = default;
  LaunchLock(const LaunchLock&) = delete;
  LaunchLock& operator=(const LaunchLock&) = delete;

  void Acquire();
  void Release();

 private:
  Lock lock_;
  std::atomic<DWORD> owner_thread_{0};
  int depth_ = 0;  // Only the owning thread touches it.
};

// Holds a LaunchLock for the rest of its scope.
class AutoLaunchLock {
 public:
  explicit AutoLaunchLock(LaunchLock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLaunchLock() { lock_.Release(); }
  AutoLaunchLock(const AutoLaunchLock&) = delete;
  AutoLaunchLock& operator=(const AutoLaunchLock&) = delete;

 private:
  LaunchLock& lock_;
};

// The process's launch lock.
LaunchLock& GetLaunchLock();

}  // namespace base

#endif  // BASE_PROCESS_LAUNCH_LOCK_H_
