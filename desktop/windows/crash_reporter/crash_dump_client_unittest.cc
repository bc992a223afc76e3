#include "desktop/windows/crash_reporter/crash_dump_client.h"

#include <windows.h>
#include <string.h>

#include <functional>
#include <string>
#include <thread>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_handler.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

constexpr DWORD kTimeoutMs = 30000;

// One end of a crash pipe that a test scripts: it takes one registration and answers with
// whatever the test makes of the request, then takes the acknowledgement.
class ScriptedServer {
 public:
  using Answer = std::function<ProtocolMessage(const ProtocolMessage& request)>;

  ScriptedServer(const wchar_t* pipe_name, Answer answer)
      : name_(pipe_name),
        pipe_(::CreateNamedPipeW(pipe_name,
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                 1,
                                 256,
                                 256,
                                 0,
                                 nullptr)),
        thread_([this, answer] { Serve(answer); }) {}
  ~ScriptedServer() {
    // A client that never came: connecting to the pipe ends the server's wait.
    base::win::ScopedHandle unblock(
        ::CreateFileW(name_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    thread_.join();
  }

  // What the client sent; valid once the client's Register returned.
  const std::string& request() const { return request_; }
  // The client's acknowledgement, which the server reads after Register may have returned:
  // waits until the server has read it (or given up).
  const std::string& ack() const {
    ::WaitForSingleObject(served_.Get(), kTimeoutMs);
    return ack_;
  }

 private:
  void Serve(const Answer& answer) {
    ServeOnce(answer);
    ::SetEvent(served_.Get());
  }

  void ServeOnce(const Answer& answer) {
    if (!pipe_.IsValid())
      return;
    if (!::ConnectNamedPipe(pipe_.Get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)
      return;
    if (!ReadMessage(&request_) || request_.size() != sizeof(ProtocolMessage))
      return;
    ProtocolMessage request;
    memcpy(&request, request_.data(), sizeof(request));
    const ProtocolMessage reply = answer(request);
    DWORD written = 0;
    if (!::WriteFile(pipe_.Get(), &reply, sizeof(reply), &written, nullptr))
      return;
    ReadMessage(&ack_);
    ::DisconnectNamedPipe(pipe_.Get());
  }

  bool ReadMessage(std::string* message) {
    char buffer[256];
    DWORD size = 0;
    if (!::ReadFile(pipe_.Get(), buffer, sizeof(buffer), &size, nullptr))
      return false;
    message->assign(buffer, size);
    return true;
  }

  const std::wstring name_;
  base::win::ScopedHandle pipe_;
  std::string request_;
  std::string ack_;
  base::win::ScopedHandle served_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::thread thread_;
};

// The server end's objects: the client gets duplicates of these. The server-alive mutex is
// owned by a thread of its own, which stands for the server's life.
class ServerObjects {
 public:
  ServerObjects() {
    base::win::ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    owner_ = std::thread([this, &ready] {
      server_alive_.Set(::CreateMutexW(nullptr, TRUE, nullptr));
      ::SetEvent(ready.Get());
      ::WaitForSingleObject(end_server_.Get(), kTimeoutMs);
    });
    ::WaitForSingleObject(ready.Get(), kTimeoutMs);
  }
  ~ServerObjects() { EndServer(); }

  // Ends the mutex's owner: the mutex is abandoned, as when the server process ends.
  void EndServer() {
    ::SetEvent(end_server_.Get());
    if (owner_.joinable())
      owner_.join();
  }

  ProtocolMessage MakeResponse() const {
    ProtocolMessage reply = {};
    reply.tag = MESSAGE_TAG_REGISTRATION_RESPONSE;
    reply.id = ::GetCurrentProcessId();
    reply.dump_requested_handle = Duplicate(dump_requested.Get());
    reply.dump_generated_handle = Duplicate(dump_generated.Get());
    reply.server_alive_handle = Duplicate(server_alive_.Get());
    return reply;
  }

  base::win::ScopedHandle dump_requested{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  base::win::ScopedHandle dump_generated{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

 private:
  static uint64_t Duplicate(HANDLE handle) {
    HANDLE copy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    return reinterpret_cast<uintptr_t>(copy);
  }

  base::win::ScopedHandle server_alive_;
  base::win::ScopedHandle end_server_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::thread owner_;
};

TEST(CrashDumpClientTest, RegistersByteForByteAndHandsOverItsCrash) {
  const wchar_t kPipe[] = L"\\\\.\\pipe\\TavroCrashTest.client";
  ServerObjects objects;
  ScriptedServer server(kPipe, [&](const ProtocolMessage&) { return objects.MakeResponse(); });

  CustomInfoEntry entries[3] = {};
  const CustomClientInfo info = {entries, 3};
  CrashDumpClient client(kPipe, ::GetCurrentProcessId(), MiniDumpWithHandleData, &info);
  ASSERT_TRUE(client.Register());
  EXPECT_TRUE(client.IsRegistered());
  EXPECT_EQ(::GetCurrentProcessId(), client.server_process_id());

  ProtocolMessage request;
  ASSERT_EQ(sizeof(request), server.request().size());
  memcpy(&request, server.request().data(), sizeof(request));
  EXPECT_EQ(1u, request.tag);
  EXPECT_EQ(::GetCurrentProcessId(), request.id);
  EXPECT_EQ(static_cast<uint32_t>(MiniDumpWithHandleData), request.dump_type);
  EXPECT_EQ(0u, request.padding);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(entries), request.custom_info_entries_address);
  EXPECT_EQ(3u, request.custom_info_count);
  EXPECT_EQ(0u, request.dump_requested_handle);
  EXPECT_EQ(0u, request.dump_generated_handle);
  EXPECT_EQ(0u, request.server_alive_handle);
  // The acknowledgement: the tag and nothing else.
  ProtocolMessage expected_ack = {};
  expected_ack.tag = 3;
  ASSERT_EQ(sizeof(expected_ack), server.ack().size());
  EXPECT_EQ(0, memcmp(&expected_ack, server.ack().data(), sizeof(expected_ack)));

  // The server side of a dump request: it finds the crash at the registered addresses.
  CONTEXT context = {};
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = 0xC0000005;
  EXCEPTION_POINTERS pointers = {&record, &context};
  AssertionInfo assertion = {};
  wcscpy(assertion.expression, L"buffer != nullptr");
  assertion.type = ASSERTION_INVALID_PARAMETER;
  DWORD seen_thread = 0;
  EXCEPTION_POINTERS* seen_pointers = nullptr;
  AssertionInfo seen_assertion = {};
  std::thread server_side([&] {
    if (::WaitForSingleObject(objects.dump_requested.Get(), kTimeoutMs) != WAIT_OBJECT_0)
      return;
    seen_thread = *reinterpret_cast<const DWORD*>(request.thread_id_address);
    seen_pointers =
        *reinterpret_cast<EXCEPTION_POINTERS* const*>(request.exception_pointers_address);
    memcpy(&seen_assertion, reinterpret_cast<const void*>(request.assertion_address),
           sizeof(seen_assertion));
    ::SetEvent(objects.dump_generated.Get());
  });
  EXPECT_TRUE(client.RequestDump(&pointers, &assertion));
  server_side.join();
  EXPECT_EQ(::GetCurrentThreadId(), seen_thread);
  EXPECT_EQ(&pointers, seen_pointers);
  EXPECT_EQ(0, memcmp(&assertion, &seen_assertion, sizeof(assertion)));
}

TEST(CrashDumpClientTest, ResponseWithoutADumpGeneratedHandleLeavesTheHandlerInProcess) {
  const wchar_t kPipe[] = L"\\\\.\\pipe\\TavroCrashTest.nohandle";
  ServerObjects objects;
  ScriptedServer server(kPipe, [&](const ProtocolMessage&) {
    ProtocolMessage reply = objects.MakeResponse();
    reply.dump_generated_handle = 0;
    return reply;
  });
  CrashHandler handler(L"C:\\dumps", nullptr, nullptr, nullptr, CrashHandler::HANDLER_NONE,
                       MiniDumpNormal, kPipe, ::GetCurrentProcessId(), nullptr);
  EXPECT_FALSE(handler.IsOutOfProcess());
  // Without registration nothing is asked of a server.
  CrashDumpClient unregistered(kPipe, ::GetCurrentProcessId(), MiniDumpNormal, nullptr);
  EXPECT_FALSE(unregistered.RequestDump(nullptr, nullptr));
}

TEST(CrashDumpClientTest, AServerThatEndsEndsTheWaitForADump) {
  const wchar_t kPipe[] = L"\\\\.\\pipe\\TavroCrashTest.dies";
  ServerObjects objects;
  ScriptedServer server(kPipe, [&](const ProtocolMessage&) { return objects.MakeResponse(); });
  CrashDumpClient client(kPipe, ::GetCurrentProcessId(), MiniDumpNormal, nullptr);
  ASSERT_TRUE(client.Register());

  // The server ends while the client waits; no dump-generated signal ever comes.
  std::thread server_end([&] {
    if (::WaitForSingleObject(objects.dump_requested.Get(), kTimeoutMs) == WAIT_OBJECT_0)
      objects.EndServer();
  });
  EXCEPTION_POINTERS pointers = {};
  EXPECT_FALSE(client.RequestDump(&pointers, nullptr));
  server_end.join();
  EXPECT_NE(WAIT_OBJECT_0, ::WaitForSingleObject(objects.dump_generated.Get(), 0));
}

// Any process may serve a pipe of the reporter's name first. A client that finds the pipe
// served by a process other than its reporter sends it nothing.
TEST(CrashDumpClientTest, SendsNothingToAServerThatIsNotItsReporter) {
  const wchar_t kPipe[] = L"\\\\.\\pipe\\TavroCrashTest.squatter";
  const base::win::ScopedHandle pipe(::CreateNamedPipeW(
      kPipe, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 256, 256, 0, nullptr));
  ASSERT_TRUE(pipe.IsValid());
  std::string received;
  // What level of impersonation the client allows is the system's to enforce (Wine grants
  // more than asked): this test looks only at what reaches the squatter.
  std::thread squatter([&] {
    if (!::ConnectNamedPipe(pipe.Get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)
      return;
    // Until the client lets go of its end.
    char buffer[256];
    DWORD size = 0;
    while (::ReadFile(pipe.Get(), buffer, sizeof(buffer), &size, nullptr) ||
           ::GetLastError() == ERROR_MORE_DATA) {
      received.append(buffer, size);
    }
  });

  // The reporter this client knows is another process.
  CrashDumpClient client(kPipe, ::GetCurrentProcessId() + 4, MiniDumpNormal, nullptr);
  EXPECT_FALSE(client.Register());
  // A client that never came: connecting (anonymously) ends the squatter's wait.
  const base::win::ScopedHandle unblock(::CreateFileW(kPipe, GENERIC_READ, 0, nullptr,
                                                      OPEN_EXISTING,
                                                      SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS,
                                                      nullptr));
  squatter.join();
  EXPECT_EQ("", received);
}

}  // namespace
}  // namespace crash_reporter
