#include "desktop/windows/installer/folder_permission_helper.h"

#include <windows.h>
#include <aclapi.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <utility>
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
#include "desktop/windows/installer/damaged_installation.h"
#include "desktop/windows/installer/default_install_folders.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/secure_named_object.h"
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

// The installer's event |name|, used only when its owner is |requester_user| (the user of
// the installer that asked for the grant, who made it), SYSTEM or Administrators, and nobody
// else may signal it: any process may make an event of that name first. Invalid, logged
// with the name, otherwise.
base::win::ScopedHandle OpenRequesterEvent(DWORD access,
                                           const std::wstring& name,
                                           PSID requester_user) {
  NamedObject event = OpenNamedEvent(name, access, requester_user);
  if (!event.handle.IsValid() && !event.refused)
    PLOG(ERROR) << "Cannot open event " << name;
  return std::move(event.handle);
}

// |folder| opened so that it can be neither renamed nor replaced while the handle lives
// (the path above it neither), and able to change its owner and list whatever the user who
// is granted full access does to the list meanwhile, when it is a folder of its own, not a
// link to another one, and the system's final path of it is |folder|. Invalid, logged,
// otherwise.
base::win::ScopedHandle PinFolder(const base::FilePath& folder) {
  base::win::ScopedHandle handle(::CreateFileW(
      folder.value().c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_OWNER | WRITE_DAC,
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

// Whether an installation for all users registered |folder| as its own: an uninstall entry
// of the product in the machine's registry, which only administrators can write, whose
// install location is this folder. What the entry says beyond that is not relied on; the
// user's own entries count for nothing here.
bool IsRegisteredForAllUsers(const base::FilePath& folder) {
  for (const UninstallEntry& entry : FindUninstallEntries(folder)) {
    if (entry.root == HKEY_LOCAL_MACHINE && entry.names_location) {
      LOG(WARNING) << "The status file in " << folder << " does not load; the uninstall entry "
                   << entry.key_path << " of all users names the folder";
      return true;
    }
  }
  return false;
}

// Whether |folder| holds an installation of this browser: its launcher beside a status file
// that loads and names a version folder inside that holds the browser, or beside the status
// file of the older generation, or (a status file damaged or lost) beside nothing that loads
// but named by an uninstall entry of all users. A file name alone proves nothing: other
// programs have a "launcher.exe" too.
bool HoldsInstallation(const base::FilePath& folder) {
  const base::FilePath launcher = folder.Append(kLauncherExeName);
  if (!base::PathExists(launcher) || base::DirectoryExists(launcher))
    return false;
  InstallStatus status;
  if (LoadInstallStatus(folder.Append(kInstallStatusFileName), &status)) {
    const base::FilePath version_folder = folder.Append(status.subfolder);
    const base::FilePath browser = version_folder.Append(GetBrowserExeName());
    return !status.subfolder.empty() && IsPathInside(version_folder, folder) &&
           base::PathExists(browser) && !base::DirectoryExists(browser);
  }
  if (LoadInstallStatus(folder.Append(kMorritInstallLogFileName), &status))
    return true;
  return IsRegisteredForAllUsers(folder);
}

// Whether |folder| lies directly in a folder that installations are made in: a program-files
// folder, or the folder of the user's own programs.
bool IsDirectlyBelowInstallRoot(const base::FilePath& folder) {
  const base::FilePath parent = folder.DirName();
  base::FilePath root;
  for (const uint32_t architecture : {INSTALLER_ARCH_X64, INSTALLER_ARCH_X86}) {
    if (GetProgramFilesFolder(architecture, &root) && IsSamePath(parent, root))
      return true;
  }
  return GetUserProgramsFolder(&root) && IsSamePath(parent, root);
}

// The entry |path| below a granted folder, opened to change its owner and access list
// without following a link, and with the privileges of the take-back applying (backup
// semantics). An entry whose list keeps Administrators from reading it is opened without
// that right; |shut_out| says so: its owner is then unknown, and it is taken back whoever
// owns it. Invalid, with the last error, when it cannot be opened at all.
base::win::ScopedHandle OpenToGiveBack(const base::FilePath& path, bool* shut_out) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
  base::win::ScopedHandle entry(::CreateFileW(path.value().c_str(),
                                              FILE_READ_ATTRIBUTES | READ_CONTROL |
                                                  WRITE_OWNER | WRITE_DAC,
                                              share,
                                              nullptr, OPEN_EXISTING, flags, nullptr));
  *shut_out = false;
  if (entry.IsValid() || ::GetLastError() != ERROR_ACCESS_DENIED)
    return entry;
  *shut_out = true;
  return base::win::ScopedHandle(
      ::CreateFileW(path.value().c_str(), FILE_READ_ATTRIBUTES | WRITE_OWNER | WRITE_DAC, share,
                    nullptr, OPEN_EXISTING, flags, nullptr));
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
                               const base::FilePath& folder,
                               PSID requester_user) {
  if (!command_line.HasSwitch(kInitialPidSwitch))
    return;
  const base::win::ScopedHandle package_ready = OpenRequesterEvent(
      SYNCHRONIZE, MakeObjectName(folder, L"TavroInstaller/PackageReady", true), requester_user);
  if (!package_ready.IsValid())
    return;
  const base::win::ScopedHandle interrupted = OpenRequesterEvent(
      SYNCHRONIZE, MakeObjectName(folder, L"TavroInstaller/InstallationInterrupted", true),
      requester_user);
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
                      PSID requester_user,
                      base::TimeDelta undo_delay) {
  const base::win::ScopedHandle give_permission = OpenRequesterEvent(
      EVENT_ALL_ACCESS, MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission", false),
      requester_user);
  if (!give_permission.IsValid())
    return false;
  const base::win::ScopedHandle undo = OpenRequesterEvent(
      EVENT_ALL_ACCESS,
      MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission/Undo", false),
      requester_user);
  if (!undo.IsValid())
    return false;
  // Only the folder itself is made: GetGrantRefusal allowed a new one only directly in an
  // install root.
  if (!base::DirectoryExists(folder) && !::CreateDirectoryW(folder.value().c_str(), nullptr)) {
    PLOG(ERROR) << "Cannot create " << folder;
    return false;
  }
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
  wchar_t windows_folder[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(windows_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return "the Windows folder is unknown";
  if (IsPathInside(folder, base::FilePath(windows_folder)))
    return "it lies in the Windows folder";
  if (!base::PathExists(folder)) {
    if (!IsDirectlyBelowInstallRoot(folder))
      return "it is no new folder directly in a program-files folder";
    return std::string();
  }
  if (!base::DirectoryExists(folder))
    return "it is a file";
  if (!HoldsInstallation(folder))
    return "it exists and holds no installation of this browser";
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
  std::vector<BYTE> user_sid_buffer;
  const PSID user_sid = GetAccountSid(user, &user_sid_buffer);
  if (!user_sid)
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
  // The user may have shut Administrators out of what the grant let them change: the
  // privileges reach it past its list.
  const ScopedTokenPrivileges privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
  // Owners may rewrite a list: the user owns nothing any more once the list goes back.
  const bool given_back = GiveBackToAdministrators(pinned.Get(), folder, user_sid);
  if (!RestoreSecurityOnHandle(pinned.Get(), *saved_security) || !given_back)
    LOG(ERROR) << "The grant on " << folder << " was not wholly taken back";
  return true;
}

bool GiveBackToAdministrators(HANDLE pinned, const base::FilePath& folder, PSID user) {
  bool all_back = true;
  if (IsOwnedBy(pinned, SE_FILE_OBJECT, user)) {
    if (GiveOwnershipToAdministrators(pinned, SE_FILE_OBJECT, false)) {
      LOG(INFO) << "Gave " << folder << " back to Administrators";
    } else {
      LOG(ERROR) << "Cannot give " << folder << " back to Administrators";
      all_back = false;
    }
  }
  base::FileEnumerator entries(folder, true,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty(); path = entries.Next()) {
    bool shut_out = false;
    const base::win::ScopedHandle entry = OpenToGiveBack(path, &shut_out);
    if (!entry.IsValid()) {
      PLOG(ERROR) << "Cannot open " << path << " to give it back to Administrators";
      all_back = false;
      continue;
    }
    // A folder on the way that became a link since it was listed leads elsewhere; a file
    // of other names may be anybody's file, linked in.
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!IsPathInside(base::GetFinalPath(entry.Get()), folder) ||
        !::GetFileInformationByHandle(entry.Get(), &info) ||
        (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks != 1)) {
      LOG(WARNING) << "Not giving back " << path << ": it is not only a file of " << folder;
      continue;
    }
    if (!shut_out && !IsOwnedBy(entry.Get(), SE_FILE_OBJECT, user))
      continue;
    if (GiveOwnershipToAdministrators(entry.Get(), SE_FILE_OBJECT, true)) {
      LOG(INFO) << "Gave " << path << " back to Administrators"
                << (shut_out ? ", which its access list had shut out" : "");
    } else {
      LOG(ERROR) << "Cannot give " << path << " back to Administrators";
      all_back = false;
    }
  }
  return all_back;
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
  // The installer's events are made by the installer that asks (or the front end of its
  // run, as the same user): their owner is that user, not necessarily the one this helper
  // runs as.
  std::vector<BYTE> requester_user_buffer;
  const PSID requester_user = GetProcessUserSid(requester.Handle(), &requester_user_buffer);
  if (!requester_user)
    return;
  if (command_line.HasSwitch(kWaitForPackageSwitch)) {
    WaitForPackageAndHandOver(command_line, folder, requester_user);
    return;
  }
  if (GrantUntilUndone(command_line, folder, requester.Handle(), requester_user, undo_delay) &&
      command_line.HasSwitch(kRunUninstallBatchSwitch) &&
      !command_line.HasSwitch(kPermanentPermissionsSwitch)) {
    RunUninstallCleanup(command_line, folder, requester.Pid());
  }
}

}  // namespace installer
