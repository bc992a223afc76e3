#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_RECORD_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_RECORD_H_

#include <windows.h>
#include <dbghelp.h>
#include <stdint.h>

#include <atomic>
#include <memory>

#include "base/memory/ref_counted.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/thread_pool_wait.h"

namespace crash_reporter {

class CrashDumpServer;

// A client process registered with the dump server: what its registration request said
// (every address lies in the client) and what the server holds for it. Shared by the
// server's client list and the dump requests in progress; the last reference deletes it.
class CrashClientRecord : public base::RefCountedThreadSafe<CrashClientRecord> {
 public:
  // More custom entries than this are not copied.
  static constexpr uint64_t kMaxCustomInfoCount = 4096;

  CrashClientRecord(CrashDumpServer* server, const ProtocolMessage& request);
  CrashClientRecord(const CrashClientRecord&) = delete;
  CrashClientRecord& operator=(const CrashClientRecord&) = delete;

  // Opens the client with the access a dump needs and makes the two events; false, with an
  // error logged, when any of that fails.
  bool Initialize();

  CrashDumpServer* server() const { return server_; }
  DWORD pid() const { return pid_; }
  MINIDUMP_TYPE dump_type() const { return dump_type_; }
  uint64_t exception_pointers_address() const { return exception_pointers_address_; }
  uint64_t assertion_address() const { return assertion_address_; }
  uint64_t thread_id_address() const { return thread_id_address_; }
  // Open for SYNCHRONIZE, PROCESS_QUERY_INFORMATION, PROCESS_VM_READ and PROCESS_DUP_HANDLE.
  HANDLE process_handle() const { return process_.Get(); }
  HANDLE dump_requested_event() const { return dump_requested_event_.Get(); }
  HANDLE dump_generated_event() const { return dump_generated_event_.Get(); }

  // Copies the client's custom entries out of its memory, every name and value cut to
  // fit, and adds an entry "ptime": the milliseconds since the client started (an entry of
  // that name from the client keeps its value but loses its name). False, with
  // nothing kept, when the client announced too many entries or they cannot all be read.
  bool PopulateCustomInfo();
  // The copy made by PopulateCustomInfo ({null, 0} without one). Valid until the next copy;
  // use it on the thread that handles the client's dump request.
  CustomClientInfo GetCustomInfo() const;

 private:
  friend class base::RefCountedThreadSafe<CrashClientRecord>;
  friend class CrashDumpServer;
  ~CrashClientRecord();

  CrashDumpServer* const server_;
  const DWORD pid_;
  const MINIDUMP_TYPE dump_type_;
  const uint64_t exception_pointers_address_;
  const uint64_t assertion_address_;
  const uint64_t custom_info_address_;
  const uint64_t custom_info_count_;
  const uint64_t thread_id_address_;
  std::unique_ptr<CustomInfoEntry[]> custom_entries_;
  size_t custom_entry_count_ = 0;
  base::win::ScopedHandle process_;
  base::win::ScopedHandle dump_requested_event_;
  base::win::ScopedHandle dump_generated_event_;
  // Registered and ended by the server.
  ThreadPoolWait dump_request_wait_;
  ThreadPoolWait process_end_wait_;
  // Set while one dump request of this client is being handled.
  std::atomic<bool> dump_in_progress_{false};
  // Dump requests of this record taken on; under the server's lock.
  int dump_requests_handled_ = 0;
  // The registration time, replaced by the process creation time when known.
  FILETIME start_time_ = {};
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_RECORD_H_
