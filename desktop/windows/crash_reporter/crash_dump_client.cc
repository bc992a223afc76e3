#include "desktop/windows/crash_reporter/crash_dump_client.h"

#include <string.h>

#include "base/logging.h"

namespace crash_reporter {

namespace {

constexpr DWORD kPipeBusyWaitMs = 2000;
constexpr DWORD kDumpWaitMs = 15000;

uint64_t AddressOf(const void* pointer) {
  return reinterpret_cast<uintptr_t>(pointer);
}

// A handle value the server says it placed in this process.
bool IsOpenHandle(uint64_t value) {
  DWORD flags = 0;
  return value != 0 && ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags);
}

}  // namespace

CrashDumpClient::CrashDumpClient(const std::wstring& pipe_name,
                                 DWORD server_pid,
                                 MINIDUMP_TYPE dump_type,
                                 const CustomClientInfo* custom_info)
    : pipe_name_(pipe_name),
      expected_server_pid_(server_pid),
      custom_info_(custom_info ? *custom_info : CustomClientInfo()),
      dump_type_(dump_type) {}

CrashDumpClient::~CrashDumpClient() = default;

base::win::ScopedHandle CrashDumpClient::Connect() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Identification only: a server may learn who connects, never act as this process
    // (which may be elevated).
    base::win::ScopedHandle pipe(::CreateFileW(
        pipe_name_.c_str(), FILE_READ_DATA | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0, nullptr,
        OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (pipe.IsValid()) {
      ULONG server_pid = 0;
      if (!::GetNamedPipeServerProcessId(pipe.Get(), &server_pid) ||
          server_pid != expected_server_pid_) {
        LOG(WARNING) << "The crash pipe " << pipe_name_ << " is served by process " << server_pid
                     << ", not by the crash reporter " << expected_server_pid_
                     << ": it is not used";
        return base::win::ScopedHandle();
      }
      DWORD mode = PIPE_READMODE_MESSAGE;
      if (!::SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr)) {
        PLOG(WARNING) << "Cannot switch the crash pipe to message mode";
        return base::win::ScopedHandle();
      }
      return pipe;
    }
    if (::GetLastError() != ERROR_PIPE_BUSY) {
      PLOG(WARNING) << "Cannot open the crash pipe " << pipe_name_;
      return base::win::ScopedHandle();
    }
    if (attempt == 1 || !::WaitNamedPipeW(pipe_name_.c_str(), kPipeBusyWaitMs)) {
      PLOG(WARNING) << "The crash pipe stays busy";
      return base::win::ScopedHandle();
    }
  }
  return base::win::ScopedHandle();
}

bool CrashDumpClient::Register() {
  if (IsRegistered())
    return true;
  base::win::ScopedHandle pipe = Connect();
  if (!pipe.IsValid())
    return false;

  ProtocolMessage request = {};
  request.tag = MESSAGE_TAG_REGISTRATION_REQUEST;
  request.id = ::GetCurrentProcessId();
  request.dump_type = static_cast<uint32_t>(dump_type_);
  request.thread_id_address = AddressOf(&crashing_thread_id_);
  request.exception_pointers_address = AddressOf(&exception_pointers_);
  request.assertion_address = AddressOf(&assertion_);
  request.custom_info_entries_address = AddressOf(custom_info_.entries);
  request.custom_info_count = custom_info_.count;

  ProtocolMessage reply = {};
  DWORD bytes_read = 0;
  if (!::TransactNamedPipe(pipe.Get(), &request, sizeof(request), &reply, sizeof(reply),
                           &bytes_read, nullptr)) {
    PLOG(WARNING) << "The crash pipe registration failed";
    return false;
  }
  // The server's id must be that of the process at the other end of the pipe, and the
  // handles must be open here: nothing else is worth holding on to.
  if (bytes_read != sizeof(reply) || reply.tag != MESSAGE_TAG_REGISTRATION_RESPONSE ||
      reply.id != expected_server_pid_ ||
      !IsOpenHandle(reply.dump_requested_handle) || !IsOpenHandle(reply.dump_generated_handle) ||
      !IsOpenHandle(reply.server_alive_handle)) {
    LOG(WARNING) << "The crash reporter's registration response is not valid";
    return false;
  }

  ProtocolMessage ack = {};
  ack.tag = MESSAGE_TAG_REGISTRATION_ACK;
  DWORD bytes_written = 0;
  // The server has registered this process already; a lost acknowledgement changes nothing.
  if (!::WriteFile(pipe.Get(), &ack, sizeof(ack), &bytes_written, nullptr))
    PLOG(WARNING) << "Cannot acknowledge the crash reporter's registration";

  dump_requested_event_.Set(reinterpret_cast<HANDLE>(reply.dump_requested_handle));
  dump_generated_event_.Set(reinterpret_cast<HANDLE>(reply.dump_generated_handle));
  server_alive_.Set(reinterpret_cast<HANDLE>(reply.server_alive_handle));
  server_process_id_ = reply.id;
  return true;
}

bool CrashDumpClient::IsRegistered() const {
  return server_process_id_ != 0;
}

bool CrashDumpClient::RequestDump(EXCEPTION_POINTERS* exception_pointers,
                                  const AssertionInfo* assertion) {
  if (!IsRegistered())
    return false;
  exception_pointers_ = exception_pointers;
  crashing_thread_id_ = ::GetCurrentThreadId();
  if (assertion)
    assertion_ = *assertion;
  else
    memset(&assertion_, 0, sizeof(assertion_));

  if (!::ResetEvent(dump_generated_event_.Get()) || !::SetEvent(dump_requested_event_.Get()))
    return false;
  const HANDLE waits[] = {dump_generated_event_.Get(), server_alive_.Get()};
  // The server-alive mutex is abandoned when the server ends: the wait ends then too.
  return ::WaitForMultipleObjects(2, waits, FALSE, kDumpWaitMs) == WAIT_OBJECT_0;
}

}  // namespace crash_reporter
