// How the Installer hands work to another installer process: the elevated restart, the
// folder-permission helper, the package's own installer once the package is ready, and
// what the user's process does after an elevated installation. Each of them blocks this
// thread while the other process works; the observers hear StartingNewMainProcess before
// and ReturnedToPreviousMainProcess after.

#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <utility>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/folder_permission_helper.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/browser_registration.h"
#include "desktop/windows/installer/service/crash_reporter_pid.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/service/user_names.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/status_fetcher.h"
#include "desktop/windows/installer/verified_launch.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

constexpr wchar_t kPackageReadyEventName[] = L"TavroInstaller/PackageReady";
constexpr wchar_t kGivePermissionEventName[] = L"TavroInstaller/GiveInstallPermission";
constexpr wchar_t kUndoPermissionEventName[] = L"TavroInstaller/GiveInstallPermission/Undo";
constexpr wchar_t kUacPolicyKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// Frees a SID made by AllocateAndInitializeSid.
struct SidTraits : base::win::NullIsInvalid<PSID> {
  static void Free(PSID sid) { ::FreeSid(sid); }
};

// Starts |program| with the arguments of |command_line| through the shell's "runas" verb,
// which asks the user for an administrator's consent. Invalid when it did not start.
base::Process LaunchElevated(const base::FilePath& program, const base::CommandLine& command_line) {
  const std::wstring parameters = command_line.GetArgumentsString();
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"runas";
  info.lpFile = program.value().c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOW;
  if (!::ShellExecuteExW(&info) || !info.hProcess) {
    PLOG(ERROR) << "Failed to run the elevated process";
    return base::Process();
  }
  return base::Process(info.hProcess);
}

}  // namespace

bool Installer::CanElevate() const {
  if (rights_.is_user_admin(true) ||
      base::win::GetWindowsVersion() < base::win::VERSION_VISTA) {
    return true;
  }
  // Without User Account Control nobody is asked for consent: a standard user stays one.
  base::win::RegistryKey policy;
  DWORD enable_lua = 1;
  if (policy.Open(HKEY_LOCAL_MACHINE, kUacPolicyKey, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
      policy.ReadValueDword(L"EnableLUA", &enable_lua) == ERROR_SUCCESS) {
    return enable_lua != 0;
  }
  return true;
}

int Installer::RunElevated() {
  LOG(INFO) << "Running the installer elevated.";
  if (!CanElevate()) {
    LOG(ERROR) << "Cannot elevate with UAC disabled";
    return 1;
  }
  if (command_line().HasSwitch("run-elevated")) {
    LOG(ERROR) << "This process should already be elevated, but isn't.";
    return 1;
  }
  // The user's process starts the browser, if at all, once the elevated run is done.
  base::CommandLine child = settings_->AppendToCommandLine(true);
  child.AppendSwitchASCII("parent-pid", base::UintToString(::GetCurrentProcessId()));
  if (command_line().HasSwitch("wait-for-package")) {
    child.AppendSwitchNative("wait-for-package",
                             command_line().GetSwitchValueNative("wait-for-package"));
  }
  child.AppendSwitch("run-elevated");
  base::FilePath program;
  if (!base::PathRegistry::Get(base::FILE_EXE, &program)) {
    LOG(ERROR) << "Failed to obtain installer exe file path";
    return 3;
  }

  // The program may lie where its user can write (Downloads, the unpacked package): it is
  // started elevated only as checked, and stays so while the elevated run loads from it. An
  // uninstallation moves its own program aside, which a held file forbids: there the hold
  // ends once the elevated run has started (it runs from an installation for all users,
  // which only administrators can change).
  auto held = std::make_unique<HeldInstallerFiles>(program, SignerCheck::kAsThisInstaller);
  if (!held->IsValid())
    return 3;
  NotifyStartingNewMainProcess();
  const base::Process process = LaunchElevated(program, child);
  if (operation() == OPERATION_UNINSTALLING)
    held.reset();
  if (!process.IsValid()) {
    NotifyReturnedToPreviousMainProcess();
    return 1;
  }
  const DWORD waited = ::WaitForSingleObject(process.Handle(), INFINITE);
  held.reset();
  NotifyReturnedToPreviousMainProcess();
  if (waited == WAIT_FAILED) {
    PLOG(ERROR) << "Failed wait for the elevated installer";
    return 2;
  }
  if (waited != WAIT_OBJECT_0) {
    LOG(ERROR) << "Unexpected result when waiting for the elevated installer";
    return 2;
  }
  DWORD exit_code = 1;
  if (!::GetExitCodeProcess(process.Handle(), &exit_code)) {
    PLOG(ERROR) << "Cannot read the exit code of the elevated installer";
    return 2;
  }
  if (exit_code != 0) {
    LOG(ERROR) << "The elevated installer ended with " << exit_code;
    return 2;
  }
  if (command_line().HasSwitch("wait-for-package"))
    WaitForPackage(true);
  else
    RunPostElevationTasks();
  return 0;
}

int Installer::ObtainFolderPermission(const base::FilePath& folder, bool permanent) {
  LOG(INFO) << "Run an elevated process in order to "
            << (permanent ? "permanently" : "temporarily") << " give permissions on the"
            << "install folder to this process";
  if (!CanElevate()) {
    LOG(ERROR) << "Cannot elevate with UAC disabled";
    return 1;
  }
  const std::wstring user = GetCurrentUserName();
  if (user.empty()) {
    LOG(ERROR) << "Failed to obtain user name";
    return 3;
  }
  VLOG(1) << "User name is" << user;

  base::CommandLine helper{base::FilePath()};
  helper.AppendSwitchPath("set-folder-permission", folder);
  helper.AppendSwitchNative("permissions-for-user", user);
  if (permanent)
    helper.AppendSwitch("permanent-permissions");
  if (operation() == OPERATION_UNINSTALLING)
    helper.AppendSwitch("run-uninstall-bat");
  helper.AppendSwitchASCII("crash-reporter-pid", base::StringPrintf("%u", GetCrashReporterPid()));
  // The helper grants only for as long as this process runs, and only to its user.
  helper.AppendSwitchASCII("parent-pid", base::UintToString(::GetCurrentProcessId()));
  for (const char* name : {"wait-for-package", "initial-pid"}) {
    if (command_line().HasSwitch(name))
      helper.AppendSwitchNative(name, command_line().GetSwitchValueNative(name));
  }
  base::FilePath program;
  if (!base::PathRegistry::Get(base::FILE_EXE, &program)) {
    LOG(ERROR) << "Failed to obtain installer exe file path";
    return 3;
  }

  // Auto-reset: each signal is taken by the one wait for it. Only events made now are a
  // grant: one that exists already may be signalled (by whoever made it) before the helper
  // has granted anything.
  NamedObject give_permission = CreateNamedEvent(
      MakeObjectName(folder, kGivePermissionEventName, false), false, IfExists::kRefuse, false);
  NamedObject undo = CreateNamedEvent(MakeObjectName(folder, kUndoPermissionEventName, false),
                                      false, IfExists::kRefuse, false);
  if (!give_permission.handle.IsValid() || !undo.handle.IsValid()) {
    LOG(ERROR) << "Failed to create event for communicating with " << "the elevated process";
    return 3;
  }
  if (base::win::GetWindowsVersion() < base::win::VERSION_VISTA &&
      (!FixEventACL(give_permission.handle.Get()) || !FixEventACL(undo.handle.Get()))) {
    return 3;
  }

  // Started elevated only as checked; held until it has granted (it has loaded all it runs
  // by then) or ended.
  DWORD waited = WAIT_FAILED;
  base::Process process;
  {
    const HeldInstallerFiles held(program, SignerCheck::kAsThisInstaller);
    if (!held.IsValid())
      return 3;
    process = LaunchElevated(program, helper);
    if (!process.IsValid())
      return 1;
    // The event first: a helper that grants for good signals it and ends at once.
    const HANDLE handles[] = {give_permission.handle.Get(), process.Handle()};
    waited = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  }
  if (waited == WAIT_OBJECT_0) {
    undo_permission_event_ = std::move(undo.handle);
    other_pid_ = process.Pid();
    return 0;
  }
  if (waited == WAIT_FAILED)
    PLOG(ERROR) << "Cannot wait for the folder-permission helper";
  LOG(ERROR) << "Failed to run the elevated process";
  return 2;
}

// static
bool Installer::FixEventACL(HANDLE event) {
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  const DWORD read = ::GetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, &old_dacl, nullptr, &raw_descriptor);
  const base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  if (read != ERROR_SUCCESS) {
    LOG(ERROR) << "FixEventACL: failed to GetSecurityInfo (" << read << ")";
    return false;
  }
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID raw_sid = nullptr;
  if (!::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw_sid)) {
    PLOG(ERROR) << "FixEventACL: failed to AllocateAndInitializeSid";
    return false;
  }
  const base::win::ScopedOwner<SidTraits> administrators(raw_sid);
  EXPLICIT_ACCESSW entry = {};
  entry.grfAccessPermissions = GENERIC_ALL;
  entry.grfAccessMode = GRANT_ACCESS;
  entry.grfInheritance = NO_INHERITANCE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(raw_sid);
  PACL raw_new_dacl = nullptr;
  const DWORD merged = ::SetEntriesInAclW(1, &entry, old_dacl, &raw_new_dacl);
  const base::win::ScopedLocalAlloc new_dacl(raw_new_dacl);
  if (merged != ERROR_SUCCESS) {
    LOG(ERROR) << "FixEventACL: failed to SetEntriesInAcl (" << merged << ")";
    return false;
  }
  const DWORD written = ::SetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                          nullptr, nullptr, raw_new_dacl, nullptr);
  if (written != ERROR_SUCCESS) {
    LOG(ERROR) << "FixEventACL: failed to SetSecurityInfo (" << written << ")";
    return false;
  }
  return true;
}

void Installer::WaitForPackage(bool post_elevated) {
  LOG(INFO) << "Need to wait for actual package";
  post_elevated_ = post_elevated;
  if (!OpenInstallFolderEvent(kPackageReadyEventName, "package_ready",
                              "Failed to open a handle to the package ready event",
                              &package_ready_event_)) {
    return;
  }
  if (::WaitForSingleObject(package_ready_event_.Get(), 0) == WAIT_OBJECT_0) {
    OnPackageReady();
    return;
  }
  if (!package_ready_watcher_.RegisterWait(package_ready_event_.Get(), this)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed to watch the package ready event");
  }
}

void Installer::OnPackageReady() {
  LOG(INFO) << "Package is ready";
  package_ready_watcher_.StopWatching();
  base::FilePath package_folder;
  if (!GetWaitForPackageFolder(command_line(), &package_folder)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed to start installer process from the package folder.");
    return;
  }
  base::CommandLine package_installer = settings_->AppendToCommandLine(false);
  package_installer.SetProgram(package_folder.Append(L"installer.exe"));
  if (post_elevated_)
    package_installer.AppendSwitch("post-elevated-install-tasks");
  package_installer.AppendSwitchASCII("crash-reporter-pid",
                                      base::StringPrintf("%u", GetCrashReporterPid()));

  NotifyStartingNewMainProcess();
  // The other installer works alone: no folder grant and no settings held here.
  ReleaseResources();
  LOG(INFO) << "Running installer from the package with command line: "
            << package_installer.GetCommandLineString();
  // The package folder is the user's: what runs is checked as the package was, and held
  // unchanged until it has ended. Only then does its exit code say anything.
  base::Process process;
  DWORD exit_code = 1;
  bool ended = false;
  {
    const HeldInstallerFiles held(package_installer.GetProgram(), SignerCheck::kAsThisInstaller);
    if (held.IsValid())
      process = base::LaunchProcess(package_installer, base::LaunchOptions());
    ended = process.IsValid() && process.WaitForExit(&exit_code);
  }
  NotifyReturnedToPreviousMainProcess();
  if (!process.IsValid()) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed to start installer process from the package folder.");
  } else if (!ended || exit_code != 0) {
    // Its own log may end without a word: ended from outside, it wrote none.
    if (ended)
      LOG(WARNING) << "The installer from the package ended with " << exit_code;
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Installer process did not complete successfully.");
  } else {
    StepInstallationSucceeded();
  }
}

void Installer::RunPostElevationTasks() {
  LOG(INFO) << "Running post elevation installation tasks.";
  // The elevated run left the survey to this process, the user's own: from the status
  // read before that run, which it deleted.
  if (operation() == OPERATION_UNINSTALLING)
    ShowUninstallSurvey();
  // What the elevated run installed counts now, not what the folder held before it.
  reloaded_status_ = StatusFetcher::ReadStatus(
      install_folder(), settings_->GetStatus().replace_morrit_installation());
  const bool uninstalling = operation() == OPERATION_UNINSTALLING;
  // Windows 10 lets only the user choose the default browser; the browser asks.
  const bool register_for_user =
      base::win::GetWindowsVersion() < base::win::VERSION_WIN10 ||
      (!flag(SILENT) && !status().details().is_http_handler);
  if (!uninstalling && !flag(COPY_ONLY) && register_for_user) {
    const Installation installation(install_folder());
    LOG(INFO) << "Ensuring Tavro is registered for the current user.";
    if (flag(DEFAULT_BROWSER)) {
      LOG(INFO) << "Making Tavro the default browser for the current user.";
      SavePreviousDefaultBrowser(installation, false);
      RegisterAsDefaultBrowser(installation, false);
    } else {
      LOG(INFO) << "Setting up file handlers for the current user.";
      WriteBrowserClassRegistration(installation, false);
    }
  }
  for (const InstallComponent& component : status().install_status().components) {
    base::CommandLine command{base::FilePath()};
    command.AppendSwitch("post-elevated-install-tasks");
    command.AppendSwitchPath("installfolder", component.path);
    StartRecordedComponentInstaller(component, std::move(command));
  }
  if (!uninstalling)
    FinalizeSuccessfulInstallation();
}

void Installer::NotifyStartingNewMainProcess() {
  FOR_EACH_OBSERVER(InstallerObserver, observers_, StartingNewMainProcess(false));
}

void Installer::NotifyReturnedToPreviousMainProcess() {
  FOR_EACH_OBSERVER(InstallerObserver, observers_, ReturnedToPreviousMainProcess());
}

}  // namespace installer
