#include "base/win/wrapped_window_proc.h"

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

EXCEPTION_POINTERS* g_seen_info = nullptr;

int ExecuteHandlerFilter(EXCEPTION_POINTERS* info) {
  g_seen_info = info;
  return EXCEPTION_EXECUTE_HANDLER;
}

int ContinueExecutionFilter(EXCEPTION_POINTERS* info) {
  return EXCEPTION_CONTINUE_EXECUTION;
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

}  // namespace
}  // namespace win
}  // namespace base
