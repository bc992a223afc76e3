#include "base/log_file_lock.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/process/process.h"
#include "base/test/child_test_process.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace logging {
namespace {

constexpr wchar_t kLogFileVariable[] = L"TAVRO_TEST_LOCKED_LOG_FILE";
constexpr wchar_t kHeldEventVariable[] = L"TAVRO_TEST_LOCK_HELD_EVENT";

std::wstring GetVariable(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length && length < MAX_PATH ? value : L"";
}

// Takes the lock of the parent's file, tells the parent, and keeps it until it is ended.
TEST(LogFileLockChild, DISABLED_HoldsTheLock) {
  if (!base::test::IsChildTest())
    return;
  std::unique_ptr<LogFileLock> lock = LogFileLock::Create(GetVariable(kLogFileVariable));
  ASSERT_TRUE(lock && lock->Acquire());
  base::win::ScopedHandle held(
      ::OpenEventW(EVENT_MODIFY_STATE, FALSE, GetVariable(kHeldEventVariable).c_str()));
  ASSERT_TRUE(held.IsValid());
  ::SetEvent(held.Get());
  ::Sleep(60000);
}

// A live holder keeps the lock for as long as a writer waits (the writer then puts its line
// elsewhere); one that was ended while it held it gives it up to the next writer.
TEST(LogFileLockTest, AnEndedHolderGivesTheLockUp) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
  // Only the name counts; the file itself is never made.
  const std::wstring log_file = std::wstring(temp) + L"tavro_log_file_lock_test_" +
                                std::to_wstring(::GetCurrentProcessId()) + L".log";
  const std::wstring held_name =
      L"Local\\tavro_log_file_lock_test_held_" + std::to_wstring(::GetCurrentProcessId());
  base::win::ScopedHandle held(::CreateEventW(nullptr, TRUE, FALSE, held_name.c_str()));
  ASSERT_TRUE(held.IsValid());
  base::LaunchOptions options;
  options.environment = {{kLogFileVariable, log_file}, {kHeldEventVariable, held_name}};
  base::Process holder = base::test::StartChildTest("LogFileLockChild.DISABLED_HoldsTheLock",
                                                    options);
  ASSERT_TRUE(holder.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held.Get(), 30000));

  // Another spelling of the same path names the same lock.
  std::wstring other_spelling = log_file;
  for (wchar_t& c : other_spelling)
    c = static_cast<wchar_t>(::towupper(c));
  std::unique_ptr<LogFileLock> lock = LogFileLock::Create(other_spelling);
  ASSERT_TRUE(lock);
  EXPECT_FALSE(lock->Acquire());
  // Having waited its longest once, it no longer waits for that holder while it holds.
  EXPECT_FALSE(lock->Acquire());

  ASSERT_TRUE(::TerminateProcess(holder.Handle(), 1));
  DWORD exit_code = 0;
  ASSERT_TRUE(holder.WaitForExitWithTimeout(30000, &exit_code));
  ASSERT_TRUE(lock->Acquire());
  lock->Release();
  // Given back, it is free for the next line.
  ASSERT_TRUE(lock->Acquire());
  lock->Release();
}

}  // namespace
}  // namespace logging
