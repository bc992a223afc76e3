#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_SERVER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_SERVER_H_

#include <windows.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/memory/ref_counted.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_client_record.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/thread_pool_wait.h"

namespace crash_reporter {

// The crash reporter's end of the crash pipe. It registers client processes that connect
// to its named pipe, watches each client's dump requests and its end, and hands every dump
// request to the dump callback, after writing the dump itself when asked to.
//
// All work runs on system thread-pool threads: each pipe instance in the wait thread of its
// overlapped event, each dump request on a worker thread of its own (several clients are
// served at once, one request per client at a time), client ends on worker threads.
// Callbacks may run concurrently and must not destroy the server.
//
// Clients are not trusted, and any local process may connect (the pipe is open to low
// integrity; remote clients are refused). A registration must come from the process it
// names, a message must be exactly one protocol message, and a connection that stalls in
// the middle of a registration is dropped after a time-out. Several pipe instances serve
// at once and a process holds at most one of them (its newest connection), so one stalling
// client cannot keep the others out. A process has one record (registering again replaces
// it) and the records are bounded in number, so that a flood of registrations cannot grow
// the server without end.
class CrashDumpServer {
 public:
  using ConnectCallback = void (*)(void* context, CrashClientRecord* client);
  // |dump_path| is null when no dump was written.
  using DumpCallback = void (*)(void* context,
                                CrashClientRecord* client,
                                const std::wstring* dump_path);
  using ExitCallback = void (*)(void* context, CrashClientRecord* client);
  using UploadCallback = void (*)(void* context, DWORD client_process_id);

  // How long a connected client may take for each message of a registration.
  static constexpr DWORD kIoTimeoutMs = 1000;
  // Pipe instances that accept clients at the same time.
  static constexpr size_t kPipeInstances = 4;
  // Registered clients at most: the processes of an installation, with room to spare.
  static constexpr size_t kMaxClients = 32;
  // Dump requests handled per client record and over the server's life. A crash ends the
  // client, so one request is the rule; the bounds keep a client that signals in a loop
  // from queuing uploads and filling the disk and the log. A process registering again
  // gets a new record, hence the bound over all.
  static constexpr int kMaxDumpRequestsPerClient = 4;
  static constexpr int kMaxDumpRequests = 32;

  // |security_attributes| (may be null) must stay valid until Start returns. With
  // |generate_dumps| the server writes each dump into |dump_folder|.
  CrashDumpServer(const std::wstring& pipe_name,
                  SECURITY_ATTRIBUTES* security_attributes,
                  ConnectCallback connect_callback,
                  void* connect_context,
                  DumpCallback dump_callback,
                  void* dump_context,
                  ExitCallback exit_callback,
                  void* exit_context,
                  UploadCallback upload_callback,
                  void* upload_context,
                  bool generate_dumps,
                  const std::wstring* dump_folder);
  CrashDumpServer(const CrashDumpServer&) = delete;
  CrashDumpServer& operator=(const CrashDumpServer&) = delete;
  // Stops serving, waits for the requests in progress and lets go of every client.
  ~CrashDumpServer();

  // Creates the pipe and starts serving; false, with an error logged, when that fails or
  // the server was started before. Clients watch the server through a mutex that the
  // calling thread owns: call it on a thread that lives as long as the server.
  bool Start();

  // Replace kPipeInstances and kMaxClients; before Start.
  void SetLimitsForTesting(size_t pipe_instances, size_t max_clients);
  // Runs once the pipe instances exist, before any of them listens.
  void SetStartHookForTesting(void (*hook)(const std::wstring& pipe_name));

 private:
  enum State {
    STATE_UNINITIALIZED = 0,
    STATE_ERROR = 1,
    STATE_INITIAL = 2,
    STATE_CONNECTING = 3,
    STATE_CONNECTED = 4,
    STATE_READING = 5,
    STATE_READ_DONE = 6,
    STATE_WRITING = 7,
    STATE_WRITE_DONE = 8,
    STATE_READING_ACK = 9,
    STATE_DISCONNECTING = 10,
  };

  // One instance of the pipe and the registration it is serving.
  struct PipeInstance;

  static void CALLBACK OnPipeEvent(void* context, BOOLEAN timed_out);
  static void CALLBACK OnIoTimeout(void* context, BOOLEAN timed_out);
  static void CALLBACK OnDumpRequest(void* context, BOOLEAN timed_out);
  static DWORD WINAPI HandleDumpRequestWork(void* context);
  static DWORD WINAPI RetireClientWork(void* context);
  static void CALLBACK OnClientEnd(void* context, BOOLEAN timed_out);

  bool StartInstance(PipeInstance* instance);
  // Says that the pipe's name was taken by another process first.
  void LogPipeMadeBefore() const;

  // A pipe instance's state machine, one step per signal of its overlapped event.
  void HandleConnectionRequest(PipeInstance* instance);
  void HandleInitialState(PipeInstance* instance);
  void HandleConnectingState(PipeInstance* instance);
  void HandleConnectedState(PipeInstance* instance);
  void HandleReadingState(PipeInstance* instance);
  void HandleReadDoneState(PipeInstance* instance);
  void HandleWritingState(PipeInstance* instance);
  void HandleWriteDoneState(PipeInstance* instance);
  void HandleReadingAckState(PipeInstance* instance);
  void HandleDisconnectingState(PipeInstance* instance);
  void EnterStateImmediately(PipeInstance* instance, State state);
  // Stores |state| for the step that the pending client operation's end brings, which
  // comes after kIoTimeoutMs at the latest: a stalled operation is cancelled then.
  void EnterStateWhenIoDone(PipeInstance* instance, State state);
  // The end of the pending pipe operation: false while it is still under way; otherwise
  // the operation is over (its time-out stopped) and |succeeded| and |bytes| tell how.
  bool TakeIoResult(PipeInstance* instance, bool* succeeded, DWORD* bytes);
  // Reads one message into the instance's buffer, to be taken in |next_state|.
  void ReadMessage(PipeInstance* instance, State next_state);
  // Ends serving on the instance: only for a failure of the pipe itself.
  void EnterErrorState(PipeInstance* instance);
  // Ends a pending pipe operation and waits until the system no longer uses the
  // overlapped structure.
  void CancelPendingIo(PipeInstance* instance);
  // Notes the connected client's process and drops its other connections; false when the
  // process cannot be told.
  bool AcceptClientProcess(PipeInstance* instance);
  // Logs a refused client, up to a limit: a flood of them must not fill the disk.
  void LogRefusal(const std::string& text);

  // Writes the registration response and, once it is on its way, adds |client|.
  bool RespondToClient(PipeInstance* instance, CrashClientRecord* client);
  // Whether a registration of |pid| would find room: a free place or a record to replace.
  bool HasRoomFor(DWORD pid);
  bool HasRoomForLocked(DWORD pid);  // Under |lock_|.
  void LogFullRefusal(DWORD pid);
  // Adds |client|, replacing the record of its process (|replaces| tells whether it did);
  // false when there is no room.
  bool AddClient(CrashClientRecord* client, bool* replaces);
  // Under |lock_|.
  std::vector<base::scoped_refptr<CrashClientRecord>>::iterator FindClient(
      CrashClientRecord* client);
  std::vector<base::scoped_refptr<CrashClientRecord>>::iterator FindClientOfProcess(DWORD pid);
  // Ends the waits of a record that left the list, on a worker thread (the pipe's wait
  // thread must not block on them).
  void RetireClient(base::scoped_refptr<CrashClientRecord> client);
  // Counts work that uses this server until it ends; under |lock_|.
  void AddPendingWorkLocked();
  void RemovePendingWork();

  void HandleDumpRequest(CrashClientRecord* client);
  bool GenerateDump(CrashClientRecord* client, std::wstring* dump_path);
  void HandleClientEnd(CrashClientRecord* client);

  base::Lock lock_;
  std::vector<base::scoped_refptr<CrashClientRecord>> clients_;  // Under |lock_|.
  const std::wstring pipe_name_;
  SECURITY_ATTRIBUTES* const security_attributes_;
  std::vector<std::unique_ptr<PipeInstance>> instances_;
  base::win::ScopedHandle server_alive_mutex_;
  const ConnectCallback connect_callback_;
  void* const connect_context_;
  const DumpCallback dump_callback_;
  void* const dump_context_;
  const ExitCallback exit_callback_;
  void* const exit_context_;
  const UploadCallback upload_callback_;
  void* const upload_context_;
  const bool generate_dumps_;
  const std::wstring dump_folder_;
  size_t pipe_instances_ = kPipeInstances;
  size_t max_clients_ = kMaxClients;
  void (*start_hook_)(const std::wstring& pipe_name) = nullptr;
  bool started_ = false;
  bool shutting_down_ = false;  // Under |lock_|.
  int dump_requests_handled_ = 0;  // Under |lock_|.
  std::atomic<int> refusals_logged_{0};

  // Dump requests being handled and records being retired; |work_done_| is signalled while
  // there are none.
  LONG pending_work_ = 0;  // Under |lock_|.
  base::win::ScopedHandle work_done_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_SERVER_H_
