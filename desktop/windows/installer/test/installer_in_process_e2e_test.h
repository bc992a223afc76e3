#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_IN_PROCESS_E2E_TEST_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_IN_PROCESS_E2E_TEST_H_

#include <memory>
#include <string>
#include <vector>

#include "base/environment.h"
#include "base/files/file_path.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/installer_run.h"
#include "desktop/windows/installer/test/registry_snapshot.h"

namespace installer {
namespace test {

// The Installer in this process with the example package (copied to package_folder(), its
// component beside it as "suite"), in the real registry of the test prefix unless asked
// otherwise, its real files and shortcuts (in folders of the test's own), running the
// package's stubs, which record their runs in stub_log_folder(). What a test leaves in the
// real registry is compared with what was there before at the end: every kept installation
// is undone first.
//
// Besides the folders of InstallerRunTest: the 32-bit program files folder is
// program_files_x86(), whose "Internet Explorer\iexplore.exe" is a stub (the browser of
// the uninstall survey), and the taskbar pins live in taskbar_pins_folder(), where the
// package's pin helper pins.
class InstallerInProcessE2eTest : public InstallerRunTest {
 protected:
  explicit InstallerInProcessE2eTest(Registry registry = Registry::kReal);
  ~InstallerInProcessE2eTest() override;

  void SetUp() override;
  void MakePackage(const base::FilePath& folder) override;
  // The example's own package file stays as MakePackage copied it.
  void PackPackage() override {}
  void TearDown() override;

  // Runs an installer with |switches| that stays until the end of the test, when its
  // changes are undone; its observer is returned.
  RecordingInstallerObserver* Run(const std::wstring& switches);

  // Deletes the autoupdate task of the installation |app_id| at the end of the test, should
  // the test not have removed it.
  void DeleteTaskAtEnd(const std::string& app_id) { app_ids_.push_back(app_id); }

  // Deletes the keys and values that were added to the registry since the test started
  // (what an uninstallation keeps, say), so that it is left as it was.
  void DeleteAddedRegistryEntries();

  InstallStatus ReadStatusFile() const;
  std::vector<StubInvocation> Invocations(const std::wstring& program) const;
  // A copy of the stub program under |name| in |folder| (made when missing).
  base::FilePath CopyStub(const base::FilePath& folder, const std::wstring& name) const;

  const base::FilePath& stub_log_folder() const { return stub_log_folder_; }
  const base::FilePath& program_files_x86() const { return program_files_x86_; }
  const base::FilePath& taskbar_pins_folder() const { return taskbar_pins_folder_; }
  const RegistrySnapshot& registry_before() const { return registry_before_; }

 private:
  const std::unique_ptr<base::Environment> environment_ = base::Environment::Create();
  base::FilePath stub_log_folder_;
  base::FilePath program_files_x86_;
  base::FilePath taskbar_pins_folder_;
  std::vector<std::unique_ptr<base::ScopedPathOverride>> path_overrides_;
  RegistrySnapshot registry_before_;
  std::vector<std::unique_ptr<RecordingInstallerObserver>> observers_;
  std::vector<std::unique_ptr<Installer>> installers_;
  std::vector<std::string> app_ids_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_IN_PROCESS_E2E_TEST_H_
