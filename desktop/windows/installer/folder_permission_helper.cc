#include "desktop/windows/installer/folder_permission_helper.h"

#include <windows.h>
#include <aclapi.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/cleanup_batch.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/verified_launch.h"

namespace installer {

namespace {

const char kSetFolderPermissionSwitch[] = "set-folder-permission";
const char kPermissionsForUserSwitch[] = "permissions-for-user";
const char kPermanentPermissionsSwitch[] = "permanent-permissions";
const char kWaitForPackageSwitch[] = "wait-for-package";
const char kInitialPidSwitch[] = "initial-pid";
const char kCrashReporterPidSwitch[] = "crash-reporter-pid";
const char kParentPidSwitch[] = "parent-pid";
const char kRunUninstallBatchSwitch[] = "run-uninstall-bat";
// Far more than any clean-up batch the installer writes.
constexpr int64_t kMaxCleanupBatchSize = 1024 * 1024;

base::win::ScopedHandle OpenNamedEvent(DWORD access, const std::wstring& name) {
  base::win::ScopedHandle event(::OpenEventW(access, FALSE, name.c_str()));
  if (!event.IsValid())
    PLOG(ERROR) << "Cannot open event " << name;
  return event;
}

// |folder| opened so that it can be neither renamed nor replaced while the handle lives
// (the path above it neither), when it is a folder of its own, not a link to another one,
// and the system's final path of it is |folder|. Invalid, logged, otherwise.
base::win::ScopedHandle PinFolder(const base::FilePath& folder) {
  base::win::ScopedHandle handle(::CreateFileW(
      folder.value().c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.IsValid()) {
    PLOG(ERROR) << "Cannot open " << folder << " to grant access to it";
    return handle;
  }
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!::GetFileInformationByHandle(handle.Get(), &information)) {
    PLOG(ERROR) << "Cannot read what " << folder << " is";
    return base::win::ScopedHandle();
  }
  const base::FilePath final_path = base::GetFinalPath(handle.Get());
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !IsSamePath(final_path, folder)) {
    LOG(ERROR) << "Refusing to grant access to " << folder << ": it leads to " << final_path;
    return base::win::ScopedHandle();
  }
  return handle;
}

// The installer that asked for the grant, as "parent-pid" names it, if it runs as |user|.
base::Process OpenRequester(const base::CommandLine& command_line, const std::wstring& user) {
  unsigned pid = 0;
  if (!base::StringToUint(command_line.GetSwitchValueNative(kParentPidSwitch), &pid) || !pid) {
    LOG(ERROR) << "Refusing to grant access: no installer asks for it";
    return base::Process();
  }
  base::Process requester =
      base::Process::Open(pid, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
  if (!requester.IsValid()) {
    LOG(ERROR) << "Refusing to grant access: the installer " << pid << " is gone";
    return base::Process();
  }
  if (!IsProcessOfUser(requester.Handle(), user)) {
    LOG(ERROR) << "Refusing to grant access to " << user << ": the installer " << pid
               << " runs as another user";
    return base::Process();
  }
  return requester;
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
  // in the install folder: a folder of the user's, whose installer runs elevated only when
  // it is the product's.
  base::CommandLine package_installer(package_folder.Append(L"installer.exe"));
  const char* const copied_switches[] = {kCrashReporterPidSwitch, kSetFolderPermissionSwitch,
                                         kPermissionsForUserSwitch, kPermanentPermissionsSwitch,
                                         kParentPidSwitch};
  package_installer.CopySwitchesFrom(command_line, copied_switches,
                                     sizeof(copied_switches) / sizeof(copied_switches[0]));
  // Held, with the library it loads, until it has ended.
  const HeldInstallerFiles held(package_installer.GetProgram(), SignerCheck::kAsThisInstaller);
  if (!held.IsValid())
    return;
  base::LaunchOptions options;
  options.wait = true;
  base::LaunchProcess(package_installer, options);
}

// Whether the grant was made.
bool GrantUntilUndone(const base::CommandLine& command_line,
                      const base::FilePath& folder,
                      HANDLE requester,
                      base::TimeDelta undo_delay) {
  const base::win::ScopedHandle give_permission = OpenNamedEvent(
      EVENT_ALL_ACCESS, MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission", false));
  if (!give_permission.IsValid())
    return false;
  const base::win::ScopedHandle undo = OpenNamedEvent(
      EVENT_ALL_ACCESS,
      MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission/Undo", false));
  if (!undo.IsValid())
    return false;
  if (!base::DirectoryExists(folder) && !base::CreateDirectory(folder))
    return false;
  return GrantFolderPermission(folder, command_line.GetSwitchValueNative(kPermissionsForUserSwitch),
                               command_line.HasSwitch(kPermanentPermissionsSwitch),
                               give_permission.Get(), undo.Get(), requester, undo_delay);
}

// Runs, elevated, what the uninstallation's own clean-up batch in |folder| would delete
// there: the files it names below |folder|, read back as untrusted text and written again
// into a batch that the user cannot change. It waits for this helper, the front end and the
// installer that asked for the grant.
void RunUninstallCleanup(const base::CommandLine& command_line,
                         const base::FilePath& folder,
                         uint32_t requester_pid) {
  const base::FilePath user_batch = folder.Append(kCleanupBatchName);
  int64_t size = 0;
  std::string text;
  if (!base::GetFileSize(user_batch, &size) || size > kMaxCleanupBatchSize ||
      !base::ReadFileToString(user_batch, &text)) {
    LOG(ERROR) << "No clean-up batch to run in " << folder;
    return;
  }
  // Each file goes under a new name first: the elevated batch then deletes nothing that a
  // link put in a folder's place could lead it to.
  std::vector<base::FilePath> files;
  base::FilePath renamed;
  for (const base::FilePath& file : ReadCleanupBatchFiles(text)) {
    base::FilePath normalized;
    if (!IsPathInside(file, folder) || !NormalizePath(file, &normalized))
      LOG(WARNING) << "The clean-up batch names " << file << ", which is not below " << folder;
    else if (RenameForProtectedDeletion(normalized, &renamed))
      files.push_back(renamed);
  }
  if (RenameForProtectedDeletion(user_batch, &renamed))
    files.push_back(renamed);
  unsigned initial_pid = 0;
  if (!base::StringToUint(command_line.GetSwitchValueNative(kInitialPidSwitch), &initial_pid))
    initial_pid = 0;
  StartProtectedCleanupBatch(
      MakeCleanupBatch({::GetCurrentProcessId(), initial_pid, requester_pid}, folder, files));
}

}  // namespace

std::string GetGrantRefusal(const base::FilePath& folder) {
  const std::string kept = GetKeptFolderReason(folder);
  if (!kept.empty())
    return kept;
  if (!base::PathExists(folder))
    return std::string();
  if (!base::DirectoryExists(folder))
    return "it is a file";
  for (const wchar_t* name :
       {kInstallStatusFileName, kLauncherExeName, kMorritInstallLogFileName}) {
    if (base::PathExists(folder.Append(name)))
      return std::string();
  }
  base::FileEnumerator entries(folder, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  if (!entries.Next().empty())
    return "it holds no installation but other files";
  return std::string();
}

bool GetWaitForPackageFolder(const base::CommandLine& command_line, base::FilePath* folder) {
  const base::FilePath value = command_line.GetSwitchValuePath(kWaitForPackageSwitch);
  if (value.empty() || !value.IsAbsolute()) {
    LOG(ERROR) << "Refusing the package folder \"" << value << "\": not an absolute path";
    return false;
  }
  *folder = value;
  return true;
}

bool GrantFolderPermission(const base::FilePath& folder,
                           const std::wstring& user,
                           bool permanent,
                           HANDLE give_permission,
                           HANDLE undo,
                           HANDLE requester,
                           base::TimeDelta undo_delay) {
  // The name names this folder until its list is back.
  const base::win::ScopedHandle pinned = PinFolder(folder);
  if (!pinned.IsValid())
    return false;
  std::unique_ptr<SavedSecurity> saved_security;
  if (!GrantAccessToUser(folder.value(), SE_FILE_OBJECT, user, GENERIC_ALL,
                         CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, &saved_security)) {
    return false;
  }
  const bool signalled = ::SetEvent(give_permission) != FALSE;
  if (!signalled)
    PLOG(ERROR) << "Cannot signal the permission event";
  if (permanent)
    return true;
  if (signalled) {
    // A run that ends without asking (a crash, a kill) takes its grant with it.
    const HANDLE handles[] = {undo, requester};
    const DWORD waited = ::WaitForMultipleObjects(requester ? 2 : 1, handles, FALSE, INFINITE);
    if (waited == WAIT_OBJECT_0)
      ::Sleep(static_cast<DWORD>(undo_delay.InMilliseconds()));
    else if (waited == WAIT_OBJECT_0 + 1)
      LOG(WARNING) << "The installer ended without undoing its grant on " << folder;
    else
      PLOG(ERROR) << "Cannot wait for the end of the grant on " << folder;
  }
  RestoreSecurity(*saved_security);
  return true;
}

void RunFolderPermissionHelper(const base::CommandLine& command_line,
                               base::TimeDelta undo_delay) {
  if (!command_line.HasSwitch(kPermissionsForUserSwitch))
    return;
  const std::wstring user = command_line.GetSwitchValueNative(kPermissionsForUserSwitch);
  // An elevated helper grants rights: never on a folder relative to wherever it runs.
  base::FilePath folder;
  if (!NormalizePath(command_line.GetSwitchValuePath(kSetFolderPermissionSwitch), &folder)) {
    LOG(ERROR) << "Refusing to grant access to \""
               << command_line.GetSwitchValuePath(kSetFolderPermissionSwitch)
               << "\": not an absolute path";
    return;
  }
  const std::string refusal = GetGrantRefusal(folder);
  if (!refusal.empty()) {
    LOG(ERROR) << "Refusing to grant access to " << folder << ": " << refusal;
    return;
  }
  const base::Process requester = OpenRequester(command_line, user);
  if (!requester.IsValid())
    return;
  if (command_line.HasSwitch(kWaitForPackageSwitch)) {
    WaitForPackageAndHandOver(command_line, folder);
    return;
  }
  if (GrantUntilUndone(command_line, folder, requester.Handle(), undo_delay) &&
      command_line.HasSwitch(kRunUninstallBatchSwitch) &&
      !command_line.HasSwitch(kPermanentPermissionsSwitch)) {
    RunUninstallCleanup(command_line, folder, requester.Pid());
  }
}

}  // namespace installer
