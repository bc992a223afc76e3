#include "desktop/windows/crash_reporter/crash_dump_server.h"

#include <string.h>

#include <algorithm>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/dump_file_writer.h"

namespace crash_reporter {

namespace {

// Small buffers: every message is 80 bytes.
constexpr DWORD kPipeBufferSize = 64;
// How long destruction waits for the pipe to stop: 100 looks, 10 ms apart.
constexpr int kShutdownLooks = 100;
constexpr DWORD kShutdownLookIntervalMs = 10;

bool ReadClientMemory(HANDLE process, uint64_t address, void* buffer, size_t size) {
  SIZE_T bytes_read = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, size,
                             &bytes_read) &&
         bytes_read == size;
}

// Closes a handle that DuplicateHandle placed in |process|.
void CloseHandleInProcess(HANDLE process, HANDLE handle) {
  if (handle &&
      !::DuplicateHandle(process, handle, nullptr, nullptr, 0, FALSE, DUPLICATE_CLOSE_SOURCE)) {
    PLOG(ERROR) << "Cannot close a handle in a crash client";
  }
}

}  // namespace

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
  // The next step of the pipe sees the shutdown and stops; cancelling the pending operation
  // makes that step come at once.
  if (pipe_.IsValid()) {
    ::CancelIoEx(pipe_.Get(), nullptr);
    ::DisconnectNamedPipe(pipe_.Get());
  }
  for (int look = 0; look < kShutdownLooks && pipe_wait_.IsActive() && state_ != STATE_ERROR;
       ++look) {
    ::Sleep(kShutdownLookIntervalMs);
  }
  pipe_wait_.Stop();
  io_timer_.Stop();
  if (io_pending_)
    CancelPendingIo();
  pipe_.Close();

  // Requests in progress use this server's callbacks: they end first.
  if (requests_done_.IsValid() &&
      ::WaitForSingleObject(requests_done_.Get(), INFINITE) != WAIT_OBJECT_0) {
    PLOG(ERROR) << "Waiting for the dump requests in progress failed";
  }
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
  client_being_registered_ = nullptr;
  // Clients waiting for a dump see the server go. Only the thread that started the server
  // can release the mutex; otherwise it is abandoned when that thread ends.
  if (server_alive_mutex_.IsValid())
    ::ReleaseMutex(server_alive_mutex_.Get());
}

bool CrashDumpServer::Start() {
  if (state_ != STATE_UNINITIALIZED) {
    LOG(ERROR) << "The crash dump server was started before";
    return false;
  }
  state_ = STATE_INITIAL;
  server_alive_mutex_.Set(::CreateMutexW(nullptr, TRUE, nullptr));
  overlapped_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  requests_done_.Set(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  if (!server_alive_mutex_.IsValid() || !overlapped_event_.IsValid() || !requests_done_.IsValid()) {
    PLOG(ERROR) << "Cannot create the crash dump server's synchronisation objects";
    return false;
  }
  overlapped_.hEvent = overlapped_event_.Get();
  pipe_.Set(::CreateNamedPipeW(
      pipe_name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, kPipeBufferSize, kPipeBufferSize, 0,
      security_attributes_));
  if (!pipe_.IsValid()) {
    PLOG(ERROR) << "Cannot create the crash pipe " << pipe_name_;
    return false;
  }
  if (!pipe_wait_.Start(overlapped_event_.Get(), &OnPipeEvent, this, INFINITE,
                        WT_EXECUTEINWAITTHREAD)) {
    return false;
  }
  if (!::SetEvent(overlapped_event_.Get())) {
    PLOG(ERROR) << "Cannot start the crash pipe";
    state_ = STATE_ERROR;
    return false;
  }
  return true;
}

// static
void CALLBACK CrashDumpServer::OnPipeEvent(void* context, BOOLEAN timed_out) {
  static_cast<CrashDumpServer*>(context)->HandleConnectionRequest();
}

// static
void CALLBACK CrashDumpServer::OnIoTimeout(void* context, BOOLEAN timed_out) {
  CrashDumpServer* server = static_cast<CrashDumpServer*>(context);
  LOG(WARNING) << "A crash client stalled in its registration; dropping it";
  // The operation ends as cancelled, and its step drops the connection.
  if (!::CancelIoEx(server->pipe_.Get(), &server->overlapped_) &&
      ::GetLastError() != ERROR_NOT_FOUND) {
    PLOG(ERROR) << "Cannot cancel the crash pipe's operation";
  }
}

void CrashDumpServer::HandleConnectionRequest() {
  {
    base::AutoLock hold(lock_);
    if (shutting_down_) {
      state_ = STATE_ERROR;
      ::ResetEvent(overlapped_event_.Get());
      return;
    }
  }
  switch (state_) {
    case STATE_ERROR:
      // The server stops serving; what it holds goes with it.
      ::ResetEvent(overlapped_event_.Get());
      break;
    case STATE_INITIAL:
      HandleInitialState();
      break;
    case STATE_CONNECTING:
      HandleConnectingState();
      break;
    case STATE_CONNECTED:
      HandleConnectedState();
      break;
    case STATE_READING:
      HandleReadingState();
      break;
    case STATE_READ_DONE:
      HandleReadDoneState();
      break;
    case STATE_WRITING:
      HandleWritingState();
      break;
    case STATE_WRITE_DONE:
      HandleWriteDoneState();
      break;
    case STATE_READING_ACK:
      HandleReadingAckState();
      break;
    case STATE_DISCONNECTING:
      HandleDisconnectingState();
      break;
    default:
      EnterErrorState();
      break;
  }
}

void CrashDumpServer::EnterStateImmediately(State state) {
  state_ = state;
  if (!::SetEvent(overlapped_event_.Get())) {
    PLOG(ERROR) << "Cannot signal the crash pipe's next step";
    state_ = STATE_ERROR;
  }
}

void CrashDumpServer::EnterStateWhenIoDone(State state) {
  io_pending_ = true;
  state_ = state;
  // Without the timer a stalled client holds the pipe; better not to serve it at all.
  if (!io_timer_.Start(&OnIoTimeout, this, kIoTimeoutMs))
    CancelPendingIo();
}

void CrashDumpServer::StopIoTimer() {
  io_timer_.Stop();
}

void CrashDumpServer::EnterErrorState() {
  LOG(ERROR) << "The crash pipe stops serving";
  ::SetEvent(overlapped_event_.Get());
  state_ = STATE_ERROR;
}

void CrashDumpServer::CancelPendingIo() {
  if (!::CancelIoEx(pipe_.Get(), &overlapped_) && ::GetLastError() != ERROR_NOT_FOUND)
    PLOG(ERROR) << "Cannot cancel the crash pipe's operation";
  DWORD bytes = 0;
  ::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, TRUE);
  io_pending_ = false;
}

bool CrashDumpServer::TakeIoResult(bool* succeeded, DWORD* bytes) {
  *bytes = 0;
  *succeeded = ::GetOverlappedResult(pipe_.Get(), &overlapped_, bytes, FALSE) != FALSE;
  if (!*succeeded && ::GetLastError() == ERROR_IO_INCOMPLETE)
    return false;
  StopIoTimer();
  io_pending_ = false;
  return true;
}

void CrashDumpServer::HandleInitialState() {
  if (!::ResetEvent(overlapped_event_.Get())) {
    PLOG(ERROR) << "ResetEvent failed";
    EnterErrorState();
    return;
  }
  // An overlapped connect never completes at once.
  if (::ConnectNamedPipe(pipe_.Get(), &overlapped_)) {
    EnterErrorState();
    return;
  }
  switch (::GetLastError()) {
    case ERROR_PIPE_CONNECTED:
      EnterStateImmediately(STATE_CONNECTED);
      break;
    case ERROR_IO_PENDING:
      io_pending_ = true;
      state_ = STATE_CONNECTING;
      break;
    default:
      PLOG(ERROR) << "ConnectNamedPipe failed";
      EnterErrorState();
      break;
  }
}

void CrashDumpServer::HandleConnectingState() {
  bool done = false;
  DWORD bytes = 0;
  if (TakeIoResult(&done, &bytes))
    EnterStateImmediately(done ? STATE_CONNECTED : STATE_DISCONNECTING);
}

void CrashDumpServer::HandleConnectedState() {
  memset(&message_, 0, sizeof(message_));
  ReadMessage(STATE_READING);
}

void CrashDumpServer::ReadMessage(State next_state) {
  // Done at once or later, the read's end signals the event: the next step takes it.
  DWORD bytes = 0;
  if (::ReadFile(pipe_.Get(), &message_, sizeof(message_), &bytes, &overlapped_) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    EnterStateWhenIoDone(next_state);
    return;
  }
  EnterStateImmediately(STATE_DISCONNECTING);
}

void CrashDumpServer::HandleReadingState() {
  bool done = false;
  DWORD bytes = 0;
  if (!TakeIoResult(&done, &bytes))
    return;
  // A shorter or longer message (ERROR_MORE_DATA) is not one of ours.
  EnterStateImmediately(done && bytes == sizeof(message_) ? STATE_READ_DONE : STATE_DISCONNECTING);
}

bool CrashDumpServer::IsRegistrationFromPipeClient(const ProtocolMessage& message) {
  // Any local process may connect: it may speak only for itself.
  ULONG client_pid = 0;
  if (!::GetNamedPipeClientProcessId(pipe_.Get(), &client_pid)) {
    PLOG(ERROR) << "GetNamedPipeClientProcessId failed";
    return false;
  }
  if (client_pid != message.id) {
    LOG(WARNING) << "Crash pipe client " << client_pid << " claims to be process " << message.id;
    return false;
  }
  return true;
}

void CrashDumpServer::HandleReadDoneState() {
  if (message_.tag == MESSAGE_TAG_UPLOAD_REQUEST) {
    if (IsRegistrationFromPipeClient(message_) && upload_callback_)
      upload_callback_(upload_context_, message_.id);
    EnterStateImmediately(STATE_DISCONNECTING);
    return;
  }
  if (message_.tag != MESSAGE_TAG_REGISTRATION_REQUEST || message_.id == 0 ||
      message_.thread_id_address == 0 || message_.exception_pointers_address == 0 ||
      message_.assertion_address == 0 || !IsRegistrationFromPipeClient(message_)) {
    LOG(WARNING) << "Refusing a crash pipe message with tag " << message_.tag;
    EnterStateImmediately(STATE_DISCONNECTING);
    return;
  }
  base::scoped_refptr<CrashClientRecord> client(new CrashClientRecord(this, message_));
  if (!client->Initialize() || !RespondToClient(client.get())) {
    EnterStateImmediately(STATE_DISCONNECTING);
    return;
  }
  client_being_registered_ = client;
}

bool CrashDumpServer::RespondToClient(CrashClientRecord* client) {
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
  if (!AddClient(client)) {
    CloseHandleInProcess(client_process, dump_requested);
    CloseHandleInProcess(client_process, dump_generated);
    CloseHandleInProcess(client_process, server_alive);
    return false;
  }
  memset(&message_, 0, sizeof(message_));
  message_.tag = MESSAGE_TAG_REGISTRATION_RESPONSE;
  message_.id = ::GetCurrentProcessId();
  message_.dump_requested_handle = reinterpret_cast<uintptr_t>(dump_requested);
  message_.dump_generated_handle = reinterpret_cast<uintptr_t>(dump_generated);
  message_.server_alive_handle = reinterpret_cast<uintptr_t>(server_alive);
  DWORD bytes = 0;
  if (!::WriteFile(pipe_.Get(), &message_, sizeof(message_), &bytes, &overlapped_) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    PLOG(ERROR) << "Cannot answer crash client " << client->pid();
    CloseHandleInProcess(client_process, dump_requested);
    CloseHandleInProcess(client_process, dump_generated);
    CloseHandleInProcess(client_process, server_alive);
    return false;
  }
  EnterStateWhenIoDone(STATE_WRITING);
  return true;
}

bool CrashDumpServer::AddClient(CrashClientRecord* client) {
  base::AutoLock hold(lock_);
  if (shutting_down_)
    return false;
  // The dump-request wait first: the end of the client stops it.
  if (!client->dump_request_wait_.Start(client->dump_requested_event(), &OnDumpRequest, client,
                                        INFINITE, WT_EXECUTEINWAITTHREAD)) {
    return false;
  }
  if (!client->process_end_wait_.Start(client->process_handle(), &OnClientEnd, client, INFINITE,
                                       WT_EXECUTEONLYONCE)) {
    // Not signalled yet: its callback cannot be running.
    client->dump_request_wait_.StopFromCallback();
    return false;
  }
  clients_.push_back(client);
  return true;
}

std::vector<base::scoped_refptr<CrashClientRecord>>::iterator CrashDumpServer::FindClient(
    CrashClientRecord* client) {
  return std::find_if(clients_.begin(), clients_.end(),
                      [client](const base::scoped_refptr<CrashClientRecord>& listed) {
                        return listed.get() == client;
                      });
}

void CrashDumpServer::HandleWritingState() {
  bool done = false;
  DWORD bytes = 0;
  if (TakeIoResult(&done, &bytes))
    EnterStateImmediately(done ? STATE_WRITE_DONE : STATE_DISCONNECTING);
}

void CrashDumpServer::HandleWriteDoneState() {
  ReadMessage(STATE_READING_ACK);
}

void CrashDumpServer::HandleReadingAckState() {
  bool done = false;
  DWORD bytes = 0;
  if (!TakeIoResult(&done, &bytes))
    return;
  // The acknowledgement's content does not matter: it tells that the client has its handles.
  if (done && connect_callback_ && client_being_registered_) {
    base::AutoLock hold(lock_);
    if (FindClient(client_being_registered_.get()) != clients_.end())
      connect_callback_(connect_context_, client_being_registered_.get());
  }
  EnterStateImmediately(STATE_DISCONNECTING);
}

void CrashDumpServer::HandleDisconnectingState() {
  StopIoTimer();
  if (io_pending_)
    CancelPendingIo();
  memset(&overlapped_, 0, sizeof(overlapped_));
  overlapped_.hEvent = overlapped_event_.Get();
  client_being_registered_ = nullptr;
  if (!::ResetEvent(overlapped_event_.Get()) || !::DisconnectNamedPipe(pipe_.Get())) {
    PLOG(ERROR) << "Cannot disconnect the crash pipe";
    EnterErrorState();
    return;
  }
  {
    base::AutoLock hold(lock_);
    if (shutting_down_)
      return;
  }
  EnterStateImmediately(STATE_INITIAL);
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
  {
    base::AutoLock hold(server->lock_);
    if (server->shutting_down_) {
      client->dump_in_progress_.store(false);
      return;
    }
    if (server->pending_requests_++ == 0)
      ::ResetEvent(server->requests_done_.Get());
  }
  // The dump takes a while: a worker thread of its own, so that the pipe and the other
  // clients are served meanwhile.
  client->AddRef();
  if (!::QueueUserWorkItem(&HandleDumpRequestWork, client, WT_EXECUTELONGFUNCTION)) {
    PLOG(ERROR) << "Cannot queue the dump request of crash client " << client->pid();
    client->dump_in_progress_.store(false);
    client->Release();
    base::AutoLock hold(server->lock_);
    if (--server->pending_requests_ == 0)
      ::SetEvent(server->requests_done_.Get());
  }
}

// static
DWORD WINAPI CrashDumpServer::HandleDumpRequestWork(void* context) {
  CrashClientRecord* client = static_cast<CrashClientRecord*>(context);
  CrashDumpServer* server = client->server();
  server->HandleDumpRequest(client);
  client->Release();
  base::AutoLock hold(server->lock_);
  if (--server->pending_requests_ == 0)
    ::SetEvent(server->requests_done_.Get());
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
  if (!::SetEvent(client->dump_generated_event()))
    PLOG(ERROR) << "Cannot tell crash client " << client->pid() << " its dump is done";
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
    // During shutdown the destructor lets go of every client.
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
