#include "desktop/windows/installer/folder_permission_helper.h"

#include <windows.h>

#include <thread>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/user_names.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

base::win::ScopedHandle CreateEvent(const base::FilePath& folder, const wchar_t* base_name,
                                    bool global) {
  return base::win::ScopedHandle(
      ::CreateEventW(nullptr, TRUE, FALSE, MakeObjectName(folder, base_name, global).c_str()));
}

base::CommandLine HelperCommandLine(const base::FilePath& folder) {
  base::CommandLine command_line(base::FilePath(L"installer.exe"));
  command_line.AppendSwitchPath("set-folder-permission", folder);
  command_line.AppendSwitchNative("permissions-for-user", GetCurrentUserName());
  return command_line;
}

class FolderPermissionHelperTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    folder_ = temp_.GetPath().Append(L"Install");
  }
  base::ScopedTempDir temp_;
  base::FilePath folder_;
};

TEST_F(FolderPermissionHelperTest, GrantsUntilUndoneThenPutsTheOldListBack) {
  base::win::ScopedHandle give = CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  ASSERT_TRUE(give.IsValid() && undo.IsValid());

  const base::CommandLine command_line = HelperCommandLine(folder_);
  base::win::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread helper([&] {
    RunFolderPermissionHelper(command_line, base::TimeDelta::FromMilliseconds(50));
    ::SetEvent(done.Get());
  });
  // The folder is made and the grant announced; the helper then holds it until told.
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 10000));
  EXPECT_TRUE(base::DirectoryExists(folder_));
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(done.Get(), 200));
  ::SetEvent(undo.Get());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(done.Get(), 10000));
  helper.join();
}

TEST_F(FolderPermissionHelperTest, PermanentGrantEndsAtOnce) {
  base::win::ScopedHandle give = CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  base::CommandLine command_line = HelperCommandLine(folder_);
  command_line.AppendSwitch("permanent-permissions");
  RunFolderPermissionHelper(command_line);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 0));
}

TEST_F(FolderPermissionHelperTest, EndsQuietlyWithoutUserOrEvents) {
  base::CommandLine without_user(base::FilePath(L"installer.exe"));
  without_user.AppendSwitchPath("set-folder-permission", folder_);
  RunFolderPermissionHelper(without_user);
  // No events exist for this folder: nothing is created.
  RunFolderPermissionHelper(HelperCommandLine(folder_));
  EXPECT_FALSE(base::PathExists(folder_));
  base::CommandLine waiting = HelperCommandLine(folder_);
  waiting.AppendSwitchPath("wait-for-package", temp_.GetPath());
  RunFolderPermissionHelper(waiting);  // No "initial-pid".
}

TEST_F(FolderPermissionHelperTest, HandsOverToTheInstallerOfThePackageFolder) {
  // The package folder holds a real installer; it runs the helper role itself.
  const base::FilePath package = temp_.GetPath().Append(L"package");
  ASSERT_TRUE(base::CreateDirectory(package));
  const base::FilePath bin(test::GetTestBinFolder());
  ASSERT_TRUE(base::CopySingleFile(bin.Append(L"installer.exe"), package.Append(L"installer.exe")));
  ASSERT_TRUE(base::CopySingleFile(bin.Append(L"tavro_installer.dll"),
                                   package.Append(L"tavro_installer.dll")));

  base::win::ScopedHandle ready = CreateEvent(folder_, L"TavroInstaller/PackageReady", true);
  base::win::ScopedHandle interrupted =
      CreateEvent(folder_, L"TavroInstaller/InstallationInterrupted", true);
  base::win::ScopedHandle give = CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  ASSERT_TRUE(ready.IsValid() && interrupted.IsValid() && give.IsValid() && undo.IsValid());

  base::CommandLine command_line = HelperCommandLine(folder_);
  command_line.AppendSwitchPath("wait-for-package", package);
  command_line.AppendSwitchASCII("initial-pid", std::to_string(::GetCurrentProcessId()));
  command_line.AppendSwitch("permanent-permissions");
  std::thread helper([&] { RunFolderPermissionHelper(command_line); });
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(give.Get(), 200));
  ::SetEvent(ready.Get());
  // The package's installer got the permission switches and granted for good.
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 20000));
  helper.join();
}

TEST_F(FolderPermissionHelperTest, InterruptionEndsTheWaitWithoutHandOver) {
  base::win::ScopedHandle ready = CreateEvent(folder_, L"TavroInstaller/PackageReady", true);
  base::win::ScopedHandle interrupted =
      CreateEvent(folder_, L"TavroInstaller/InstallationInterrupted", true);
  base::CommandLine command_line = HelperCommandLine(folder_);
  command_line.AppendSwitchPath("wait-for-package", temp_.GetPath().Append(L"missing"));
  command_line.AppendSwitchASCII("initial-pid", std::to_string(::GetCurrentProcessId()));
  ::SetEvent(interrupted.Get());
  RunFolderPermissionHelper(command_line);  // Returns: nothing to start.
}

}  // namespace
}  // namespace installer
