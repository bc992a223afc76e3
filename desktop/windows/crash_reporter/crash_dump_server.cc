#include "desktop/windows/crash_reporter/crash_dump_server.h"

#include <string.h>

#include <algorithm>
#include <string>

#include "base/logging.h"
#include "base/win/windows_version.h"
#include "desktop/windows/crash_reporter/dump_file_writer.h"

namespace crash_reporter {

namespace {

// Small buffers: every message is 80 bytes.
constexpr DWORD kPipeBufferSize = 64;
// How long destruction waits for the pipe to stop: 100 looks, 10 ms apart.
constexpr int kShutdownLooks = 100;
constexpr DWORD kShutdownLookIntervalMs = 10;
// Refused clients logged before the log falls silent about them.
constexpr int kMaxLoggedRefusals = 100;

void TellDumpDone(CrashClientRecord* client) {
  if (!::SetEvent(client->dump_generated_event()))
    PLOG(ERROR) << "Cannot tell crash client " << client->pid() << " its dump is done";
}

bool ReadClientMemory(HANDLE process, uint64_t address, void* buffer, size_t size) {
  SIZE_T bytes_read = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, size,
                             &bytes_read) &&
         bytes_read == size;
}

// Closes a handle that DuplicateHandle placed in |process|. It is moved into this process
// and closed here (Wine refuses a close without a target process).
void CloseHandleInProcess(HANDLE process, HANDLE handle) {
  if (!handle)
    return;
  HANDLE moved = nullptr;
  if (!::DuplicateHandle(process, handle, ::GetCurrentProcess(), &moved, 0, FALSE,
                         DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS)) {
    PLOG(ERROR) << "Cannot close a handle in a crash client";
    return;
  }
  base::win::ScopedHandle closed(moved);
}

// The program file of |process|, for the log; empty when it cannot be told.
std::wstring GetImagePath(HANDLE process) {
  wchar_t path[MAX_PATH];
  DWORD size = MAX_PATH;
  if (!::QueryFullProcessImageNameW(process, 0, path, &size))
    return std::wstring();
  return std::wstring(path, size);
}

}  // namespace

struct CrashDumpServer::PipeInstance {
  explicit PipeInstance(CrashDumpServer* owner) : server(owner) {}

  CrashDumpServer* const server;
  base::win::ScopedHandle pipe;
  base::win::ScopedHandle event;  // The overlapped event.
  ThreadPoolWait wait;
  ThreadPoolTimer io_timer;
  OVERLAPPED overlapped = {};
  volatile LONG state = STATE_UNINITIALIZED;
  ProtocolMessage message = {};
  base::scoped_refptr<CrashClientRecord> client_being_registered;
  // Whether the registration being served replaced an earlier one of its process.
  bool registration_replaces = false;
  // Whether the system still uses |overlapped|.
  bool io_pending = false;
  // The connected client's process; 0 while none is. Written under the server's lock.
  DWORD client_pid = 0;
  // Set when the same process connected to another instance: this connection is dropped.
  std::atomic<bool> drop_requested{false};
};

CrashDumpServer::CrashDumpServer(const std::wstring& pipe_name,
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
                                 const std::wstring* dump_folder)
    : pipe_name_(pipe_name),
      security_attributes_(security_attributes),
      connect_callback_(connect_callback),
      connect_context_(connect_context),
      dump_callback_(dump_callback),
      dump_context_(dump_context),
      exit_callback_(exit_callback),
      exit_context_(exit_context),
      upload_callback_(upload_callback),
      upload_context_(upload_context),
      generate_dumps_(generate_dumps),
      dump_folder_(dump_folder ? *dump_folder : std::wstring()) {}

CrashDumpServer::~CrashDumpServer() {
  {
    base::AutoLock hold(lock_);
    shutting_down_ = true;
  }
  // The next step of each instance sees the shutdown and stops; cancelling the pending
  // operation makes that step come at once.
  for (const std::unique_ptr<PipeInstance>& instance : instances_) {
    if (instance->pipe.IsValid()) {
      ::CancelIoEx(instance->pipe.Get(), nullptr);
      ::DisconnectNamedPipe(instance->pipe.Get());
    }
  }
  auto serving = [this] {
    for (const std::unique_ptr<PipeInstance>& instance : instances_) {
      if (instance->wait.IsActive() && instance->state != STATE_ERROR)
        return true;
    }
    return false;
  };
  for (int look = 0; look < kShutdownLooks && serving(); ++look)
    ::Sleep(kShutdownLookIntervalMs);
  for (const std::unique_ptr<PipeInstance>& instance : instances_) {
    instance->wait.Stop();
    instance->io_timer.Stop();
    if (instance->io_pending)
      CancelPendingIo(instance.get());
    instance->pipe.Close();
    instance->client_being_registered = nullptr;
  }

  // Requests in progress use this server's callbacks: they end first.
  if (work_done_.IsValid() && ::WaitForSingleObject(work_done_.Get(), INFINITE) != WAIT_OBJECT_0)
    PLOG(ERROR) << "Waiting for the dump requests in progress failed";
  std::vector<base::scoped_refptr<CrashClientRecord>> clients;
  {
    base::AutoLock hold(lock_);
    clients.swap(clients_);
  }
  for (const base::scoped_refptr<CrashClientRecord>& client : clients) {
    client->process_end_wait_.Stop();
    client->dump_request_wait_.Stop();
  }
  clients.clear();
  // Clients waiting for a dump see the server go. Only the thread that started the server
  // can release the mutex; otherwise it is abandoned when that thread ends.
  if (server_alive_mutex_.IsValid())
    ::ReleaseMutex(server_alive_mutex_.Get());
}

void CrashDumpServer::SetLimitsForTesting(size_t pipe_instances, size_t max_clients) {
  pipe_instances_ = pipe_instances;
  max_clients_ = max_clients;
}

void CrashDumpServer::SetStartHookForTesting(void (*hook)(const std::wstring& pipe_name)) {
  start_hook_ = hook;
}

bool CrashDumpServer::Start() {
  if (started_) {
    LOG(ERROR) << "The crash dump server was started before";
    return false;
  }
  started_ = true;
  server_alive_mutex_.Set(::CreateMutexW(nullptr, TRUE, nullptr));
  work_done_.Set(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  if (!server_alive_mutex_.IsValid() || !work_done_.IsValid()) {
    PLOG(ERROR) << "Cannot create the crash dump server's synchronisation objects";
    return false;
  }
  // Only local processes: the pipe is no way in from the network. (Systems before Vista
  // know no such flag and refuse it.)
  const DWORD local_only =
      base::win::GetWindowsVersion() >= base::win::VERSION_VISTA ? PIPE_REJECT_REMOTE_CLIENTS : 0;
  for (size_t i = 0; i < pipe_instances_; ++i) {
    auto instance = std::make_unique<PipeInstance>(this);
    instance->pipe.Set(::CreateNamedPipeW(
        pipe_name_.c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | local_only,
        static_cast<DWORD>(pipe_instances_), kPipeBufferSize, kPipeBufferSize, 0,
        security_attributes_));
    if (!instance->pipe.IsValid()) {
      if (i == 0 && ::GetLastError() == ERROR_ACCESS_DENIED)
        LogPipeMadeBefore();
      else
        PLOG(ERROR) << "Cannot create the crash pipe " << pipe_name_;
      return false;
    }
    // Wine makes the first instance beside another process's: the count tells there.
    DWORD instances = 0;
    if (i == 0 && !::GetNamedPipeHandleState(instance->pipe.Get(), nullptr, &instances, nullptr,
                                             nullptr, nullptr, 0)) {
      PLOG(ERROR) << "Cannot read the state of the crash pipe " << pipe_name_;
      return false;
    }
    if (i == 0 && instances != 1) {
      LogPipeMadeBefore();
      return false;
    }
    instances_.push_back(std::move(instance));
  }
  if (start_hook_)
    start_hook_(pipe_name_);
  for (const std::unique_ptr<PipeInstance>& instance : instances_) {
    if (!StartInstance(instance.get()))
      return false;
  }
  return true;
}

void CrashDumpServer::LogPipeMadeBefore() const {
  // Another process made the pipe first, and would get what clients send.
  LOG(ERROR) << "The crash pipe " << pipe_name_
             << " exists already, made by another process: not serving";
}

bool CrashDumpServer::StartInstance(PipeInstance* instance) {
  instance->event.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!instance->event.IsValid()) {
    PLOG(ERROR) << "Cannot create the crash pipe's event";
    return false;
  }
  instance->overlapped.hEvent = instance->event.Get();
  instance->state = STATE_INITIAL;
  if (!instance->wait.Start(instance->event.Get(), &OnPipeEvent, instance, INFINITE,
                            WT_EXECUTEINWAITTHREAD)) {
    return false;
  }
  if (!::SetEvent(instance->event.Get())) {
    PLOG(ERROR) << "Cannot start the crash pipe";
    instance->state = STATE_ERROR;
    return false;
  }
  return true;
}

// static
void CALLBACK CrashDumpServer::OnPipeEvent(void* context, BOOLEAN timed_out) {
  PipeInstance* instance = static_cast<PipeInstance*>(context);
  instance->server->HandleConnectionRequest(instance);
}

// static
void CALLBACK CrashDumpServer::OnIoTimeout(void* context, BOOLEAN timed_out) {
  PipeInstance* instance = static_cast<PipeInstance*>(context);
  instance->server->LogRefusal("A crash client stalled in its registration; dropping it");
  // The operation ends as cancelled, and its step drops the connection.
  if (!::CancelIoEx(instance->pipe.Get(), &instance->overlapped) &&
      ::GetLastError() != ERROR_NOT_FOUND) {
    PLOG(ERROR) << "Cannot cancel the crash pipe's operation";
  }
}

void CrashDumpServer::LogRefusal(const std::string& text) {
  const int logged = refusals_logged_.fetch_add(1, std::memory_order_relaxed);
  if (logged < kMaxLoggedRefusals)
    LOG(WARNING) << text;
  else if (logged == kMaxLoggedRefusals)
    LOG(WARNING) << "Further refused crash pipe clients are not logged";
}

void CrashDumpServer::HandleConnectionRequest(PipeInstance* instance) {
  {
    base::AutoLock hold(lock_);
    if (shutting_down_) {
      instance->state = STATE_ERROR;
      ::ResetEvent(instance->event.Get());
      return;
    }
  }
  // A connection of a process that has connected again since: the newest one is served.
  if (instance->drop_requested.exchange(false) && instance->state >= STATE_CONNECTED &&
      instance->state <= STATE_READING_ACK) {
    HandleDisconnectingState(instance);
    return;
  }
  switch (instance->state) {
    case STATE_ERROR:
      // The instance stops serving; what it holds goes with the server.
      ::ResetEvent(instance->event.Get());
      break;
    case STATE_INITIAL:
      HandleInitialState(instance);
      break;
    case STATE_CONNECTING:
      HandleConnectingState(instance);
      break;
    case STATE_CONNECTED:
      HandleConnectedState(instance);
      break;
    case STATE_READING:
      HandleReadingState(instance);
      break;
    case STATE_READ_DONE:
      HandleReadDoneState(instance);
      break;
    case STATE_WRITING:
      HandleWritingState(instance);
      break;
    case STATE_WRITE_DONE:
      HandleWriteDoneState(instance);
      break;
    case STATE_READING_ACK:
      HandleReadingAckState(instance);
      break;
    case STATE_DISCONNECTING:
      HandleDisconnectingState(instance);
      break;
    default:
      EnterErrorState(instance);
      break;
  }
}

void CrashDumpServer::EnterStateImmediately(PipeInstance* instance, State state) {
  instance->state = state;
  if (!::SetEvent(instance->event.Get())) {
    PLOG(ERROR) << "Cannot signal the crash pipe's next step";
    instance->state = STATE_ERROR;
  }
}

void CrashDumpServer::EnterStateWhenIoDone(PipeInstance* instance, State state) {
  instance->io_pending = true;
  instance->state = state;
  // Without the timer a stalled client holds the instance; better not to serve it at all.
  if (!instance->io_timer.Start(&OnIoTimeout, instance, kIoTimeoutMs))
    CancelPendingIo(instance);
}

void CrashDumpServer::EnterErrorState(PipeInstance* instance) {
  LOG(ERROR) << "An instance of the crash pipe stops serving";
  ::SetEvent(instance->event.Get());
  instance->state = STATE_ERROR;
}

void CrashDumpServer::CancelPendingIo(PipeInstance* instance) {
  if (!::CancelIoEx(instance->pipe.Get(), &instance->overlapped) &&
      ::GetLastError() != ERROR_NOT_FOUND) {
    PLOG(ERROR) << "Cannot cancel the crash pipe's operation";
  }
  DWORD bytes = 0;
  ::GetOverlappedResult(instance->pipe.Get(), &instance->overlapped, &bytes, TRUE);
  instance->io_pending = false;
}

bool CrashDumpServer::TakeIoResult(PipeInstance* instance, bool* succeeded, DWORD* bytes) {
  *bytes = 0;
  *succeeded =
      ::GetOverlappedResult(instance->pipe.Get(), &instance->overlapped, bytes, FALSE) != FALSE;
  if (!*succeeded && ::GetLastError() == ERROR_IO_INCOMPLETE)
    return false;
  instance->io_timer.Stop();
  instance->io_pending = false;
  return true;
}

void CrashDumpServer::HandleInitialState(PipeInstance* instance) {
  if (!::ResetEvent(instance->event.Get())) {
    PLOG(ERROR) << "ResetEvent failed";
    EnterErrorState(instance);
    return;
  }
  // Done at once, a client is connected already.
  if (::ConnectNamedPipe(instance->pipe.Get(), &instance->overlapped)) {
    EnterStateImmediately(instance, STATE_CONNECTED);
    return;
  }
  switch (::GetLastError()) {
    case ERROR_PIPE_CONNECTED:
      EnterStateImmediately(instance, STATE_CONNECTED);
      break;
    case ERROR_IO_PENDING:
      instance->io_pending = true;
      instance->state = STATE_CONNECTING;
      break;
    case ERROR_NO_DATA:
      // A client connected and closed before the instance listened: nothing to serve, and
      // nothing wrong with the pipe. It listens again after the disconnection.
      EnterStateImmediately(instance, STATE_DISCONNECTING);
      break;
    default:
      PLOG(ERROR) << "ConnectNamedPipe failed";
      EnterErrorState(instance);
      break;
  }
}

void CrashDumpServer::HandleConnectingState(PipeInstance* instance) {
  bool done = false;
  DWORD bytes = 0;
  if (TakeIoResult(instance, &done, &bytes))
    EnterStateImmediately(instance, done ? STATE_CONNECTED : STATE_DISCONNECTING);
}

bool CrashDumpServer::AcceptClientProcess(PipeInstance* instance) {
  ULONG pid = 0;
  if (!::GetNamedPipeClientProcessId(instance->pipe.Get(), &pid)) {
    PLOG(WARNING) << "GetNamedPipeClientProcessId failed";
    return false;
  }
  base::AutoLock hold(lock_);
  for (const std::unique_ptr<PipeInstance>& other : instances_) {
    if (other.get() == instance || other->client_pid != pid)
      continue;
    // Its next step drops it; the signal brings that step at once.
    other->drop_requested = true;
    ::SetEvent(other->event.Get());
  }
  instance->client_pid = pid;
  return true;
}

void CrashDumpServer::HandleConnectedState(PipeInstance* instance) {
  if (!AcceptClientProcess(instance)) {
    EnterStateImmediately(instance, STATE_DISCONNECTING);
    return;
  }
  memset(&instance->message, 0, sizeof(instance->message));
  ReadMessage(instance, STATE_READING);
}

void CrashDumpServer::ReadMessage(PipeInstance* instance, State next_state) {
  // Done at once or later, the read's end signals the event: the next step takes it.
  DWORD bytes = 0;
  if (::ReadFile(instance->pipe.Get(), &instance->message, sizeof(instance->message), &bytes,
                 &instance->overlapped) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    EnterStateWhenIoDone(instance, next_state);
    return;
  }
  EnterStateImmediately(instance, STATE_DISCONNECTING);
}

void CrashDumpServer::HandleReadingState(PipeInstance* instance) {
  bool done = false;
  DWORD bytes = 0;
  if (!TakeIoResult(instance, &done, &bytes))
    return;
  // A shorter or longer message (ERROR_MORE_DATA) is not one of ours.
  EnterStateImmediately(instance, done && bytes == sizeof(instance->message) ? STATE_READ_DONE
                                                                             : STATE_DISCONNECTING);
}

void CrashDumpServer::HandleReadDoneState(PipeInstance* instance) {
  const ProtocolMessage& message = instance->message;
  // Any local process may connect: it may speak only for itself.
  const bool from_sender = message.id == instance->client_pid;
  if (!from_sender) {
    LogRefusal("Crash pipe client " + std::to_string(instance->client_pid) +
               " claims to be process " + std::to_string(message.id));
  }
  if (message.tag == MESSAGE_TAG_UPLOAD_REQUEST) {
    if (from_sender && upload_callback_)
      upload_callback_(upload_context_, message.id);
    EnterStateImmediately(instance, STATE_DISCONNECTING);
    return;
  }
  if (message.tag != MESSAGE_TAG_REGISTRATION_REQUEST || message.id == 0 ||
      message.thread_id_address == 0 || message.exception_pointers_address == 0 ||
      message.assertion_address == 0 || !from_sender) {
    LogRefusal("Refusing a crash pipe message with tag " + std::to_string(message.tag));
    EnterStateImmediately(instance, STATE_DISCONNECTING);
    return;
  }
  // Refused before anything is opened or placed in the client; AddClient decides.
  if (!HasRoomFor(message.id)) {
    LogFullRefusal(message.id);
    EnterStateImmediately(instance, STATE_DISCONNECTING);
    return;
  }
  base::scoped_refptr<CrashClientRecord> client(new CrashClientRecord(this, message));
  if (!client->Initialize() || !RespondToClient(instance, client.get())) {
    EnterStateImmediately(instance, STATE_DISCONNECTING);
    return;
  }
  instance->client_being_registered = client;
}

bool CrashDumpServer::RespondToClient(PipeInstance* instance, CrashClientRecord* client) {
  const HANDLE client_process = client->process_handle();
  HANDLE dump_requested = nullptr;
  HANDLE dump_generated = nullptr;
  HANDLE server_alive = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), client->dump_requested_event(), client_process,
                         &dump_requested, EVENT_MODIFY_STATE, FALSE, 0) ||
      !::DuplicateHandle(::GetCurrentProcess(), client->dump_generated_event(), client_process,
                         &dump_generated, SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, 0) ||
      !::DuplicateHandle(::GetCurrentProcess(), server_alive_mutex_.Get(), client_process,
                         &server_alive, SYNCHRONIZE, FALSE, 0)) {
    PLOG(ERROR) << "Cannot give crash client " << client->pid() << " its handles";
    CloseHandleInProcess(client_process, dump_requested);
    CloseHandleInProcess(client_process, dump_generated);
    return false;
  }
  // Watched before the client can use the handles; until the client ends when the
  // response cannot be written (it then never had them).
  if (!AddClient(client, &instance->registration_replaces)) {
    CloseHandleInProcess(client_process, dump_requested);
    CloseHandleInProcess(client_process, dump_generated);
    CloseHandleInProcess(client_process, server_alive);
    return false;
  }
  ProtocolMessage& message = instance->message;
  memset(&message, 0, sizeof(message));
  message.tag = MESSAGE_TAG_REGISTRATION_RESPONSE;
  message.id = ::GetCurrentProcessId();
  message.dump_requested_handle = reinterpret_cast<uintptr_t>(dump_requested);
  message.dump_generated_handle = reinterpret_cast<uintptr_t>(dump_generated);
  message.server_alive_handle = reinterpret_cast<uintptr_t>(server_alive);
  DWORD bytes = 0;
  if (!::WriteFile(instance->pipe.Get(), &message, sizeof(message), &bytes,
                   &instance->overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    PLOG(ERROR) << "Cannot answer crash client " << client->pid();
    CloseHandleInProcess(client_process, dump_requested);
    CloseHandleInProcess(client_process, dump_generated);
    CloseHandleInProcess(client_process, server_alive);
    return false;
  }
  EnterStateWhenIoDone(instance, STATE_WRITING);
  return true;
}

bool CrashDumpServer::AddClient(CrashClientRecord* client, bool* replaces) {
  base::scoped_refptr<CrashClientRecord> replaced;
  bool full = false;
  {
    base::AutoLock hold(lock_);
    if (shutting_down_)
      return false;
    auto same_process = FindClientOfProcess(client->pid());
    full = !HasRoomForLocked(client->pid());
    if (!full) {
      // The dump-request wait first: the end of the client stops it.
      if (!client->dump_request_wait_.Start(client->dump_requested_event(), &OnDumpRequest,
                                            client, INFINITE, WT_EXECUTEINWAITTHREAD)) {
        return false;
      }
      if (!client->process_end_wait_.Start(client->process_handle(), &OnClientEnd, client,
                                           INFINITE, WT_EXECUTEONLYONCE)) {
        // Not signalled yet: its callback cannot be running.
        client->dump_request_wait_.StopFromCallback();
        return false;
      }
      // A process registering again (a new crash handler, or a pid that a new process
      // took over) keeps one record: the new one.
      if (same_process != clients_.end()) {
        replaced = std::move(*same_process);
        clients_.erase(same_process);
        AddPendingWorkLocked();
      }
      clients_.push_back(client);
    }
  }
  if (full) {
    LogFullRefusal(client->pid());
    return false;
  }
  *replaces = replaced != nullptr;
  if (replaced)
    RetireClient(std::move(replaced));
  return true;
}

bool CrashDumpServer::HasRoomFor(DWORD pid) {
  base::AutoLock hold(lock_);
  return HasRoomForLocked(pid);
}

bool CrashDumpServer::HasRoomForLocked(DWORD pid) {
  return clients_.size() < max_clients_ || FindClientOfProcess(pid) != clients_.end();
}

void CrashDumpServer::LogFullRefusal(DWORD pid) {
  LogRefusal("Crash pipe client " + std::to_string(pid) + " refused: " +
             std::to_string(max_clients_) + " clients are registered");
}

std::vector<base::scoped_refptr<CrashClientRecord>>::iterator CrashDumpServer::FindClient(
    CrashClientRecord* client) {
  return std::find_if(clients_.begin(), clients_.end(),
                      [client](const base::scoped_refptr<CrashClientRecord>& listed) {
                        return listed.get() == client;
                      });
}

std::vector<base::scoped_refptr<CrashClientRecord>>::iterator
CrashDumpServer::FindClientOfProcess(DWORD pid) {
  return std::find_if(clients_.begin(), clients_.end(),
                      [pid](const base::scoped_refptr<CrashClientRecord>& listed) {
                        return listed->pid() == pid;
                      });
}

void CrashDumpServer::RetireClient(base::scoped_refptr<CrashClientRecord> client) {
  // The work item owns this reference.
  CrashClientRecord* raw = client.get();
  raw->AddRef();
  client = nullptr;
  if (::QueueUserWorkItem(&RetireClientWork, raw, WT_EXECUTEDEFAULT))
    return;
  PLOG(ERROR) << "Cannot queue the retirement of a record of crash client " << raw->pid();
  // Its waits end without waiting for their callbacks, which may still run: the record
  // stays for the rest of the process.
  raw->dump_request_wait_.StopFromCallback();
  raw->process_end_wait_.StopFromCallback();
  RemovePendingWork();
}

// static
DWORD WINAPI CrashDumpServer::RetireClientWork(void* context) {
  CrashClientRecord* client = static_cast<CrashClientRecord*>(context);
  CrashDumpServer* server = client->server();
  // In this order: a client end that runs meanwhile stops the dump-request wait before it
  // returns, and the second Stop waits for it.
  client->dump_request_wait_.Stop();
  client->process_end_wait_.Stop();
  client->Release();
  server->RemovePendingWork();
  return 0;
}

void CrashDumpServer::AddPendingWorkLocked() {
  if (pending_work_++ == 0)
    ::ResetEvent(work_done_.Get());
}

void CrashDumpServer::RemovePendingWork() {
  base::AutoLock hold(lock_);
  if (--pending_work_ == 0)
    ::SetEvent(work_done_.Get());
}

void CrashDumpServer::HandleWritingState(PipeInstance* instance) {
  bool done = false;
  DWORD bytes = 0;
  if (TakeIoResult(instance, &done, &bytes))
    EnterStateImmediately(instance, done ? STATE_WRITE_DONE : STATE_DISCONNECTING);
}

void CrashDumpServer::HandleWriteDoneState(PipeInstance* instance) {
  ReadMessage(instance, STATE_READING_ACK);
}

void CrashDumpServer::HandleReadingAckState(PipeInstance* instance) {
  bool done = false;
  DWORD bytes = 0;
  if (!TakeIoResult(instance, &done, &bytes))
    return;
  // The acknowledgement's content does not matter: it tells that the client has its handles.
  CrashClientRecord* const client = instance->client_being_registered.get();
  if (done && client) {
    if (instance->registration_replaces) {
      VLOG(1) << "Crash client " << client->pid() << " registered again";
    } else {
      LOG(INFO) << "Crash client " << client->pid() << " registered: "
                << GetImagePath(client->process_handle());
    }
    if (connect_callback_) {
      base::AutoLock hold(lock_);
      if (FindClient(client) != clients_.end())
        connect_callback_(connect_context_, client);
    }
  }
  EnterStateImmediately(instance, STATE_DISCONNECTING);
}

void CrashDumpServer::HandleDisconnectingState(PipeInstance* instance) {
  instance->io_timer.Stop();
  if (instance->io_pending)
    CancelPendingIo(instance);
  memset(&instance->overlapped, 0, sizeof(instance->overlapped));
  instance->overlapped.hEvent = instance->event.Get();
  instance->client_being_registered = nullptr;
  instance->registration_replaces = false;
  {
    base::AutoLock hold(lock_);
    instance->client_pid = 0;
  }
  if (!::ResetEvent(instance->event.Get()) || !::DisconnectNamedPipe(instance->pipe.Get())) {
    PLOG(ERROR) << "Cannot disconnect the crash pipe";
    EnterErrorState(instance);
    return;
  }
  {
    base::AutoLock hold(lock_);
    if (shutting_down_)
      return;
  }
  EnterStateImmediately(instance, STATE_INITIAL);
}

// static
void CALLBACK CrashDumpServer::OnDumpRequest(void* context, BOOLEAN timed_out) {
  CrashClientRecord* client = static_cast<CrashClientRecord*>(context);
  CrashDumpServer* server = client->server();
  // Reset before anything else: the wait does not fire again for this request, and the
  // client never sees a request that is already being answered.
  ::ResetEvent(client->dump_requested_event());
  // One request of a client at a time; a client asking again meanwhile is not answered.
  if (client->dump_in_progress_.exchange(true))
    return;
  bool refused = false;
  {
    base::AutoLock hold(server->lock_);
    if (server->shutting_down_) {
      client->dump_in_progress_.store(false);
      return;
    }
    refused = client->dump_requests_handled_ >= kMaxDumpRequestsPerClient ||
              server->dump_requests_handled_ >= kMaxDumpRequests;
    if (!refused) {
      ++client->dump_requests_handled_;
      ++server->dump_requests_handled_;
      server->AddPendingWorkLocked();
    }
  }
  if (refused) {
    server->LogRefusal("Refusing a dump request of crash client " +
                       std::to_string(client->pid()) + ": too many requests");
    client->dump_in_progress_.store(false);
    TellDumpDone(client);
    return;
  }
  // The dump takes a while: a worker thread of its own, so that the pipe and the other
  // clients are served meanwhile.
  client->AddRef();
  if (!::QueueUserWorkItem(&HandleDumpRequestWork, client, WT_EXECUTELONGFUNCTION)) {
    PLOG(ERROR) << "Cannot queue the dump request of crash client " << client->pid();
    client->dump_in_progress_.store(false);
    client->Release();
    server->RemovePendingWork();
  }
}

// static
DWORD WINAPI CrashDumpServer::HandleDumpRequestWork(void* context) {
  CrashClientRecord* client = static_cast<CrashClientRecord*>(context);
  CrashDumpServer* server = client->server();
  server->HandleDumpRequest(client);
  client->Release();
  server->RemovePendingWork();
  return 0;
}

void CrashDumpServer::HandleDumpRequest(CrashClientRecord* client) {
  // A request whose custom entries cannot be copied is still answered, without them.
  client->PopulateCustomInfo();
  std::wstring dump_path;
  const bool success = !generate_dumps_ || GenerateDump(client, &dump_path);
  if (dump_callback_ && success)
    dump_callback_(dump_context_, client, dump_path.empty() ? nullptr : &dump_path);
  client->dump_in_progress_.store(false);
  // The client cannot tell a failed dump from a written one; it only stops waiting.
  TellDumpDone(client);
}

bool CrashDumpServer::GenerateDump(CrashClientRecord* client, std::wstring* dump_path) {
  uint64_t exception_pointers = 0;
  DWORD thread_id = 0;
  if (!ReadClientMemory(client->process_handle(), client->exception_pointers_address(),
                        &exception_pointers, sizeof(exception_pointers)) ||
      !ReadClientMemory(client->process_handle(), client->thread_id_address(), &thread_id,
                        sizeof(thread_id))) {
    PLOG(ERROR) << "Cannot read the crash of client " << client->pid();
    return false;
  }
  DumpFileWriter writer(dump_folder_, client->process_handle(), client->pid(), thread_id,
                        ::GetCurrentThreadId(), exception_pointers, client->assertion_address(),
                        client->dump_type(), true);
  if (!writer.GenerateDumpFile(dump_path))
    return false;
  if (!writer.WriteMinidump()) {
    dump_path->clear();
    return false;
  }
  return true;
}

// static
void CALLBACK CrashDumpServer::OnClientEnd(void* context, BOOLEAN timed_out) {
  CrashClientRecord* client = static_cast<CrashClientRecord*>(context);
  client->server()->HandleClientEnd(client);
}

void CrashDumpServer::HandleClientEnd(CrashClientRecord* client) {
  client->dump_request_wait_.Stop();
  if (exit_callback_)
    exit_callback_(exit_context_, client);
  base::scoped_refptr<CrashClientRecord> listed;
  {
    base::AutoLock hold(lock_);
    // During shutdown the destructor lets go of every client; a replaced record is let go
    // of by its retirement.
    if (shutting_down_)
      return;
    auto position = FindClient(client);
    if (position == clients_.end())
      return;
    listed = std::move(*position);
    clients_.erase(position);
  }
  client->process_end_wait_.StopFromCallback();
}

}  // namespace crash_reporter
