// The Installer's uninstallation: the steps that remove what an installation recorded, the
// clean-up batch for what the running processes still hold, and the end of an
// uninstallation (the default browser handed back, the uninstall survey).

#include <windows.h>
#include <shellapi.h>
#include <string.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"
#include "desktop/common/autoupdate/updatechecker/globalstorage_win.h"
#include "desktop/windows/installer/cleanup_batch.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/profile_deletion.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_task_operation.h"
#include "desktop/windows/installer/service/wmi_launch.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

constexpr wchar_t kPrefDefaultOverridesName[] = L"pref_default_overrides";
constexpr wchar_t kReinstallCommandKey[] =
    L"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE\\InstallInfo";
constexpr wchar_t kOtherBrowserName[] = L"Internet Explorer";

// |text| with every character that may not stand in a URL, or would end the argument of a
// command line, percent-encoded (as UTF-8).
std::string EscapeUrlText(const std::string& text) {
  static constexpr char kAllowed[] = "-._~:/?#[]@!$&'()*+,;=%";
  std::string escaped;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool alphanumeric =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alphanumeric || (byte != 0 && strchr(kAllowed, c)))
      escaped.push_back(c);
    else
      escaped += base::StringPrintf("%%%02X", byte);
  }
  return escaped;
}

// Switches off the file-system redirection of a 32-bit process on 64-bit Windows while it
// lives, so that a program named in the system folder is the system's own. The functions
// are looked up at run time: older systems lack them.
class ScopedDisableFsRedirection {
 public:
  ScopedDisableFsRedirection() {
    if (base::win::OsInfo::GetInstance()->wow64_status() != base::win::OsInfo::WOW64_ENABLED)
      return;
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    disable_ = reinterpret_cast<DisableFunction>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection")));
    revert_ = reinterpret_cast<RevertFunction>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection")));
    disabled_ = disable_ && revert_ && disable_(&old_value_);
  }
  ~ScopedDisableFsRedirection() {
    if (disabled_)
      revert_(old_value_);
  }
  ScopedDisableFsRedirection(const ScopedDisableFsRedirection&) = delete;
  ScopedDisableFsRedirection& operator=(const ScopedDisableFsRedirection&) = delete;

 private:
  using DisableFunction = BOOL(WINAPI*)(PVOID*);
  using RevertFunction = BOOL(WINAPI*)(PVOID);
  DisableFunction disable_ = nullptr;
  RevertFunction revert_ = nullptr;
  PVOID old_value_ = nullptr;
  bool disabled_ = false;
};

// Runs the command that hands the default browser back to the system's own, and waits for
// it; false when it could not be started.
bool RunReinstallCommand(const std::wstring& command) {
  std::wstring program;
  std::wstring parameters;
  if (!Installer::ParseReinstallCommand(command, &program, &parameters)) {
    LOG(ERROR) << "Ignoring the malformed ReinstallCommand " << command;
    return false;
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOW;
  {
    ScopedDisableFsRedirection redirection_off;
    if (!::ShellExecuteExW(&info) || !info.hProcess) {
      PLOG(ERROR) << "Cannot run the ReinstallCommand " << command;
      return false;
    }
  }
  const base::win::ScopedHandle process(info.hProcess);
  if (::WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0)
    PLOG(ERROR) << "Cannot wait for the ReinstallCommand";
  return true;
}

// The system's task scheduler, ready for use; null, logged, when it cannot be reached.
std::unique_ptr<TaskScheduler> MakeTaskScheduler() {
  std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  if (!scheduler || !scheduler->Init()) {
    LOG(ERROR) << "Could not initialize task scheduler";
    return nullptr;
  }
  return scheduler;
}

}  // namespace

void Installer::StepRemoveShortcuts() {
  LOG(INFO) << "Removing shortctus.";
  const StatusDetails& details = status().details();
  const InstallStatus& previous = status().install_status();
  if (!details.pinned_shortcut_paths.empty()) {
    VLOG(1) << "Unpinning shortcuts";
    UnpinShortcuts(details.pinned_shortcut_paths);
  }
  const struct {
    bool present;
    const char* message;
    const base::FilePath& path;
  } shortcuts[] = {
      {details.desktop_shortcut_exists, "Removing desktop shortcut.", previous.desktop_shortcut},
      {details.start_menu_shortcut_exists, "Removing start menu shortcut.",
       previous.start_menu_shortcut},
      {details.quick_launch_shortcut_exists, "Removing quick launch shortcut.",
       previous.quick_launch_shortcut},
      {details.temporary_shortcut_folder_exists, "Removing temporary shortcut folder.",
       details.temporary_shortcut_folder},
  };
  for (const auto& shortcut : shortcuts) {
    if (!shortcut.present || shortcut.path.empty())
      continue;
    VLOG(1) << shortcut.message;
    Do(std::make_unique<DeleteFileOperation>(shortcut.path, false, false));
  }
  ScheduleNextStep();
}

void Installer::StepFinalizeUninstallation() {
  VLOG(1) << "Finalizing the uninstallation";
  if (!Do(std::make_unique<DeleteFileOperation>(install_folder().Append(kInstallStatusFileName),
                                                false, false))) {
    LOG(ERROR) << ReportError(IDS_ERROR_UNINSTALL_FAILED, std::wstring(),
                              "Failed to remove installation status file");
    return;
  }
  FinishUninstallation(install_folder());
  ScheduleNextStep();
}

void Installer::StepUninstallComponents() {
  for (const InstallComponent& component : status().install_status().components) {
    base::CommandLine command{base::FilePath()};
    command.AppendSwitch("uninstall");
    command.AppendSwitchASCII("copyonly", flag(COPY_ONLY) ? "1" : "0");
    command.AppendSwitchASCII("allusers", flag(ALL_USERS_FLAG) ? "1" : "0");
    // A component uninstalls on its own time; what it reports does not change ours.
    StartRecordedComponentInstaller(component, std::move(command));
  }
  ScheduleNextStep();
}

void Installer::StepCleanupAfterUninstall() {
  LOG(INFO) << "Cleaning up files after uninstallation";
  if (!flag(COPY_ONLY)) {
    VLOG(1) << "Removing scheduled task";
    RemoveAutoupdateTask(status().install_status().app_id, true);
  }
  std::vector<base::FilePath> files_left;
  DeleteInstalledFiles(&files_left);
  // The clean-up batch deletes what is left once this process has ended: an interruption
  // from here on finishes the uninstallation rather than undoing it.
  if (!transaction_.PassPointOfNoReturn())
    LOG(ERROR) << "An interruption from here on would undo the uninstallation";
  MakeUninstallationFinal(&files_left);
  // Before the batch starts: an uninstallation ended before it is finished by the same
  // command run again, which deletes the profile then; the batch deletes that command.
  if (flag(DELETE_PROFILE))
    DeleteUserProfile();
  WriteAndStartCleanupBatch(files_left);
  NotifyStep();
  StepInstallationSucceeded();
}

void Installer::MakeUninstallationFinal(std::vector<base::FilePath>* files_left) {
  // A test undoes the run after its success.
  if (keep_undo_after_success_)
    return;
  // What was kept aside for an undo goes now, and the journal with it: once the batch has
  // deleted the installer this process runs from, no run would come back to the folder to
  // finish them. What cannot go while this process runs (an older installation's installer
  // that runs this uninstallation, set aside with its folder) is left to the batch under
  // the names it has now.
  std::vector<base::FilePath> left_behind;
  transaction_.Commit(&left_behind);
  for (const base::FilePath& path : left_behind) {
    // Kept aside beside what it was, by this run: inside the install folder.
    if (!IsPathInside(path, install_folder()))
      continue;
    if (!base::DirectoryExists(path)) {
      files_left->push_back(path);
      continue;
    }
    base::FileEnumerator files(path, true, base::FileEnumerator::FILES);
    for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
      files_left->push_back(file);
  }
}

void Installer::DeleteInstalledFiles(std::vector<base::FilePath>* files_left) {
  // A file in use (the running installer's own, a browser still running) could be set
  // aside but not deleted: it is left for the clean-up batch, which deletes it once the
  // processes have ended.
  const InstallStatus& previous = status().install_status();
  // Names come from a file in the install folder: nothing outside it is deleted.
  const base::FilePath installation =
      previous.subfolder.empty() ? install_folder()
                                 : GetOwnedPath(install_folder(), previous.subfolder.value());
  if (!installation.empty()) {
    for (const std::string& file : previous.files) {
      const base::FilePath path = GetOwnedPath(installation, base::Utf8ToUtf16(file));
      if (!path.empty() && !Do(std::make_unique<DeleteFileOperation>(path, true, true)))
        files_left->push_back(path);
    }
  }
  const base::FilePath launcher = install_folder().Append(kLauncherExeName);
  if (!Do(std::make_unique<DeleteFileOperation>(launcher, true, false)))
    files_left->push_back(launcher);
  if (!ProductConfig::GetInstance().IsWhiteLabeled()) {
    const base::FilePath old_browser =
        install_folder().Append(GetBrowserExeName()).ReplaceExtension(L".old");
    if (base::PathExists(old_browser))
      Do(std::make_unique<DeleteFileOperation>(old_browser, false, false));
  }
  const base::FilePath overrides = install_folder().Append(kPrefDefaultOverridesName);
  if (!Do(std::make_unique<DeleteFileOperation>(overrides, false, false)))
    files_left->push_back(overrides);
  for (const std::string& file : previous.root_files) {
    const base::FilePath path = GetOwnedPath(install_folder(), base::Utf8ToUtf16(file));
    if (!path.empty())
      Do(std::make_unique<DeleteFileOperation>(path, false, false));
  }
}

void Installer::WriteAndStartCleanupBatch(const std::vector<base::FilePath>& files_left) {
  unsigned initial_pid = 0;
  if (!base::StringToUint(command_line().GetSwitchValueNative("initial-pid"), &initial_pid))
    initial_pid = 0;
  const std::vector<uint32_t> pids = {::GetCurrentProcessId(), initial_pid, other_pid_};
  if (completion_event_.IsValid()) {
    // The elevated child of a user's installer: only it may delete what is left, and it
    // runs no batch that the user could change. Its batch waits for the user's processes.
    LOG(INFO) << "Starting final cleanup batch file.";
    StartProtectedCleanupBatch(MakeCleanupBatch(pids, install_folder(), files_left));
    return;
  }
  const std::string batch = MakeCleanupBatch(pids, install_folder(), files_left);
  const base::FilePath path = install_folder().Append(kCleanupBatchName);
  if (base::WriteFileFromBuffer(path, batch.data(), static_cast<int>(batch.size())) !=
      static_cast<int>(batch.size())) {
    PLOG(ERROR) << "Cannot write " << path;
    return;
  }
  if (undo_permission_event_.IsValid()) {
    // The permission helper runs it, elevated, once the grant has ended: this process will
    // have no right to delete anything by then.
    VLOG(1) << "The folder-permission helper starts the cleanup batch file";
    return;
  }
  LOG(INFO) << "Starting final cleanup batch file.";
  StartCleanupBatch(path);
}

void Installer::DeleteUserProfile() {
  DeleteRecordedUserProfile(Installation(install_folder(), status().install_status()));
}

// static
base::FilePath Installer::GetOwnedPath(const base::FilePath& folder, std::wstring_view relative) {
  const base::FilePath path = folder.Append(relative);
  if (!IsSafeRelativePath(relative) || !IsPathInside(path, folder)) {
    LOG(WARNING) << "Skipping " << base::FilePath(relative) << ": it is not below " << folder;
    return base::FilePath();
  }
  return path;
}

void Installer::FinishUninstallation(const base::FilePath& install_folder) {
  NotifyAssociationsChanged();
  if (!flag(COPY_ONLY)) {
    LOG(INFO) << "Attempting to reset the default browser to IE.";
    if (status().details().is_http_handler &&
        base::win::GetWindowsVersion() >= base::win::VERSION_VISTA) {
      ResetDefaultBrowser();
    }
  }
  if (rights_.is_user_admin(false)) {
    UpdateFirewallRule(
        install_folder.Append(status().install_status().subfolder).Append(GetBrowserExeName()),
        true);
  }
  ShowUninstallSurvey();
}

void Installer::ResetDefaultBrowser() {
  if (flag(ALL_USERS_FLAG)) {
    base::win::RegistryKey install_info;
    std::wstring command;
    if (install_info.Open(HKEY_LOCAL_MACHINE, kReinstallCommandKey, KEY_QUERY_VALUE) !=
            ERROR_SUCCESS ||
        install_info.ReadValue(L"ReinstallCommand", &command) != ERROR_SUCCESS) {
      LOG(WARNING) << "No ReinstallCommand to give the default browser back";
      return;
    }
    // What follows would make a half-given-back default browser.
    if (!RunReinstallCommand(command))
      return;
  }
  if (base::win::GetWindowsVersion() == base::win::VERSION_WIN8) {
    // Windows 8 takes the choice of the default browser from the user only.
    OPENASINFO open_with = {};
    open_with.pcszFile = L"http";
    open_with.oaifInFlags = OAIF_URL_PROTOCOL | OAIF_FORCE_REGISTRATION | OAIF_REGISTER_EXT;
    if (SUCCEEDED(::SHOpenWithDialog(nullptr, &open_with)))
      ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return;
  }
  Microsoft::WRL::ComPtr<IApplicationAssociationRegistration> registration;
  HRESULT result =
      ::CoCreateInstance(CLSID_ApplicationAssociationRegistration, nullptr, CLSCTX_INPROC_SERVER,
                         IID_PPV_ARGS(registration.GetAddressOf()));
  if (FAILED(result)) {
    LOG(ERROR) << "Cannot reach the shell's associations: 0x" << std::hex << result;
    return;
  }
  const struct {
    const wchar_t* name;
    ASSOCIATIONTYPE type;
  } associations[] = {{L".htm", AT_FILEEXTENSION},
                      {L".html", AT_FILEEXTENSION},
                      {L"http", AT_URLPROTOCOL},
                      {L"https", AT_URLPROTOCOL}};
  for (const auto& association : associations) {
    result = registration->SetAppAsDefault(kOtherBrowserName, association.name, association.type);
    if (FAILED(result)) {
      LOG(WARNING) << "Cannot give " << association.name << " back to " << kOtherBrowserName
                   << ": 0x" << std::hex << result;
    }
  }
}

void Installer::ShowUninstallSurvey() {
  const std::string survey = ProductConfig::GetInstance().GetUrl("uninstall_survey");
  if (survey.empty() || command_line().HasSwitch("silent"))
    return;
  LOG(INFO) << "Trying to display the uninstall survey";
  std::string url = survey + "?version=" + ProductInfo::GetVersion();
  GlobalStorage& storage = GlobalStorage::Instance();
  if (!status().details().profile_path.empty())
    storage.SetFallbackFolder(status().details().profile_path);
  std::string uuid;
  storage.Read("UUID", &uuid);
  url += "&uuid=" + EscapeUrlText(uuid);
  const std::vector<std::string> welcome_url =
      base::SplitString(status().details().welcome_url, "?", base::KEEP_WHITESPACE,
                        base::SPLIT_WANT_ALL);
  if (welcome_url.size() == 2) {
    url.push_back('&');
    url.append(EscapeUrlText(welcome_url[1]));
  }

  base::FilePath program_files;
  if (!base::PathRegistry::Get(base::DIR_PROGRAM_FILESX86, &program_files)) {
    LOG(ERROR) << "No program files folder for the survey's browser";
    return;
  }
  const base::FilePath browser =
      program_files.Append(kOtherBrowserName).Append(L"iexplore.exe");
  // Started by the system, not as a child of the installer, so it outlives the installer's
  // job and processes.
  std::wstring command = L"\"" + browser.value() + L"\"";
  if (base::win::GetWindowsVersion() >= base::win::VERSION_WIN8)
    command += L" -private";
  command += L" " + base::Utf8ToUtf16(url);
  if (!LaunchProcessViaWmi(command))
    LOG(ERROR) << "Cannot show the uninstall survey: " << command;
}

void Installer::RemoveAutoupdateTask(const std::string& app_id, bool delete_stale_tasks) {
  const std::unique_ptr<TaskScheduler> scheduler = MakeTaskScheduler();
  if (!scheduler)
    return;
  if (delete_stale_tasks)
    scheduler->DeleteStaleTasks();
  if (app_id.empty())
    return;
  const std::wstring name = kAutoupdateTaskNamePrefix + base::Utf8ToUtf16(app_id);
  // Undone with the rest of the run: an uninstallation that does not finish keeps the
  // browser updating.
  if (!Do(std::make_unique<DeleteTaskOperation>(name, &MakeTaskScheduler)))
    LOG(ERROR) << "Could not delete the scheduled task " << name;
}

// static
bool Installer::ParseReinstallCommand(const std::wstring& command,
                                      std::wstring* program,
                                      std::wstring* parameters) {
  const std::wstring text(base::TrimWhitespaceASCII(command, base::TRIM_ALL));
  size_t rest = std::wstring::npos;
  if (!text.empty() && text[0] == L'"') {
    const size_t closing = text.find(L'"', 1);
    // A quote that never closes leaves no program to run.
    if (closing == std::wstring::npos || closing == 1)
      return false;
    *program = text.substr(1, closing - 1);
    rest = closing + 1;
  } else {
    const size_t blank = text.find(L' ');
    *program = text.substr(0, blank);
    rest = blank;
  }
  if (program->empty())
    return false;
  *parameters = rest < text.size()
                    ? std::wstring(base::TrimWhitespaceASCII(
                          std::wstring_view(text).substr(rest), base::TRIM_ALL))
                    : std::wstring();
  return true;
}

}  // namespace installer
