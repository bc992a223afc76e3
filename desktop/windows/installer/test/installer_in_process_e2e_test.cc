#include "desktop/windows/installer/test/installer_in_process_e2e_test.h"

#include <windows.h>

#include <utility>

#include "base/files/file_util.h"
#include "base/path_registry.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/taskbar_pins.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"

namespace installer {
namespace test {

InstallerInProcessE2eTest::InstallerInProcessE2eTest(Registry registry)
    : InstallerRunTest(registry) {}

InstallerInProcessE2eTest::~InstallerInProcessE2eTest() = default;

void InstallerInProcessE2eTest::SetUp() {
  ASSERT_TRUE(ExamplePackage::Current().IsBuilt()) << "the build made no example package";
  InstallerRunTest::SetUp();
  if (HasFatalFailure())
    return;
  // What the test installs into the real registry is undone at its end.
  KeepUndoOfSuccessfulRuns();
  stub_log_folder_ = temp_root().Append(L"stubs");
  ASSERT_TRUE(base::CreateDirectory(stub_log_folder_));
  // The package's programs that the installer starts record their runs there.
  ASSERT_TRUE(environment_->SetVar(base::Utf16ToUtf8(kStubLogFolderVariable),
                                   stub_log_folder_.ToUtf8()));
  program_files_x86_ = temp_root().Append(L"ProgramFilesX86");
  ASSERT_FALSE(CopyStub(program_files_x86_.Append(L"Internet Explorer"), L"iexplore.exe").empty());
  path_overrides_.push_back(std::make_unique<base::ScopedPathOverride>(
      base::DIR_PROGRAM_FILESX86, program_files_x86_, true, false));
  ASSERT_TRUE(path_overrides_.back()->IsValid());
  taskbar_pins_folder_ = temp_root().Append(L"TaskBar");
  ASSERT_TRUE(base::CreateDirectory(taskbar_pins_folder_));
  SetTaskbarPinsFolderForTesting(taskbar_pins_folder_);
  // The package's pin helper pins there.
  ASSERT_TRUE(environment_->SetVar(base::Utf16ToUtf8(kStubPinFolderVariable),
                                   taskbar_pins_folder_.ToUtf8()));
  registry_before_ = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
}

void InstallerInProcessE2eTest::MakePackage(const base::FilePath& folder) {
  base::FilePath copy;
  ASSERT_TRUE(ExamplePackage::Current().CopyTo(folder.DirName(), &copy));
  ASSERT_EQ(folder, copy);
}

void InstallerInProcessE2eTest::TearDown() {
  for (auto it = installers_.rbegin(); it != installers_.rend(); ++it)
    InstallerTestPeer::RollBack(it->get());
  installers_.clear();
  for (const std::string& app_id : app_ids_)
    DeleteAutoupdateTask(app_id);
  if (uses_real_registry()) {
    const auto differences = CompareSnapshots(
        registry_before_, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
        RegistrySnapshot::DefaultAllowList());
    EXPECT_TRUE(differences.empty()) << FormatDifferences(differences);
  }
  SetTaskbarPinsFolderForTesting(base::FilePath());
  path_overrides_.clear();
  environment_->UnSetVar(base::Utf16ToUtf8(kStubLogFolderVariable));
  environment_->UnSetVar(base::Utf16ToUtf8(kStubPinFolderVariable));
  InstallerRunTest::TearDown();
}

RecordingInstallerObserver* InstallerInProcessE2eTest::Run(const std::wstring& switches) {
  observers_.push_back(std::make_unique<RecordingInstallerObserver>());
  RecordingInstallerObserver* observer = observers_.back().get();
  std::unique_ptr<Installer> installer;
  EXPECT_TRUE(RunInstaller(switches, observer, &installer));
  InstallerTestPeer::ReleaseUndoJournal(installer.get());
  if (installer->succeeded()) {
    InstallStatus status;
    if (LoadInstallStatus(install_folder().Append(kInstallStatusFileName), &status))
      app_ids_.push_back(status.app_id);
  }
  installers_.push_back(std::move(installer));
  return observer;
}

void InstallerInProcessE2eTest::DeleteAddedRegistryEntries() {
  test::DeleteAddedRegistryEntries(registry_before_);
}

InstallStatus InstallerInProcessE2eTest::ReadStatusFile() const {
  InstallStatus status;
  EXPECT_TRUE(LoadInstallStatus(install_folder().Append(kInstallStatusFileName), &status));
  return status;
}

std::vector<StubInvocation> InstallerInProcessE2eTest::Invocations(
    const std::wstring& program) const {
  return ReadStubInvocations(stub_log_folder_, program);
}

base::FilePath InstallerInProcessE2eTest::CopyStub(const base::FilePath& folder,
                                                   const std::wstring& name) const {
  const base::FilePath copy = folder.Append(name);
  if (!base::CreateDirectory(folder) ||
      !base::CopySingleFile(ExamplePackage::Current().package_folder().Append(L"tavro.exe"),
                            copy)) {
    ADD_FAILURE() << "Cannot copy the stub to " << copy;
    return base::FilePath();
  }
  return copy;
}

}  // namespace test
}  // namespace installer
