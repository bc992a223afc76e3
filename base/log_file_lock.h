#ifndef BASE_LOG_FILE_LOCK_H_
#define BASE_LOG_FILE_LOCK_H_

#include <windows.h>

#include <memory>
#include <string>

#include "base/win/scoped_handle.h"
#include "base/win/scoped_map_view.h"

namespace logging {

// Lines up the processes that append to one log file, so that no two write at once: one
// word in a shared section named after the file holds the id of the process writing, 0 when
// none. Taking and giving it back is an interlocked exchange in memory shared by the
// processes, costing no call into the system unless another process holds it (a named mutex
// cost two for every line, two round trips to Wine's server, as many as the copy of a small
// file does). Under Wine a write through an append-only handle is a look at the file's size
// and a write there, not one atomic append, so the lock is what keeps lines whole.
//
// Threads of one process must not use the lock at the same time (it knows processes only):
// the logging takes it under its own lock.
class LogFileLock {
 public:
  // How long a writer waits at most for another process's line. A process ended while it held
  // the lock is found out and the lock taken over long before; this bound is for an id the
  // system gave to a new process meanwhile, a writer stopped in a debugger or a process that
  // holds the word on purpose: logging never hangs on them. The caller never writes to the
  // shared file without the lock (under Wine lines would be torn and lost): it puts the line
  // elsewhere. While the holder that outlasted a wait still holds the word, later lines do
  // not wait for it again, so that a held word cannot slow every line; as soon as the word is
  // taken again (the holder let go, or ended), waiting is as before.
  static constexpr DWORD kMaxWaitMs = 3000;

  // The lock of |log_file| (a full path; its spellings agree without regard to ASCII case);
  // null when no section can be made for it.
  static std::unique_ptr<LogFileLock> Create(const std::wstring& log_file);

  LogFileLock(const LogFileLock&) = delete;
  LogFileLock& operator=(const LogFileLock&) = delete;
  ~LogFileLock();

  // Takes the lock, waiting while another process holds it. False when it was not taken
  // (see kMaxWaitMs): the caller must then not write to the file; Release is not called.
  bool Acquire();
  void Release();

 private:
  LogFileLock(base::win::ScopedHandle section, base::win::ScopedMapViewTyped<void> view);

  // The word, in the section's view.
  volatile LONG* holder() const;

  base::win::ScopedHandle section_;
  base::win::ScopedMapViewTyped<void> view_;
  const LONG process_id_;
  // The process that held the word through a whole wait, 0 when the last Acquire took it.
  LONG stalled_holder_ = 0;
};

}  // namespace logging

#endif  // BASE_LOG_FILE_LOCK_H_
