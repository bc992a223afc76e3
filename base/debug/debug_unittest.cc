#include <windows.h>

#include "base/debug/alias.h"
#include "base/debug/instrumented_module.h"
#include "base/debug/stack_trace.h"
#include "gtest/gtest.h"

namespace base {
namespace debug {
namespace {

// The module that holds |address|.
HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<LPCWSTR>(address), &module);
  return module;
}

TEST(DebugTest, StackTraceStartsInTheCallersModule) {
  const StackTrace trace;
  ASSERT_GT(trace.count(), 1u);
  ASSERT_LE(trace.count(), StackTrace::kMaxFrames);
  EXPECT_EQ(::GetModuleHandleW(nullptr), ModuleOf(trace.addresses()[0]));
  int value = 42;
  DebugAlias(&value);
}

TEST(DebugTest, TestProgramsAreNotInstrumented) {
  EXPECT_FALSE(IsModuleInstrumented());
  // Cached: the same answer again.
  EXPECT_FALSE(IsModuleInstrumented());
}

}  // namespace
}  // namespace debug
}  // namespace base
