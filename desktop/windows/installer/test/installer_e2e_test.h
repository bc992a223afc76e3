#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_E2E_TEST_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_E2E_TEST_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/installer/test/autoupdate_server.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_deadline.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

// The fixture of the end-to-end tests. Each test gets, below a temp folder of its own:
// - "temp": TEMP and TMP of every program it runs, so their logs ("Tavro Installer\...")
//   and download folders are the test's own;
// - "stubs": where the example package's stubs record their runs;
// - "host": a copy of the host whose autoupdate server is server(), which serves the
//   current example package;
// - work_folder(): for the test's own files (install folders, package copies).
//
//   TEST_F(InstallerE2eTest, InstallsSilently) {
//     ProcessResult run = RunHost(L"--silent --installfolder=" + ...);
//     ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
//   }
class InstallerE2eTest : public ::testing::Test {
 protected:
  InstallerE2eTest();
  ~InstallerE2eTest() override;

  void SetUp() override;

  const base::FilePath& temp_folder() const { return temp_folder_; }
  const base::FilePath& stub_log_folder() const { return stub_log_folder_; }
  const base::FilePath& work_folder() const { return work_folder_; }
  const base::FilePath& host() const { return host_; }
  AutoupdateServer& server() { return server_; }

  // TEMP, TMP and the stubs' log folder set; the default deadline.
  ProcessOptions MakeProcessOptions() const;
  // Runs the test host with |arguments| (quoted as they should reach it).
  ProcessResult RunHost(const std::wstring& arguments);
  ProcessResult RunHost(const std::wstring& arguments, const ProcessOptions& options);

  // Every installer log of the test, oldest first: for failure messages.
  std::string ReadLogs() const;
  std::vector<StubInvocation> ReadStubInvocations(const std::wstring& program) const;

 private:
  // First, so that it also covers the tear-down of everything below.
  TestDeadline deadline_{base::TimeDelta::FromMinutes(5)};
  base::ScopedTempDir root_;
  base::FilePath temp_folder_;
  base::FilePath stub_log_folder_;
  base::FilePath work_folder_;
  base::FilePath host_;
  AutoupdateServer server_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_E2E_TEST_H_
