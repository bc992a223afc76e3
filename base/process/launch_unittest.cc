#include "base/process/launch.h"

#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/process/launch_lock.h"
#include "base/process/process.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr char kHandlesVariable[] = "TAVRO_TEST_HANDLES";
constexpr char kRemovedVariable[] = "TAVRO_TEST_REMOVED_VARIABLE";
constexpr size_t kLargeOutputSize = 1 << 20;

TEST(GetAppOutputTest, CapturesOutput) {
  std::string output;
  ASSERT_TRUE(GetAppOutput(std::wstring_view(L"cmd.exe /c echo hello"), &output));
  EXPECT_EQ("hello\r\n", output);

  // Options of the child apply, and standard error is captured on request.
  LaunchOptions options;
  FilePath folder;
  ASSERT_TRUE(GetTempDir(&folder));
  options.current_directory = folder;
  DWORD exit_code = 0;
  ASSERT_TRUE(GetAppOutputWithOptions(L"cmd.exe /c cd & echo oops 1>&2 & exit 3", options,
                                      true, &output, &exit_code));
  EXPECT_EQ(3u, exit_code);
  EXPECT_EQ(0u, output.find(folder.ToUtf8() + "\r\n")) << output;
  EXPECT_NE(std::string::npos, output.find("oops")) << output;

  EXPECT_FALSE(GetAppOutput(std::wstring_view(L"tavro_no_such_program.exe"), &output));
}

TEST(GetAppOutputChild, DISABLED_WritesLargeOutput) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  const std::string block(4096, 'x');
  for (size_t written = 0; written < kLargeOutputSize; written += block.size()) {
    DWORD count = 0;
    ASSERT_TRUE(::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), block.data(),
                            static_cast<DWORD>(block.size()), &count, nullptr));
  }
}

TEST(GetAppOutputTest, ReadsLargeOutputWithoutBlocking) {
  const test::ChildTestResult result =
      test::RunChildTest("GetAppOutputChild.DISABLED_WritesLargeOutput");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(0u, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find(std::string(kLargeOutputSize, 'x')));
}

TEST(LaunchProcessTest, WaitsAndReportsExitCodes) {
  LaunchOptions options;
  options.start_hidden = true;
  Process process = LaunchProcess(std::wstring_view(L"cmd.exe /c exit 7"), options);
  ASSERT_TRUE(process.IsValid());
  EXPECT_NE(0u, process.Pid());
  DWORD exit_code = 0;
  EXPECT_TRUE(process.WaitForExit(&exit_code));
  EXPECT_EQ(7u, exit_code);

  // With |wait| the child has ended on return.
  options.wait = true;
  process = LaunchProcess(std::wstring_view(L"cmd.exe /c exit 5"), options);
  ASSERT_TRUE(process.IsValid());
  EXPECT_TRUE(process.WaitForExitWithTimeout(0, &exit_code));
  EXPECT_EQ(5u, exit_code);

  EXPECT_FALSE(LaunchProcess(std::wstring_view(L"tavro_no_such_program.exe"), LaunchOptions())
                   .IsValid());
}

TEST(LaunchProcessTest, TimesOutOpensAndTerminates) {
  // cmd waits for commands on a pipe that stays empty.
  HANDLE read_handle = nullptr;
  HANDLE write_handle = nullptr;
  ASSERT_TRUE(::CreatePipe(&read_handle, &write_handle, nullptr, 0));
  win::ScopedHandle read_end(read_handle);
  win::ScopedHandle write_end(write_handle);
  LaunchOptions options;
  options.stdin_handle = read_end.Get();
  Process process = LaunchProcess(std::wstring_view(L"cmd.exe"), options);
  ASSERT_TRUE(process.IsValid());

  DWORD exit_code = 0;
  EXPECT_FALSE(process.WaitForExitWithTimeout(50, &exit_code));

  Process opened = Process::Open(process.Pid(), SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
  ASSERT_TRUE(opened.IsValid());
  EXPECT_EQ(process.Pid(), opened.Pid());

  EXPECT_TRUE(process.Terminate(9));
  EXPECT_TRUE(opened.WaitForExit(&exit_code));
  EXPECT_EQ(9u, exit_code);
  // Ending an ended process is no failure.
  EXPECT_TRUE(process.Terminate(10));

  opened.Close();
  EXPECT_FALSE(opened.IsValid());
  EXPECT_EQ(0u, opened.Pid());
  EXPECT_FALSE(Process::Open(0xFFFFFFF0u).IsValid());
}

TEST(LaunchProcessTest, PutsTheChildInItsJobBeforeItRuns) {
  win::ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
  ASSERT_TRUE(job.IsValid());
  LaunchOptions options;
  options.start_hidden = true;
  options.job_handle = job.Get();
  // A grandchild that waits: ending the job ends it too.
  Process process =
      LaunchProcess(std::wstring_view(L"cmd.exe /c ping -n 30 127.0.0.1 >nul"), options);
  ASSERT_TRUE(process.IsValid());
  BOOL in_job = FALSE;
  ASSERT_TRUE(::IsProcessInJob(process.Handle(), job.Get(), &in_job));
  EXPECT_TRUE(in_job);
  ASSERT_TRUE(::TerminateJobObject(job.Get(), 4));
  DWORD exit_code = 0;
  ASSERT_TRUE(process.WaitForExitWithTimeout(10000, &exit_code));
  EXPECT_EQ(4u, exit_code);
}

// Signals every event whose handle value is listed in the environment; the parent sees which
// of its events the child could reach.
TEST(LaunchProcessChild, DISABLED_SignalsListedHandles) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  std::unique_ptr<Environment> environment = Environment::Create();
  EXPECT_FALSE(environment->HasVar(kRemovedVariable));
  std::string handles;
  ASSERT_TRUE(environment->GetVar(kHandlesVariable, &handles));
  size_t start = 0;
  while (start < handles.size()) {
    size_t end = handles.find(',', start);
    if (end == std::string::npos)
      end = handles.size();
    const unsigned long long value = strtoull(handles.substr(start, end - start).c_str(),
                                              nullptr, 16);
    ::SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)));
    start = end + 1;
  }
}

TEST(LaunchProcessTest, InheritsOnlyListedHandles) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  win::ScopedHandle listed(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  win::ScopedHandle unlisted(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  ASSERT_TRUE(listed.IsValid());
  ASSERT_TRUE(unlisted.IsValid());

  char values[64];
  snprintf(values, sizeof(values), "%llx,%llx",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(listed.Get())),
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(unlisted.Get())));
  // Also checks the environment changes: one variable added, one removed.
  std::unique_ptr<Environment> environment = Environment::Create();
  ASSERT_TRUE(environment->SetVar(kRemovedVariable, "1"));
  LaunchOptions options;
  options.handles_to_inherit.push_back(listed.Get());
  options.environment.emplace_back(Utf8ToUtf16(kHandlesVariable), Utf8ToUtf16(values));
  options.environment.emplace_back(Utf8ToUtf16(kRemovedVariable), L"");
  const test::ChildTestResult result =
      test::RunChildTest("LaunchProcessChild.DISABLED_SignalsListedHandles", options);
  environment->UnSetVar(kRemovedVariable);

  ASSERT_TRUE(result.started);
  EXPECT_EQ(0u, result.exit_code) << result.output;
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(listed.Get(), 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(unlisted.Get(), 0));
}

DWORD CALLBACK TakeLaunchLock(void* acquired_event) {
  AutoLaunchLock lock(GetLaunchLock());
  ::SetEvent(acquired_event);
  return 0;
}

TEST(LaunchLockTest, ReentrantForItsOwnerExclusiveForOthers) {
  win::ScopedHandle acquired(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  win::ScopedHandle thread;
  {
    AutoLaunchLock lock(GetLaunchLock());
    // Starting a child while holding the lock, as code with inheritable handles does.
    std::string output;
    EXPECT_TRUE(GetAppOutput(std::wstring_view(L"cmd.exe /c echo held"), &output));
    EXPECT_EQ("held\r\n", output);

    thread.Set(::CreateThread(nullptr, 0, &TakeLaunchLock, acquired.Get(), 0, nullptr));
    ASSERT_TRUE(thread.IsValid());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(acquired.Get(), 100));
  }
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(acquired.Get(), 10000));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(thread.Get(), 10000));
}

}  // namespace
}  // namespace base
