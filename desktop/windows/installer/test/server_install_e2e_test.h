#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_SERVER_INSTALL_E2E_TEST_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_SERVER_INSTALL_E2E_TEST_H_

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/values.h"
#include "desktop/windows/installer/test/installer_e2e_test.h"
#include "desktop/windows/installer/test/registry_snapshot.h"

namespace installer {
namespace test {

// The fixture of the tests that install from server() for real, silently or through the
// window: the registry is captured before each test, and what the test added to it is
// removed after, including what an uninstallation keeps by design (the last install folder,
// emptied keys), so that the next test finds the registry as this one did.
class ServerInstallE2eTest : public InstallerE2eTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  base::FilePath install_folder() const { return work_folder().Append(L"Tavro Browser"); }
  base::FilePath download_folder() const { return temp_folder().Append(L"Tavro Installer"); }

  // The registry holds nothing that was not there before the test.
  void ExpectRegistryUnchanged() const;
  // What the registry held when the test started.
  const RegistrySnapshot& registry_before() const { return registry_before_; }
  // The download folder holds nothing but the installers' logs.
  void ExpectDownloadFolderClean() const;
  // Uninstalls silently what the test installed, with the installer the installation keeps,
  // and expects the browser and its uninstall entry gone.
  void Uninstall();
  // The last statistics report the server received; a failure and an empty report when
  // none came.
  std::unique_ptr<base::DictionaryValue> LastStatsReport();

 private:
  // Puts the value |name| of HKEY_CURRENT_USER\|key| back as it was before the test.
  void RestoreValue(const std::wstring& key, const std::wstring& name) const;

  RegistrySnapshot registry_before_;
};

// The uninstall entry (either root, the 32-bit view) whose InstallLocation is |folder|; its
// key name, empty when there is none.
std::wstring FindUninstallEntry(const base::FilePath& folder);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_SERVER_INSTALL_E2E_TEST_H_
