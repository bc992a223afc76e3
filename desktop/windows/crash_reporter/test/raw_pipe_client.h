#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_RAW_PIPE_CLIENT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_RAW_PIPE_CLIENT_H_

#include <windows.h>

#include <string>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"

namespace crash_reporter {
namespace test {

// A crash pipe client that writes whatever bytes a test gives it (or nothing at all), with
// a deadline of 30 seconds on every operation.
class RawPipeClient {
 public:
  static constexpr DWORD kTimeoutMs = 30000;

  RawPipeClient();
  RawPipeClient(const RawPipeClient&) = delete;
  RawPipeClient& operator=(const RawPipeClient&) = delete;
  ~RawPipeClient();

  // Connects, waiting for a free pipe instance while the pipe is busy.
  bool Connect(const std::wstring& pipe_name);
  // Connects only when an instance is free at once.
  bool TryConnect(const std::wstring& pipe_name);
  bool Write(const void* data, size_t size);
  // One whole message; false when the server sends none in time or disconnects.
  bool Read(std::string* message);
  bool Exchange(const ProtocolMessage& request, ProtocolMessage* reply);
  // Whether the server ends the connection within the deadline.
  bool WaitForDisconnect();

 private:
  bool Complete(BOOL started, DWORD* size);

  base::win::ScopedHandle pipe_;
  base::win::ScopedHandle event_;
  OVERLAPPED overlapped_ = {};
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_RAW_PIPE_CLIENT_H_
