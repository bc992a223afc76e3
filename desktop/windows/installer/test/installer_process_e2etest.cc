#include "desktop/windows/installer/test/installer_process.h"

#include "base/process/process.h"
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

  TestProcess process;
  ASSERT_TRUE(process.Start(L"cmd.exe /c echo started & \"" + browser.value() + L"\"", options));
  // The deadline may pass meanwhile: the wait below then ends at once.
  ASSERT_TRUE(
      WaitForStubInvocations(stub_log_folder(), L"tavro.exe", 1, base::TimeDelta::FromSeconds(60)));
  ProcessResult result;
  EXPECT_NONFATAL_FAILURE(result = process.Wait(), "ran longer than 1 s");
  EXPECT_TRUE(result.timed_out);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_NE(std::string::npos, result.output.find("started")) << result.output;

  const std::vector<StubInvocation> runs = ReadStubInvocations(L"tavro.exe");
  ASSERT_EQ(1u, runs.size());
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

}  // namespace
}  // namespace test
}  // namespace installer
