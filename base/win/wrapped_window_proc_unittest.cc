#include "base/win/wrapped_window_proc.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/test/child_test_process.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

constexpr DWORD kTimeoutMs = 60000;
// A continuable exception of the error class, and what the filter of the child tests ends
// the child with.
constexpr DWORD kRecoverableError = 0xE0000F11;
constexpr DWORD kFilterExitCode = 0x7E57;
constexpr UINT kRaise = WM_APP + 1;
constexpr UINT kProbe = WM_APP + 2;
constexpr UINT kCrashInATask = WM_APP + 3;

EXCEPTION_POINTERS* g_seen_info = nullptr;
int g_filter_calls = 0;
DWORD g_seen_code = 0;

int ExecuteHandlerFilter(EXCEPTION_POINTERS* info) {
  g_seen_info = info;
  return EXCEPTION_EXECUTE_HANDLER;
}

int ContinueExecutionFilter(EXCEPTION_POINTERS* info) {
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Resumes only the exception the test raises: a fault wrongly seen here still goes on to
// whoever handles it.
int CountingFilter(EXCEPTION_POINTERS* info) {
  ++g_filter_calls;
  g_seen_code = info->ExceptionRecord->ExceptionCode;
  return g_seen_code == kRecoverableError ? EXCEPTION_CONTINUE_EXECUTION
                                          : EXCEPTION_CONTINUE_SEARCH;
}

int EndProcessFilter(EXCEPTION_POINTERS* info) {
  ::TerminateProcess(::GetCurrentProcess(), kFilterExitCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kRaise:
      ::RaiseException(kRecoverableError, 0, 0, nullptr);
      return 7;
    case kProbe:
      // The system handles the fault of reading a bad address inside the call.
      return ::IsBadReadPtr(reinterpret_cast<const void*>(0x10), 4) ? 8 : 0;
    case kCrashInATask: {
      // A task that crashes, run by the message pump's window while this procedure runs a
      // message loop of its own, as a modal loop of the system does.
      MessageLoop::Current()->task_runner()->PostTask(FROM_HERE, BindLambda([] {
                                                        volatile int* volatile address = nullptr;
                                                        *address = 1;
                                                      }));
      MSG loop_message;
      while (::GetMessageW(&loop_message, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&loop_message);
      return 0;
    }
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

// A message-only window (tests need no display); |wrapped| chooses the guarded procedure.
HWND CreateTestWindow(bool wrapped) {
  const wchar_t* class_name = wrapped ? L"WrappedWindowProcTest" : L"PlainWindowProcTest";
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = wrapped ? &WrappedWindowProc<&TestWindowProc> : &TestWindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = class_name;
  ::RegisterClassExW(&window_class);
  return ::CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           window_class.hInstance, nullptr);
}

TEST(WrappedWindowProcTest, ReplacesAndCallsTheFilter) {
  const WinProcExceptionFilter original = SetWindowProcExceptionFilter(&ExecuteHandlerFilter);
  EXCEPTION_POINTERS info = {};
  EXPECT_EQ(EXCEPTION_EXECUTE_HANDLER, CallExceptionFilter(&info));
  EXPECT_EQ(&info, g_seen_info);

  EXPECT_EQ(&ExecuteHandlerFilter, SetWindowProcExceptionFilter(&ContinueExecutionFilter));
  EXPECT_EQ(EXCEPTION_CONTINUE_EXECUTION, CallExceptionFilter(&info));

  EXPECT_EQ(&ContinueExecutionFilter, SetWindowProcExceptionFilter(nullptr));
  EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, CallExceptionFilter(&info));
  SetWindowProcExceptionFilter(original);
}

TEST(WrappedWindowProcTest, OnlyExceptionsEscapingTheProcedureReachTheFilter) {
  const WinProcExceptionFilter original = SetWindowProcExceptionFilter(&CountingFilter);
  const HWND window = CreateTestWindow(true);
  ASSERT_TRUE(window);
  g_filter_calls = 0;
  // The filter resumes the raising code: the procedure returns normally.
  EXPECT_EQ(7, ::SendMessageW(window, kRaise, 0, 0));
  EXPECT_EQ(1, g_filter_calls);
  EXPECT_EQ(kRecoverableError, g_seen_code);
  // A fault that code inside the procedure handles never reaches it.
  EXPECT_EQ(8, ::SendMessageW(window, kProbe, 0, 0));
  EXPECT_EQ(1, g_filter_calls);
  ::DestroyWindow(window);
  SetWindowProcExceptionFilter(original);
}

TEST(WrappedWindowProcTest, DISABLED_CrashesInATaskOfTheMessagePump) {
  if (!test::IsChildTest())
    return;
  // Reaching the unhandled-exception filter instead ends the child with the crash's code.
  test::EndProcessOnCrash();
  SetWindowProcExceptionFilter(&EndProcessFilter);
  MessageLoop loop(MessageLoop::TYPE_UI);
  const HWND window = CreateTestWindow(false);
  ::PostMessageW(window, kCrashInATask, 0, 0);
  RunLoop().Run();
}

TEST(WrappedWindowProcTest, ACrashInATaskOfTheMessagePumpWindowReachesTheFilter) {
  Process child =
      test::StartChildTest("WrappedWindowProcTest.DISABLED_CrashesInATaskOfTheMessagePump");
  ASSERT_TRUE(child.IsValid());
  DWORD exit_code = 0;
  const bool ended = child.WaitForExitWithTimeout(kTimeoutMs, &exit_code);
  if (!ended)
    child.Terminate(1);
  ASSERT_TRUE(ended);
  EXPECT_EQ(kFilterExitCode, exit_code);
}

}  // namespace
}  // namespace win
}  // namespace base
