#include "base/message_loop/message_pump_io.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/stringprintf.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

struct Completion {
  IoContext* context;
  DWORD bytes_transferred;
  DWORD error;
  DWORD thread_id;
};

class RecordingHandler : public IoHandler {
 public:
  void OnIoCompleted(IoContext* context, DWORD bytes_transferred, DWORD error) override {
    completions_.push_back({context, bytes_transferred, error, ::GetCurrentThreadId()});
    if (run_loop_)
      run_loop_->Quit();
  }

  // Quits |run_loop| at the next completion.
  void QuitOnCompletion(RunLoop* run_loop) { run_loop_ = run_loop; }
  const std::vector<Completion>& completions() const { return completions_; }

 private:
  std::vector<Completion> completions_;
  RunLoop* run_loop_ = nullptr;
};

IoContext MakeContext(IoHandler* handler) {
  IoContext context = {};
  context.handler = handler;
  return context;
}

// A connected pipe: an overlapped server end and an overlapped client end, both bound to
// the current I/O loop.
class IoPipeTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring name =
        WideStringPrintf(L"\\\\.\\pipe\\tavro_io_test_%lu_%lu", ::GetCurrentProcessId(),
                         ::GetTickCount());
    server_.Set(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096,
                                   4096, 0, nullptr));
    ASSERT_TRUE(server_.IsValid());
    ASSERT_TRUE(loop_.RegisterIoHandler(server_.Get(), &server_handler_));

    IoContext connect = MakeContext(&server_handler_);
    EXPECT_FALSE(::ConnectNamedPipe(server_.Get(), &connect.overlapped));
    ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), ::GetLastError());

    client_.Set(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    ASSERT_TRUE(client_.IsValid());
    ASSERT_TRUE(loop_.RegisterIoHandler(client_.Get(), &client_handler_));

    ASSERT_TRUE(loop_.WaitForIoCompletion(5000, &server_handler_));
    ASSERT_EQ(1u, server_handler_.completions().size());
    EXPECT_EQ(&connect, server_handler_.completions()[0].context);
    EXPECT_EQ(0u, server_handler_.completions()[0].error);
  }

  MessageLoop loop_{MessageLoop::TYPE_IO};
  RecordingHandler server_handler_;
  RecordingHandler client_handler_;
  win::ScopedHandle server_;
  win::ScopedHandle client_;
};

bool StartedOrDone(BOOL result) {
  return result || ::GetLastError() == ERROR_IO_PENDING;
}

TEST_F(IoPipeTest, CompletionsRunOnTheLoopThread) {
  char buffer[64] = {};
  IoContext read = MakeContext(&server_handler_);
  ASSERT_TRUE(StartedOrDone(::ReadFile(server_.Get(), buffer, sizeof(buffer), nullptr,
                                       &read.overlapped)));
  IoContext write = MakeContext(&client_handler_);
  ASSERT_TRUE(StartedOrDone(::WriteFile(client_.Get(), "hello", 5, nullptr, &write.overlapped)));

  RunLoop run_loop;
  server_handler_.QuitOnCompletion(&run_loop);
  loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                       TimeDelta::FromSeconds(10));
  run_loop.Run();
  server_handler_.QuitOnCompletion(nullptr);
  ASSERT_EQ(2u, server_handler_.completions().size());
  const Completion& completion = server_handler_.completions()[1];
  EXPECT_EQ(&read, completion.context);
  EXPECT_EQ(5u, completion.bytes_transferred);
  EXPECT_EQ(0u, completion.error);
  EXPECT_EQ(::GetCurrentThreadId(), completion.thread_id);
  EXPECT_EQ("hello", std::string(buffer));

  if (client_handler_.completions().empty()) {
    ASSERT_TRUE(loop_.WaitForIoCompletion(5000, &client_handler_));
  }
  ASSERT_EQ(1u, client_handler_.completions().size());
  EXPECT_EQ(&write, client_handler_.completions()[0].context);
  EXPECT_EQ(5u, client_handler_.completions()[0].bytes_transferred);
}

TEST_F(IoPipeTest, WaitForIoCompletionRunsOtherCompletionsUntilItsHandlersArrives) {
  const TimeTicks start = TimeTicks::Now();
  EXPECT_FALSE(loop_.WaitForIoCompletion(50, &server_handler_));
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMilliseconds(45));

  // The write completes first (into the pipe's buffer), then the read of its data.
  IoContext write = MakeContext(&client_handler_);
  ASSERT_TRUE(StartedOrDone(::WriteFile(client_.Get(), "abc", 3, nullptr, &write.overlapped)));
  char buffer[8] = {};
  IoContext read = MakeContext(&server_handler_);
  ASSERT_TRUE(StartedOrDone(::ReadFile(server_.Get(), buffer, sizeof(buffer), nullptr,
                                       &read.overlapped)));
  ASSERT_TRUE(loop_.WaitForIoCompletion(5000, &server_handler_));
  ASSERT_EQ(1u, client_handler_.completions().size());
  ASSERT_EQ(2u, server_handler_.completions().size());
  EXPECT_EQ(3u, server_handler_.completions()[1].bytes_transferred);
}

TEST_F(IoPipeTest, FailedIoReportsTheError) {
  char buffer[8];
  IoContext read = MakeContext(&server_handler_);
  ASSERT_TRUE(StartedOrDone(::ReadFile(server_.Get(), buffer, sizeof(buffer), nullptr,
                                       &read.overlapped)));
  client_.Close();
  ASSERT_TRUE(loop_.WaitForIoCompletion(5000, &server_handler_));
  ASSERT_EQ(2u, server_handler_.completions().size());
  EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), server_handler_.completions()[1].error);
  EXPECT_EQ(0u, server_handler_.completions()[1].bytes_transferred);
}

TEST_F(IoPipeTest, ContextOfAHandlerThatWentAwayIsDeletedNotDelivered) {
  char buffer[8];
  IoContext* orphan = new IoContext(MakeContext(&server_handler_));
  ASSERT_TRUE(StartedOrDone(::ReadFile(server_.Get(), buffer, sizeof(buffer), nullptr,
                                       &orphan->overlapped)));
  orphan->handler = nullptr;
  client_.Close();
  ASSERT_TRUE(loop_.WaitForIoCompletion(5000, nullptr));
  EXPECT_EQ(1u, server_handler_.completions().size());
}

TEST(MessagePumpIoTest, RegisteringAnInvalidHandleFails) {
  MessageLoop loop(MessageLoop::TYPE_IO);
  RecordingHandler handler;
  EXPECT_FALSE(loop.RegisterIoHandler(INVALID_HANDLE_VALUE, &handler));
}

}  // namespace
}  // namespace base
