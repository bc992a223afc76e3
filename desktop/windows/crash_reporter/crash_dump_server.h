#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_SERVER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_SERVER_H_

#include <windows.h>
#include <stdint.h>

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
// to its named pipe (one connection at a time), watches each client's dump requests and its
// end, and hands every dump request to the dump callback, after writing the dump itself
// when asked to.
//
// All work runs on system thread-pool threads: the pipe in the wait thread of its overlapped
// event, each dump request on a worker thread of its own (several clients are served at
// once, one request per client at a time), client ends on worker threads. Callbacks may run
// concurrently and must not destroy the server.
//
// Clients are not trusted: a registration must come from the process it names, a message
// must be exactly one protocol message, and a connection that stalls in the middle of a
// registration is dropped after a time-out, so that it cannot hold the pipe.
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

  static void CALLBACK OnPipeEvent(void* context, BOOLEAN timed_out);
  static void CALLBACK OnIoTimeout(void* context, BOOLEAN timed_out);
  static void CALLBACK OnDumpRequest(void* context, BOOLEAN timed_out);
  static DWORD WINAPI HandleDumpRequestWork(void* context);
  static void CALLBACK OnClientEnd(void* context, BOOLEAN timed_out);

  // The pipe's state machine, one step per signal of the overlapped event.
  void HandleConnectionRequest();
  void HandleInitialState();
  void HandleConnectingState();
  void HandleConnectedState();
  void HandleReadingState();
  void HandleReadDoneState();
  void HandleWritingState();
  void HandleWriteDoneState();
  void HandleReadingAckState();
  void HandleDisconnectingState();
  void EnterStateImmediately(State state);
  // Stores |state| for the step that the pending client operation's end brings, which
  // comes after kIoTimeoutMs at the latest: a stalled operation is cancelled then.
  void EnterStateWhenIoDone(State state);
  void StopIoTimer();
  // The end of the pending pipe operation: false while it is still under way; otherwise
  // the operation is over (its time-out stopped) and |succeeded| and |bytes| tell how.
  bool TakeIoResult(bool* succeeded, DWORD* bytes);
  // Reads one message into |message_|, to be taken in |next_state|.
  void ReadMessage(State next_state);
  void EnterErrorState();
  // Ends a pending pipe operation and waits until the system no longer uses the
  // overlapped structure.
  void CancelPendingIo();

  bool IsRegistrationFromPipeClient(const ProtocolMessage& message);
  // Writes the registration response and, once it is on its way, adds |client|.
  bool RespondToClient(CrashClientRecord* client);
  bool AddClient(CrashClientRecord* client);
  // Under |lock_|.
  std::vector<base::scoped_refptr<CrashClientRecord>>::iterator FindClient(
      CrashClientRecord* client);

  void HandleDumpRequest(CrashClientRecord* client);
  bool GenerateDump(CrashClientRecord* client, std::wstring* dump_path);
  void HandleClientEnd(CrashClientRecord* client);

  base::Lock lock_;
  std::vector<base::scoped_refptr<CrashClientRecord>> clients_;  // Under |lock_|.
  const std::wstring pipe_name_;
  SECURITY_ATTRIBUTES* const security_attributes_;
  base::win::ScopedHandle pipe_;
  ThreadPoolWait pipe_wait_;
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
  volatile LONG state_ = STATE_UNINITIALIZED;
  bool shutting_down_ = false;  // Under |lock_|.
  OVERLAPPED overlapped_ = {};
  base::win::ScopedHandle overlapped_event_;
  ProtocolMessage message_ = {};
  base::scoped_refptr<CrashClientRecord> client_being_registered_;
  // Whether the system still uses |overlapped_|.
  bool io_pending_ = false;
  ThreadPoolTimer io_timer_;

  // Dump requests being handled; |requests_done_| is signalled while there are none.
  LONG pending_requests_ = 0;  // Under |lock_|.
  base::win::ScopedHandle requests_done_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_DUMP_SERVER_H_
