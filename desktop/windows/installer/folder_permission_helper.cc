#include "desktop/windows/installer/folder_permission_helper.h"

#include <windows.h>
#include <aclapi.h>

#include <memory>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/object_security.h"

namespace installer {

namespace {

const char kSetFolderPermissionSwitch[] = "set-folder-permission";
const char kPermissionsForUserSwitch[] = "permissions-for-user";
const char kPermanentPermissionsSwitch[] = "permanent-permissions";
const char kWaitForPackageSwitch[] = "wait-for-package";
const char kInitialPidSwitch[] = "initial-pid";
const char kCrashReporterPidSwitch[] = "crash-reporter-pid";

base::win::ScopedHandle OpenNamedEvent(DWORD access, const std::wstring& name) {
  base::win::ScopedHandle event(::OpenEventW(access, FALSE, name.c_str()));
  if (!event.IsValid())
    PLOG(ERROR) << "Cannot open event " << name;
  return event;
}

// The helper started before the package was unpacked: once the package is ready, the
// package's own installer does the granting.
void WaitForPackageAndHandOver(const base::CommandLine& command_line,
                               const base::FilePath& folder) {
  if (!command_line.HasSwitch(kInitialPidSwitch))
    return;
  const base::win::ScopedHandle package_ready = OpenNamedEvent(
      SYNCHRONIZE, MakeObjectName(folder, L"TavroInstaller/PackageReady", true));
  if (!package_ready.IsValid())
    return;
  const base::win::ScopedHandle interrupted = OpenNamedEvent(
      SYNCHRONIZE, MakeObjectName(folder, L"TavroInstaller/InstallationInterrupted", true));
  if (!interrupted.IsValid())
    return;
  unsigned initial_pid = 0;
  if (!base::StringToUint(command_line.GetSwitchValueNative(kInitialPidSwitch), &initial_pid))
    return;
  base::FilePath package_folder;
  if (!GetWaitForPackageFolder(command_line, &package_folder))
    return;
  const base::Process initial_process = base::Process::Open(initial_pid, SYNCHRONIZE);
  if (!initial_process.IsValid())
    return;

  const HANDLE handles[] = {package_ready.Get(), interrupted.Get(), initial_process.Handle()};
  const DWORD signalled = ::WaitForMultipleObjects(3, handles, FALSE, INFINITE);
  if (signalled != WAIT_OBJECT_0)
    return;

  // The package's installer lies in the package folder that "wait-for-package" names, not
  // in the install folder.
  base::CommandLine package_installer(package_folder.Append(L"installer.exe"));
  const char* const copied_switches[] = {kCrashReporterPidSwitch, kSetFolderPermissionSwitch,
                                         kPermissionsForUserSwitch,
                                         kPermanentPermissionsSwitch};
  package_installer.CopySwitchesFrom(command_line, copied_switches,
                                     sizeof(copied_switches) / sizeof(copied_switches[0]));
  base::LaunchOptions options;
  options.wait = true;
  base::LaunchProcess(package_installer, options);
}

void GrantUntilUndone(const base::CommandLine& command_line,
                      const base::FilePath& folder,
                      base::TimeDelta undo_delay) {
  const base::win::ScopedHandle give_permission = OpenNamedEvent(
      EVENT_ALL_ACCESS, MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission", false));
  if (!give_permission.IsValid())
    return;
  const base::win::ScopedHandle undo = OpenNamedEvent(
      EVENT_ALL_ACCESS,
      MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission/Undo", false));
  if (!undo.IsValid())
    return;
  if (!base::DirectoryExists(folder) && !base::CreateDirectory(folder))
    return;
  GrantFolderPermission(folder, command_line.GetSwitchValueNative(kPermissionsForUserSwitch),
                        command_line.HasSwitch(kPermanentPermissionsSwitch),
                        give_permission.Get(), undo.Get(), undo_delay);
}

}  // namespace

bool GetWaitForPackageFolder(const base::CommandLine& command_line, base::FilePath* folder) {
  const base::FilePath value = command_line.GetSwitchValuePath(kWaitForPackageSwitch);
  if (value.empty() || !value.IsAbsolute()) {
    LOG(ERROR) << "Refusing the package folder \"" << value << "\": not an absolute path";
    return false;
  }
  *folder = value;
  return true;
}

void GrantFolderPermission(const base::FilePath& folder,
                           const std::wstring& user,
                           bool permanent,
                           HANDLE give_permission,
                           HANDLE undo,
                           base::TimeDelta undo_delay) {
  std::unique_ptr<SavedSecurity> saved_security;
  if (!GrantAccessToUser(folder.value(), SE_FILE_OBJECT, user, GENERIC_ALL,
                         CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, &saved_security)) {
    return;
  }
  const bool signalled = ::SetEvent(give_permission) != FALSE;
  if (!signalled)
    PLOG(ERROR) << "Cannot signal the permission event";
  if (permanent)
    return;
  if (signalled) {
    ::WaitForSingleObject(undo, INFINITE);
    ::Sleep(static_cast<DWORD>(undo_delay.InMilliseconds()));
  }
  RestoreSecurity(*saved_security);
}

void RunFolderPermissionHelper(const base::CommandLine& command_line,
                               base::TimeDelta undo_delay) {
  if (!command_line.HasSwitch(kPermissionsForUserSwitch))
    return;
  const base::FilePath folder = command_line.GetSwitchValuePath(kSetFolderPermissionSwitch);
  // An elevated helper grants rights: never on a folder relative to wherever it runs.
  if (!folder.IsAbsolute()) {
    LOG(ERROR) << "Refusing to grant access to \"" << folder << "\": not an absolute path";
    return;
  }
  if (command_line.HasSwitch(kWaitForPackageSwitch))
    WaitForPackageAndHandOver(command_line, folder);
  else
    GrantUntilUndone(command_line, folder, undo_delay);
}

void RunUninstallBatch(const base::FilePath& installation_folder) {
  const base::FilePath batch = installation_folder.Append(L"k.bat");
  if (!base::PathExists(batch))
    return;
  // A batch file runs through the command interpreter of the system folder.
  wchar_t system_folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return;
  const std::wstring command = L"\"" + std::wstring(system_folder, length) +
                               L"\\cmd.exe\" /d /s /c \"\"" + batch.value() + L"\"\"";
  base::LaunchOptions options;
  options.start_hidden = true;
  base::LaunchProcess(command, options);
}

}  // namespace installer
