#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_TEXT_LOG_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_TEXT_LOG_H_

#include <windows.h>
#include <stdint.h>

#include "base/files/file_path.h"

namespace crash_reporter {

class CrashClientRecord;

// Attaches the calling thread to a process as its debugger for the life of this object, so
// that the process's threads stand still while its state is read; detaches when destroyed.
// Failures are logged; without the attachment the state is read all the same. Create and
// destroy it on one thread.
class DebuggerAttachment {
 public:
  explicit DebuggerAttachment(DWORD pid);
  DebuggerAttachment(const DebuggerAttachment&) = delete;
  DebuggerAttachment& operator=(const DebuggerAttachment&) = delete;
  ~DebuggerAttachment();

  bool attached() const { return pid_ != 0; }

 private:
  DWORD pid_ = 0;  // 0 when not attached.
};

// Writes the text crash log of a crashed client of the dump server to |path|, with the
// metadata of its crash keys and memory counters; its "modules" key stands in for the
// module list when the system lists none. False (logged) when the client's state cannot be
// read or the log cannot be written whole.
bool WriteTextCrashLogForClient(const CrashClientRecord& client, const base::FilePath& path);

// The same for a crashed crash reporter |pid| whose ClientExceptionRecord lies at
// |record_address| in it.
bool WriteTextCrashLogFromRecord(DWORD pid, uint64_t record_address, const base::FilePath& path);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_TEXT_LOG_H_
