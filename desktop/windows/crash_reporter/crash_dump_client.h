#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_CLIENT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_CLIENT_H_

#include <windows.h>
#include <dbghelp.h>

#include <string>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"

namespace crash_reporter {

// The client end of the crash pipe. Register() introduces this process to the crash
// reporter's dump server, which keeps the addresses of this object's crash fields and hands
// back three handles; RequestDump() later fills those fields and has the server write a dump
// while the crashing thread waits.
//
// The object must stay at its address while registered (the server reads its fields out of
// this process's memory). RequestDump neither allocates nor logs, so it is safe on a
// crashing thread. Not thread-safe: the crash handler serialises its callers.
class CrashDumpClient {
 public:
  // |server_pid| is the process that must serve |pipe_name|: the reporter this process
  // knows by a handle it holds, so that the id names no other process meanwhile. Any
  // process may make a pipe of that name first; one served by another process is not
  // written to. |custom_info| (may be null) must outlive the registration: the server reads
  // the entries when a dump is requested.
  CrashDumpClient(const std::wstring& pipe_name,
                  DWORD server_pid,
                  MINIDUMP_TYPE dump_type,
                  const CustomClientInfo* custom_info);
  CrashDumpClient(const CrashDumpClient&) = delete;
  CrashDumpClient& operator=(const CrashDumpClient&) = delete;
  ~CrashDumpClient();

  // Registers with the server once; true when registered (also when it already was).
  bool Register();
  bool IsRegistered() const;

  // Asks the server for a dump of the calling thread's crash and waits at most 15 s for it;
  // true only when the server reports the dump done. False at once when not registered; a
  // server that ends meanwhile ends the wait at once.
  bool RequestDump(EXCEPTION_POINTERS* exception_pointers, const AssertionInfo* assertion);

  DWORD server_process_id() const { return server_process_id_; }

 private:
  // An open pipe in message read mode, served by |expected_server_pid_|; invalid when that
  // server cannot be reached.
  base::win::ScopedHandle Connect();

  const std::wstring pipe_name_;
  const DWORD expected_server_pid_;
  const CustomClientInfo custom_info_;
  const MINIDUMP_TYPE dump_type_;
  base::win::ScopedHandle dump_requested_event_;
  base::win::ScopedHandle dump_generated_event_;
  base::win::ScopedHandle server_alive_;
  DWORD server_process_id_ = 0;

  // Read by the server out of this process when a dump is requested.
  DWORD crashing_thread_id_ = 0;
  EXCEPTION_POINTERS* exception_pointers_ = nullptr;
  AssertionInfo assertion_ = {};
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_CLIENT_H_
