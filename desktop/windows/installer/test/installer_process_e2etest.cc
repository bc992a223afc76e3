#include "desktop/windows/installer/test/installer_process.h"

#include <string>

#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/installer_e2e_test.h"
#include "gtest/gtest-spi.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

using TestProcessE2eTest = InstallerE2eTest;

TEST_F(TestProcessE2eTest, PastItsDeadlineAProgramIsKilledWithWhatItStarted) {
  // cmd starts the browser, which stays running: both are ended at the deadline.
  StubHold hold(L"tavro.exe");
  ASSERT_TRUE(hold.IsValid());
  ProcessOptions options = MakeProcessOptions();
  options.environment.push_back(hold.GetEnvironment());
  options.timeout = base::TimeDelta::FromSeconds(1);
  const base::FilePath browser = ExamplePackage::Current().package_folder().Append(L"tavro.exe");

  // An installer log longer than what the failure shows of it.
  const base::FilePath log_folder = temp_folder().Append(L"Tavro Installer");
  ASSERT_TRUE(base::CreateDirectory(log_folder));
  std::string log;
  for (int line = 1; line <= 50; ++line)
    log += "log line " + std::to_string(line) + "\n";
  ASSERT_EQ(static_cast<int>(log.size()),
            base::WriteFileFromBuffer(log_folder.Append(L"tavro_installer_20260102030405.log"),
                                      log.data(), static_cast<int>(log.size())));

  TestProcess process;
  ASSERT_TRUE(process.Start(L"cmd.exe /c echo started & \"" + browser.value() + L"\"", options));
  // The deadline may pass meanwhile: the wait below then ends at once.
  ASSERT_TRUE(
      WaitForStubInvocations(stub_log_folder(), L"tavro.exe", 1, base::TimeDelta::FromSeconds(60)));
  ::testing::TestPartResultArray failures;
  ProcessResult result;
  {
    const ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
    result = process.Wait();
  }
  EXPECT_TRUE(result.timed_out);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_NE(std::string::npos, result.output.find("started")) << result.output;

  const std::vector<StubInvocation> runs = ReadStubInvocations(L"tavro.exe");
  ASSERT_EQ(1u, runs.size());
  // The failure names what still ran, each with the process that started it, and shows the
  // end of the log.
  ASSERT_EQ(1, failures.size());
  const std::string message = failures.GetTestPartResult(0).message();
  EXPECT_NE(std::string::npos, message.find("ran longer than 1 s")) << message;
  EXPECT_NE(std::string::npos,
            message.find(base::StringPrintf("%lu, started by ", runs[0].pid)))
      << message;
  EXPECT_NE(std::string::npos, message.find("tavro.exe")) << message;
  EXPECT_NE(std::string::npos,
            message.find("==== the end of tavro_installer_20260102030405.log\nlog line 11\n"))
      << message;
  EXPECT_EQ(std::string::npos, message.find("log line 10\n")) << message;
  EXPECT_NE(std::string::npos, message.find("log line 50\n")) << message;
  const base::Process left = base::Process::Open(runs[0].pid);
  EXPECT_TRUE(!left.IsValid() || left.WaitForExitWithTimeout(10000, nullptr));
}

TEST_F(TestProcessE2eTest, WaitsForTheProcessesTheProgramStarted) {
  // "start" returns at once; the browser it started records its run before the wait ends.
  const base::FilePath browser = ExamplePackage::Current().package_folder().Append(L"tavro.exe");
  const ProcessResult result =
      RunProcess(L"cmd.exe /c start \"\" /b \"" + browser.value() + L"\" --started-by-cmd",
                 MakeProcessOptions());
  EXPECT_TRUE(result.Succeeded()) << result.Describe();
  EXPECT_EQ(1u, ReadStubInvocations(L"tavro.exe").size());
}

// A process that never runs (here: made suspended, as Wine leaves one whose parent is ended
// while it starts it) is ended; one that runs is left to be waited for.
TEST_F(TestProcessE2eTest, AChildThatNeverRanIsEndedAndOneThatRunsIsLeft) {
  StubHold hold(L"tavro.exe");
  ASSERT_TRUE(hold.IsValid());
  ProcessOptions options = MakeProcessOptions();
  options.environment.push_back(hold.GetEnvironment());
  const base::FilePath browser = ExamplePackage::Current().package_folder().Append(L"tavro.exe");
  TestProcess running;
  ASSERT_TRUE(running.Start(L"\"" + browser.value() + L"\" --runs", options));
  base::LaunchOptions launch;
  launch.environment = options.environment;
  launch.creation_flags = CREATE_SUSPENDED;
  const base::Process never_ran = base::LaunchProcess(L"\"" + browser.value() + L"\"", launch);
  ASSERT_TRUE(never_ran.IsValid());
  EXPECT_TRUE(
      WaitForStubInvocations(stub_log_folder(), L"tavro.exe", 1, base::TimeDelta::FromSeconds(60)));

  // Only the browsers are judged: the test's other children are no part of this.
  const auto ran = [this](DWORD pid, const std::wstring& image) {
    if (!base::FilePath::CompareEqualIgnoreCase(image, L"tavro.exe"))
      return true;
    for (const StubInvocation& run : ReadStubInvocations(L"tavro.exe")) {
      if (run.pid == pid)
        return true;
    }
    return false;
  };
  EXPECT_EQ(std::vector<DWORD>{never_ran.Pid()},
            EndChildrenThatNeverRan(::GetCurrentProcessId(), ran,
                                    base::TimeDelta::FromSeconds(2)));
  DWORD exit_code = 0;
  EXPECT_TRUE(never_ran.WaitForExitWithTimeout(10000, &exit_code));
  EXPECT_NE(0u, exit_code);
  EXPECT_TRUE(running.IsRunning());
  hold.Release();
  EXPECT_TRUE(running.Wait().Succeeded());
  EXPECT_EQ(1u, ReadStubInvocations(L"tavro.exe").size());
  never_ran.Terminate(1);
}

}  // namespace
}  // namespace test
}  // namespace installer
