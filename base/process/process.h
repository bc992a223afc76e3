#ifndef BASE_PROCESS_PROCESS_H_
#define BASE_PROCESS_PROCESS_H_

#include <windows.h>

#include <stdint.h>

#include "base/win/scoped_handle.h"

namespace base {

// Owns the handle of a process (not the process itself: destroying a Process neither waits
// for nor ends it).
class Process {
 public:
  Process() = default;
  // Takes ownership of |handle|.
  explicit Process(HANDLE handle);
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  // Opens the process |pid| with |access|; invalid when it cannot be opened.
  static Process Open(DWORD pid, DWORD access = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);

  bool IsValid() const { return process_.IsValid(); }
  HANDLE Handle() const { return process_.Get(); }
  // The process id; 0 for an invalid Process.
  DWORD Pid() const;

  // Waits without a time limit for the process to end; its exit code goes to |exit_code|
  // (may be null). False when the wait fails.
  bool WaitForExit(DWORD* exit_code) const;
  // The same with a time limit in milliseconds; false when the process is still running
  // when it passes.
  bool WaitForExitWithTimeout(DWORD milliseconds, DWORD* exit_code) const;

  // Ends the process with |exit_code|; true also when it had already ended. Does not wait.
  bool Terminate(DWORD exit_code) const;

  // Closes the handle; the Process becomes invalid.
  void Close();

 private:
  win::ScopedHandle process_;
  DWORD pid_ = 0;
};

// When |process| (a handle with PROCESS_QUERY_LIMITED_INFORMATION access) started, as the
// 100-nanosecond count of a FILETIME. False, with the last error set, when it cannot be read.
bool GetProcessCreationTime(HANDLE process, uint64_t* creation_time);

// Whether the process |pid| that started at |creation_time| still runs: an id alone may name
// a later process. A |creation_time| of 0 asks only whether some process |pid| runs. A
// process that may not be examined counts as running (logged), so that nothing of a live
// process is taken for a dead one's.
bool IsProcessRunning(DWORD pid, uint64_t creation_time);

}  // namespace base

#endif  // BASE_PROCESS_PROCESS_H_
