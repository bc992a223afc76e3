#include "desktop/windows/crash_reporter/test/raw_pipe_client.h"

#include <string.h>

namespace crash_reporter {
namespace test {

RawPipeClient::RawPipeClient() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  overlapped_.hEvent = event_.Get();
}

RawPipeClient::~RawPipeClient() = default;

bool RawPipeClient::Connect(const std::wstring& pipe_name) {
  const ULONGLONG deadline = ::GetTickCount64() + kTimeoutMs;
  while (::GetTickCount64() < deadline) {
    if (TryConnect(pipe_name))
      return true;
    if (::GetLastError() != ERROR_PIPE_BUSY)
      return false;
    ::WaitNamedPipeW(pipe_name.c_str(), 1000);
  }
  return false;
}

bool RawPipeClient::TryConnect(const std::wstring& pipe_name) {
  pipe_.Set(::CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  if (!pipe_.IsValid())
    return false;
  DWORD mode = PIPE_READMODE_MESSAGE;
  return ::SetNamedPipeHandleState(pipe_.Get(), &mode, nullptr, nullptr) != FALSE;
}

bool RawPipeClient::Write(const void* data, size_t size) {
  return Complete(::WriteFile(pipe_.Get(), data, static_cast<DWORD>(size), nullptr, &overlapped_),
                  nullptr);
}

bool RawPipeClient::Read(std::string* message) {
  char buffer[512];
  DWORD size = 0;
  if (!Complete(::ReadFile(pipe_.Get(), buffer, sizeof(buffer), nullptr, &overlapped_), &size))
    return false;
  message->assign(buffer, size);
  return true;
}

bool RawPipeClient::Exchange(const ProtocolMessage& request, ProtocolMessage* reply) {
  std::string bytes;
  if (!Write(&request, sizeof(request)) || !Read(&bytes) || bytes.size() != sizeof(*reply))
    return false;
  memcpy(reply, bytes.data(), sizeof(*reply));
  return true;
}

bool RawPipeClient::WaitForDisconnect() {
  std::string ignored;
  return !Read(&ignored) &&
         (::GetLastError() == ERROR_BROKEN_PIPE || ::GetLastError() == ERROR_PIPE_NOT_CONNECTED);
}

bool RawPipeClient::Complete(BOOL started, DWORD* size) {
  if (!started && ::GetLastError() != ERROR_IO_PENDING)
    return false;
  if (::WaitForSingleObject(event_.Get(), kTimeoutMs) != WAIT_OBJECT_0) {
    ::CancelIoEx(pipe_.Get(), &overlapped_);
    DWORD ignored = 0;
    ::GetOverlappedResult(pipe_.Get(), &overlapped_, &ignored, TRUE);
    ::SetLastError(WAIT_TIMEOUT);
    return false;
  }
  DWORD transferred = 0;
  const bool done = ::GetOverlappedResult(pipe_.Get(), &overlapped_, &transferred, FALSE);
  if (size)
    *size = transferred;
  return done;
}

}  // namespace test
}  // namespace crash_reporter
