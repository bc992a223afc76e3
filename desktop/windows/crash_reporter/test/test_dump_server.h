#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_TEST_DUMP_SERVER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_TEST_DUMP_SERVER_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/synchronization/lock.h"
#include "base/synchronization/wait_event.h"
#include "desktop/windows/crash_reporter/crash_dump_server.h"

namespace crash_reporter {
namespace test {

// What the server handed to the dump callback for one request.
struct DumpRequest {
  DWORD pid = 0;
  std::vector<CustomInfoEntry> entries;
  std::wstring dump_path;  // Empty when no dump was written.
  // Whether the request's event was reset by the time the callback ran (before the client
  // is told that its dump is done).
  bool request_event_reset = false;
  // The access the server holds the client process with.
  ACCESS_MASK process_access = 0;

  // The value of the first entry named |name|; empty when there is none.
  std::wstring FindValue(const wchar_t* name) const;
};

// A CrashDumpServer on a pipe of this process that records what its callbacks see. By
// default it listens where a client that names this process as its reporter connects.
class TestDumpServer {
 public:
  // Dumps go into |dump_folder| when it is not empty.
  explicit TestDumpServer(const std::wstring& dump_folder,
                          const std::wstring& pipe_name = std::wstring());
  TestDumpServer(const TestDumpServer&) = delete;
  TestDumpServer& operator=(const TestDumpServer&) = delete;
  ~TestDumpServer();

  // Before Start: see CrashDumpServer::SetLimitsForTesting and SetStartHookForTesting.
  void SetLimits(size_t pipe_instances, size_t max_clients);
  void SetStartHook(void (*hook)(const std::wstring& pipe_name));

  bool Start();
  const std::wstring& pipe_name() const { return pipe_name_; }

  // Wait at most |timeout_ms| until that many callbacks of the kind arrived.
  bool WaitForConnections(size_t count, DWORD timeout_ms);
  bool WaitForDumpRequests(size_t count, DWORD timeout_ms);
  bool WaitForExits(size_t count, DWORD timeout_ms);

  std::vector<DWORD> connected_pids();
  std::vector<DumpRequest> dump_requests();
  std::vector<DWORD> exited_pids();
  std::vector<DWORD> upload_pids();

 private:
  static void OnConnect(void* context, CrashClientRecord* client);
  static void OnDump(void* context, CrashClientRecord* client, const std::wstring* dump_path);
  static void OnExit(void* context, CrashClientRecord* client);
  static void OnUpload(void* context, DWORD pid);
  bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms);
  void Changed();

  const std::wstring pipe_name_;
  const std::wstring dump_folder_;
  size_t pipe_instances_ = CrashDumpServer::kPipeInstances;
  size_t max_clients_ = CrashDumpServer::kMaxClients;
  void (*start_hook_)(const std::wstring& pipe_name) = nullptr;
  base::Lock lock_;
  base::WaitEvent changed_;
  std::vector<DWORD> connected_pids_;
  std::vector<DumpRequest> dump_requests_;
  std::vector<DWORD> exited_pids_;
  std::vector<DWORD> upload_pids_;
  std::unique_ptr<CrashDumpServer> server_;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_TEST_DUMP_SERVER_H_
