#include "desktop/windows/installer/installer.h"

#include <limits.h>

#include <set>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "base/features/list_feature_reader.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_registry.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/default_install_folders.h"
#include "desktop/windows/installer/installer_registry_tables.h"
#include "desktop/windows/installer/installer_variables.h"
#include "desktop/windows/installer/prefs_task_pool.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/pe_image.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

constexpr wchar_t kInterruptedEventName[] = L"TavroInstaller/InstallationInterrupted";
// Read, write and run: what the user needs in the install folder.
constexpr ACCESS_MASK kFolderWriteAccess =
    FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE;
constexpr DWORD kInheritedByEverything = CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;

// Splits a files list at line ends, keeping whitespace and dropping empty lines.
std::vector<std::string> SplitFilesList(const std::string& text) {
  return base::SplitString(text, "\r\n", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
}

}  // namespace

const wchar_t kFilesListName[] = L"files_list";
const wchar_t kRootFilesListName[] = L"root_files_list";
const wchar_t kPrefDefaultOverridesFileName[] = L"pref_default_overrides";
const wchar_t kInstallerPrefsIncludeFileName[] = L"installer_prefs_include.json";

InstallerUserRights::InstallerUserRights()
    : is_user_admin(&IsUserAdmin),
      has_folder_access([](const base::FilePath& folder, ACCESS_MASK access) {
        return HasAccess(folder.value(), SE_FILE_OBJECT, access) > 0;
      }),
      grant_folder_access([](const base::FilePath& folder,
                             ACCESS_MASK access,
                             std::unique_ptr<SavedSecurity>* saved) {
        return GrantAccess(folder.value(), SE_FILE_OBJECT, access, kInheritedByEverything, saved);
      }),
      restore_folder_access(&RestoreSecurity) {}

Installer::Installer() {
  base::MessageLoop* loop = base::MessageLoop::Current();
  CHECK(loop) << "The installer runs its steps on its thread's message loop";
  task_runner_ = loop->task_runner();
}

Installer::~Installer() {
  if (running_)
    Cancel();
  interrupted_watcher_.StopWatching();
  interrupted_event_.Close();
  package_ready_watcher_.StopWatching();
  package_ready_event_.Close();
  steps_.clear();
  undo_permission_event_.Close();
}

void Installer::AddObserver(InstallerObserver* observer) {
  observers_.AddObserver(observer);
}

void Installer::RemoveObserver(InstallerObserver* observer) {
  observers_.RemoveObserver(observer);
}

void Installer::Start(Settings* settings) {
  LOG(INFO) << "Beginning installation";
  CHECK(settings) << "The installer needs settings";
  CHECK(!started_ && !settings_) << "The installer runs once";
  CHECK(!settings->IsFetchingStatus()) << "The install folder is still being read";
  started_ = true;
  settings->set_accepts_changes(false);
  settings_ = settings;
  succeeded_ = false;
  task_runner_->PostTask(FROM_HERE_WITH_EXPLICIT_FUNCTION("Run"),
                         base::BindMethod(&Installer::Run, weak_factory_.GetWeakPtr()));
}

void Installer::Run() {
  running_ = true;
  if (operation() == OPERATION_REGISTER_PROTOCOL_HANDLER) {
    // Only for the preference step's include file, which is optional.
    base::PathRegistry::Get(base::DIR_EXE, &own_folder_);
    package_source_ = own_folder_;
    steps_.push_back(
        base::BindMethod(&Installer::StepRegisterProtocolHandler, weak_factory_.GetWeakPtr()));
    steps_.push_back(
        base::BindMethod(&Installer::StepWriteInstallerPrefs, weak_factory_.GetWeakPtr()));
    steps_.push_back(
        base::BindMethod(&Installer::StepInstallationSucceeded, weak_factory_.GetWeakPtr()));
    step_lists_.assign(steps_.size(), nullptr);
    next_step_ = 0;
    ScheduleNextStep();
    return;
  }
  // Only an older-generation installation may be replaced by an autoupdate that is not an
  // upgrade.
  if (flag(AUTOUPDATE) && operation() != OPERATION_UPGRADING &&
      !status().morrit_installation()) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Settings operation invalid for autoupdate");
    return;
  }
  if (operation() == OPERATION_INVALID) {
    LOG(ERROR) << ReportError(IDS_ERROR_INVALID_LOCATION, std::wstring(),
                              "Settings operation invalid");
    return;
  }
  if (!base::PathRegistry::Get(base::DIR_EXE, &own_folder_)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed getting our own path");
    return;
  }
  package_source_ = own_folder_;
  if (command_line().HasSwitch("post-elevated-install-tasks")) {
    LOG(INFO) << "Post elevation installation tasks only";
    RunPostElevationTasks();
    if (running_)
      StepInstallationSucceeded();
    return;
  }
  if (!PrepareInstallFolder())
    return;
  FOR_EACH_OBSERVER(InstallerObserver, observers_, InstallFolderReady());

  if (command_line().HasSwitch("wait-for-package")) {
    LOG(INFO) << "Need to wait for package";
    WaitForPackage(false);
    return;
  }

  if (!StartUndoJournal())
    return;
  FillInstallStatus();
  if (operation() != OPERATION_UNINSTALLING) {
    if (!StagePackage() || !CreateInstallationSubfolder())
      return;
  } else {
    const base::FilePath& subfolder = status().install_status().subfolder;
    // The subfolder comes from the status file: one that is not below the install folder
    // holds nothing of the installation's (GetOwnedPath warns).
    const base::FilePath installation =
        subfolder.empty() ? install_folder() : GetOwnedPath(install_folder(), subfolder.value());
    const base::FilePath browser_exe = installation.Append(GetBrowserExeName());
    if (!installation.empty() &&
        !Do(std::make_unique<DeleteFileOperation>(browser_exe, true, true))) {
      LOG(ERROR) << ReportError(IDS_ERROR_BROWSER_IN_USE, std::wstring(),
                                "Can't uninstall when " + browser_exe.ToUtf8() + " is in use");
      return;
    }
  }
  ApplyStoredExperiments();
  launcher_bitness_known_ =
      IsPE64(install_folder().Append(kLauncherExeName), &launcher_is_64_);

  BuildSteps();
  if (steps_.empty()) {
    LOG(ERROR) << ReportError(
        operation() == OPERATION_UNINSTALLING ? IDS_ERROR_UNINSTALL_FAILED
                                              : IDS_ERROR_INSTALL_FAILED,
        std::wstring(), "No installation steps for this operation in this build");
    return;
  }
  const int total = CountStepNotifications();
  FOR_EACH_OBSERVER(InstallerObserver, observers_, TotalSteps(total));
  next_step_ = 0;
  ScheduleNextStep();
}

bool Installer::PrepareInstallFolder() {
  if (!OpenInterruptedEvent())
    return false;
  if (command_line().HasSwitch("parent-pid")) {
    unsigned pid = 0;
    base::StringToUint(command_line().GetSwitchValueNative("parent-pid"), &pid);
    other_pid_ = pid;
    LOG(INFO) << "Second installer pid: " << other_pid_;
  }
  if (command_line().HasSwitch("run-elevated")) {
    // The elevated child of a user's installer: what belongs to that user's own process
    // (the user's autoupdate task, starting the clean-up batch) is left to it.
    completion_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!completion_event_.IsValid())
      PLOG(ERROR) << "Cannot create the completion event of the elevated installation";
  }
  const bool is_admin = rights_.is_user_admin(false);
  LOG(INFO) << "is_elevated_admin: " << is_admin;
  const bool all_users = flag(ALL_USERS_FLAG);
  if (all_users && flag(SILENT) && !is_admin) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Installation requires elevation, but cannot elevate when silent");
    return false;
  }

  bool write_access = true;
  if (status().valid_parent_folder() != install_folder() && !(all_users && !is_admin)) {
    LOG(INFO) << "Using write permissions from the status";
    write_access = status().details().has_write_access;
    if (write_access &&
        !Do(std::make_unique<CreateFolderOperation>(install_folder(), InstallFolderProtection()))) {
      LOG(ERROR) << ReportError(IDS_ERROR_CREATE_FOLDER, install_folder().value(),
                                "Could not create installation folder");
      return false;
    }
  }
  if (operation() != OPERATION_UNINSTALLING && !flag(COPY_ONLY) && !flag(AUTOUPDATE))
    SaveLastInstallPath();
  if (write_access)
    write_access = rights_.has_folder_access(install_folder(), kFolderWriteAccess);

  // The older generation kept one profile per folder, wherever it was installed.
  const bool older_single_user =
      status().morrit_installation() && status().details().single_profile == 1;
  if (operation() == OPERATION_INSTALLING && !write_access && flag(SINGLE_PROFILE) &&
      !older_single_user) {
    LOG(ERROR) << ReportError(
        IDS_ERROR_INSUFFICIENT_PRIVILEGES, std::wstring(),
        "Single profile installations are only allowed to locations where the user has write "
        "access");
    return false;
  }
  if (all_users && !is_admin) {
    LOG(INFO) << "All users is set but we have no admin privs -> elevate";
    if (!HandleElevatedResult(RunElevated()))
      return false;
  }
  if (operation() == OPERATION_INSTALLING && is_admin && flag(SINGLE_PROFILE) &&
      !older_single_user) {
    // The profile lives in the install folder: every user who runs the browser writes there.
    rights_.grant_folder_access(install_folder(), GENERIC_ALL, nullptr);
  }
  LOG(INFO) << "Write privileges for install folder: " << write_access;
  if (!write_access && !ObtainWriteAccess(is_admin))
    return false;
  if (!Do(std::make_unique<CreateFolderOperation>(install_folder(), InstallFolderProtection()))) {
    LOG(ERROR) << ReportError(IDS_ERROR_CREATE_FOLDER, install_folder().value(),
                              "Could not create installation folder");
    return false;
  }
  return true;
}

std::optional<Readers> Installer::InstallFolderProtection() const {
  // What every user runs, and what elevated runs later read back, lies there: wherever the
  // folder is made, only SYSTEM and Administrators may change it (a parent outside the
  // program folders lets every user). A single profile's grant is added afterwards.
  if (flag(ALL_USERS_FLAG))
    return Readers::kUsersReadAndExecute;
  return std::nullopt;
}

bool Installer::OpenInterruptedEvent() {
  if (!OpenInstallFolderEvent(kInterruptedEventName, "interrupted installation",
                              "Failed to open a handle to the installation interrupted event",
                              &interrupted_event_)) {
    return false;
  }
  if (!interrupted_watcher_.RegisterWait(interrupted_event_.Get(), this)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed to watch the installation interrupted event");
    return false;
  }
  return true;
}

bool Installer::OpenInstallFolderEvent(const wchar_t* base_name,
                                       const char* label,
                                       const char* failure,
                                       base::win::ScopedHandle* event) {
  const std::wstring name = MakeObjectName(install_folder(), base_name, true);
  LOG(INFO) << "Event name for " << label << ": " << name;
  // The front end made it as its user, whom an installer elevated with another
  // administrator's account is not: that user is trusted, read from the front end's token.
  // One that anybody else made could be signalled at will.
  std::vector<BYTE> front_end_user_buffer;
  const PSID front_end_user =
      cancel_when_ended_ ? GetProcessUserSid(cancel_when_ended_, &front_end_user_buffer)
                         : nullptr;
  NamedObject opened = front_end_user ? OpenNamedEvent(name, SYNCHRONIZE, front_end_user)
                                      : OpenNamedEvent(name, SYNCHRONIZE);
  const DWORD error = ::GetLastError();
  *event = std::move(opened.handle);
  if (event->IsValid())
    return true;
  if (error == ERROR_FILE_NOT_FOUND)
    LOG(ERROR) << "There is no event " << name;
  LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(), failure);
  return false;
}

void Installer::SaveLastInstallPath() {
  struct OptionalRow {
    const RegistryTemplateRow& row;
    const char* convert_error;
    const char* write_error;
  };
  std::vector<OptionalRow> rows = {{kSetLastInstallPathRegOp,
                                    "Could not convert kSetLastInstallPathRegOp",
                                    "Could not write last installation path"}};
  // An x64 installer no longer keeps the separate value of older x64 builds.
  if (settings_->architecture() == INSTALLER_ARCH_X64) {
    rows.push_back({kDeleteX64LastInstallPathRegOp,
                    "Could not convert kDeleteX64LastInstallPathRegOp",
                    "Could not delete legacy x64 last install path"});
  }
  LOG(INFO) << "Saving last installation path.";
  for (const OptionalRow& entry : rows) {
    std::unique_ptr<Operation> change;
    if (!RegistryEntry(entry.row, this).CreateOperation(HKEY_CURRENT_USER, &change) || !change) {
      LOG(ERROR) << entry.convert_error;
      continue;
    }
    if (!Do(std::move(change)))
      LOG(ERROR) << entry.write_error;
  }
}

bool Installer::HandleElevatedResult(int result) {
  switch (result) {
    case 0:
      LOG(INFO) << "Succeeded elevated run";
      // When the package is awaited, the package's own installer ends this run (or has ended
      // it already).
      if (running_ && !package_ready_event_.IsValid())
        StepInstallationSucceeded();
      return false;
    case 1:
      LOG(ERROR) << ReportError(IDS_ERROR_ELEVATION_FAILED, std::wstring(),
                                "Elevated installation failed.");
      return false;
    case 2:
      LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                                "Installer process did not complete successfully.");
      return false;
    case 3:
      LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                                "Error when setting up the installer process");
      return false;
    default:
      return true;
  }
}

bool Installer::ObtainWriteAccess(bool is_admin) {
  if (rights_.grant_folder_access(install_folder(), kFolderWriteAccess, &saved_security_))
    return true;
  saved_security_.reset();
  if (is_admin) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSUFFICIENT_PRIVILEGES, std::wstring(),
                              "Could not obtain write permissions to installation folder");
    return false;
  }
  if (rights_.is_user_admin(true)) {
    LOG(INFO) << "Running elevated because of folder privileges";
    return HandleElevatedResult(RunElevated());
  }
  LOG(INFO) << "Need temporary write permissions from administrative user";
  // The helper of an uninstallation starts the clean-up batch once the grant is taken
  // back: a grant that is never taken back would start it before the batch is written.
  const bool permanent = operation() != OPERATION_UNINSTALLING &&
                         (flag(SINGLE_PROFILE) || command_line().HasSwitch("components"));
  switch (ObtainFolderPermission(install_folder(), permanent)) {
    case 0:
      LOG(INFO) << "Temporary write permission obtained";
      break;
    case 1:
      LOG(ERROR) << ReportError(
          IDS_ERROR_ELEVATION_FAILED, std::wstring(),
          "Failed to elevate the process to give us write permissions to installation folder");
      return false;
    case 2:
      LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                                "The process for giving us write permission to the installer "
                                "folder didn't complete successfully");
      return false;
    default:
      LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                                "Error when setting up the process to give us write permissions "
                                "to installation folder");
      return false;
  }
  if (!rights_.has_folder_access(install_folder(), kFolderWriteAccess)) {
    LOG(ERROR) << ReportError(
        IDS_ERROR_INSUFFICIENT_PRIVILEGES, std::wstring(),
        "No write access to installation folder after attempting to get it via elevated "
        "process");
    return false;
  }
  return true;
}

void Installer::FillInstallStatus() {
  install_status_.copy_only = flag(COPY_ONLY);
  install_status_.all_users = flag(ALL_USERS_FLAG);
  install_status_.install_folder = install_folder();
  install_status_.version = ProductInfo::GetVersion();
  const std::string& previous_id = status().install_status().app_id;
  if (operation() == OPERATION_UPGRADING && !previous_id.empty()) {
    install_status_.app_id = previous_id;
    return;
  }
  install_status_.app_id = base::Int64ToString(base::Time::Now().ToTimeT());
  LOG(INFO) << "AppId for new installation: " << install_status_.app_id;
}

bool Installer::ReadFilesLists() {
  LOG(INFO) << "Reading files list";
  std::string text;
  if (!base::ReadFileToString(package_source_.Append(kFilesListName), &text)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Could not read files list");
    return false;
  }
  files_list_ = SplitFilesList(text);
  if (files_list_.empty()) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(), "No files in files list");
    return false;
  }
  if (base::ReadFileToString(package_source_.Append(kRootFilesListName), &text)) {
    LOG(INFO) << "Read root files list";
    root_files_list_ = SplitFilesList(text);
  }
  // Step counts and copy indices are signed 32-bit values.
  constexpr size_t kMaxEntries = INT_MAX / 2;
  if (files_list_.size() > kMaxEntries || root_files_list_.size() > kMaxEntries) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Too many entries in the files lists");
    return false;
  }
  // Every entry must stay below the folder it is copied to, and is later deleted there.
  for (const std::vector<std::string>* list : {&files_list_, &root_files_list_}) {
    for (const std::string& entry : *list) {
      if (!IsSafeRelativePath(base::Utf8ToUtf16(entry))) {
        LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                                  "Invalid entry in files list: " + entry);
        return false;
      }
    }
  }
  return true;
}

namespace {

// Whether Windows would run or load |file| as code by its type.
bool IsLoadableCode(const base::FilePath& file) {
  static const wchar_t* const kCodeExtensions[] = {
      L".exe", L".dll", L".sys", L".ocx", L".cpl", L".scr", L".com", L".drv",
      L".efi", L".mui", L".ax",  L".bat", L".cmd", L".msi", L".manifest"};
  const std::wstring extension = file.Extension();
  for (const wchar_t* code : kCodeExtensions) {
    if (_wcsicmp(extension.c_str(), code) == 0)
      return true;
  }
  return false;
}

}  // namespace

void Installer::AddFilesListedOutsideThePackage() {
  std::string text;
  if (!base::ReadFileToString(own_folder_.Append(kFilesListName), &text))
    return;
  const std::set<std::string> listed(files_list_.begin(), files_list_.end());
  for (const std::string& entry : SplitFilesList(text)) {
    const base::FilePath file(base::Utf8ToUtf16(entry));
    if (listed.count(entry) || !IsSafeRelativePath(file.value()) ||
        base::PathExists(package_source_.Append(file))) {
      continue;
    }
    // What the front end fetched for the package is data: code that the browser or the
    // system would load from the install folder is nobody's to put there but the package's.
    if (IsLoadableCode(file)) {
      LOG(WARNING) << "Not installing " << file << ", which only the package folder lists";
      continue;
    }
    LOG(INFO) << "Installing " << file << ", which only the package folder lists";
    files_list_.push_back(entry);
  }
}

bool Installer::CreateInstallationSubfolder() {
  if (!status().existing_installation())
    RemoveUninstallRemnants();
  const std::wstring version = base::AsciiToUtf16(ProductInfo::GetVersion());
  std::wstring subfolder = version;
  for (int n = 0; base::PathExists(install_folder().Append(subfolder)); ++n)
    subfolder = version + L"_" + base::IntToWideString(n);
  LOG(INFO) << "Installation subfolder" << subfolder;
  install_status_.subfolder = base::FilePath(subfolder);
  if (!Do(std::make_unique<CreateFolderOperation>(install_folder().Append(subfolder)))) {
    LOG(ERROR) << ReportError(IDS_ERROR_CREATE_FOLDER, subfolder,
                              "Creating installation subfolder failed");
    return false;
  }
  return true;
}

void Installer::ApplyStoredExperiments() {
  base::FeatureRegistry& features = base::FeatureRegistry::GetInstance();
  if (operation() == OPERATION_UPGRADING) {
    base::scoped_refptr<JsonPrefStore> prefs = LoadReadOnlyJsonPrefStore(
        GetPrefsTaskPool(), install_folder().Append(kInstallerPrefsFileName));
    const base::Value* stored = nullptr;
    const base::ListValue* experiments = nullptr;
    if (prefs->GetValue("installer-experiments", &stored) && stored->GetAsList(&experiments)) {
      features.ApplyReader(base::ListFeatureReader(*experiments));
      // What the command line asks for wins over what the installation kept.
      features.ApplyReader(base::CommandLineFeatureReader(command_line()));
    }
  }
  if (status().experiments().IsEnabled(kInstallerExperimentTestFeature) !=
      features.IsEnabled(kInstallerExperimentTestFeature)) {
    LOG(INFO) << "Changing the status of the test experiment.";
  }
}

void Installer::BuildSteps() {
  const base::WeakPtr<Installer> self = weak_factory_.GetWeakPtr();
  auto add = [&](Step step) {
    steps_.push_back(base::BindMethod(step, self));
    step_lists_.push_back(nullptr);
  };
  auto add_copy = [&](void (Installer::*step)(int), const std::vector<std::string>* list) {
    steps_.push_back(base::BindMethod(step, self, 0));
    step_lists_.push_back(list);
  };
  switch (operation()) {
    case OPERATION_INSTALLING:
      add_copy(&Installer::StepCopyFiles, &files_list_);
      add_copy(&Installer::StepCopyRootFiles, &root_files_list_);
      add(&Installer::StepInstallLauncher);
      add(&Installer::StepSetupRegistry);
      add(&Installer::StepInstallShortcuts);
      add(&Installer::StepWriteInstallerPrefs);
      add(&Installer::StepInstallComponents);
      add(&Installer::StepFinalizeInstallation);
      break;
    case OPERATION_UPGRADING:
      add(&Installer::StepRemoveInstalledFiles);
      add_copy(&Installer::StepCopyFiles, &files_list_);
      add(&Installer::StepRemoveOldRootFiles);
      add_copy(&Installer::StepCopyRootFiles, &root_files_list_);
      add(&Installer::StepInstallLauncher);
      add(&Installer::StepCleanupRegistry);
      add(&Installer::StepSetupRegistry);
      add(&Installer::StepUpdateShortcuts);
      add(&Installer::StepWriteInstallerPrefs);
      add(&Installer::StepPreserveStatus);
      add(&Installer::StepInstallComponents);
      add(&Installer::StepFinalizeInstallation);
      break;
    case OPERATION_UNINSTALLING:
      add(&Installer::StepCleanupRegistry);
      add(&Installer::StepRemoveShortcuts);
      add(&Installer::StepFinalizeUninstallation);
      add(&Installer::StepRemoveInstalledFiles);
      add(&Installer::StepUninstallComponents);
      add(&Installer::StepCleanupAfterUninstall);
      break;
    default:
      break;
  }
}

int Installer::CountStepNotifications() const {
  // ScheduleNextStep tells one Step for each step it posts (the first from Run), and the
  // last step one before it ends the run. A copy step adds one for every file after its
  // first; with an empty list it still passes on once.
  int64_t count = static_cast<int64_t>(steps_.size()) + 1;
  for (const std::vector<std::string>* list : step_lists_) {
    if (list && list->size() > 1)
      count += static_cast<int64_t>(list->size()) - 1;
  }
  return static_cast<int>(count);
}

void Installer::ScheduleNextStep() {
  CHECK_LT(next_step_, steps_.size());
  PostStep(FROM_HERE_WITH_EXPLICIT_FUNCTION("ScheduleNextStep"), steps_[next_step_]);
  NotifyStep();
  ++next_step_;
}

void Installer::PostStep(const base::Location& from_here, base::Closure step) {
  task_runner_->PostTask(
      from_here, base::BindMethod(&Installer::RunStepIfRunning, weak_factory_.GetWeakPtr(),
                                  std::move(step)));
}

void Installer::RunStepIfRunning(const base::Closure& step) {
  if (!running_ || !settings_)
    return;
  // The watcher tells of the cancellation a little later; no step starts after it. Nor
  // after the end of the process the run is for: nobody waits for the run any more, and it
  // is not finished without them. One look at both, as there is a step for every file.
  HANDLE ends[2];
  DWORD count = 0;
  if (interrupted_event_.IsValid())
    ends[count++] = interrupted_event_.Get();
  if (cancel_when_ended_)
    ends[count++] = cancel_when_ended_;
  // The first object signalled is named: an interruption comes before the process's end.
  const DWORD result = count ? ::WaitForMultipleObjects(count, ends, FALSE, 0) : WAIT_TIMEOUT;
  if (result == WAIT_FAILED)
    PLOG(ERROR) << "Cannot tell whether the installation may go on";
  const DWORD signaled = result - WAIT_OBJECT_0;
  if (signaled < count) {
    LOG(INFO) << (ends[signaled] == interrupted_event_.Get()
                      ? "Installation was interrupted"
                      : "The process the installation runs for has ended");
    Cancel();
    return;
  }
  step.Run();
}

void Installer::StepCopyFile(int index,
                             const std::vector<std::string>& list,
                             base::Closure next,
                             std::vector<std::string>* copied,
                             bool root) {
  if (root && index == 0 && list.empty()) {
    LOG(INFO) << "Skipping copying of root files since list is empty.";
    ScheduleNextStep();
    return;
  }
  if (index < 0 || static_cast<size_t>(index) >= list.size()) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Invalid index " + base::IntToString(index) +
                                  " passed to StepCopyFile (max: " +
                                  base::Uint64ToString(list.size()) + ")");
    return;
  }
  const std::string& entry = list[index];
  const std::wstring relative = base::Utf8ToUtf16(entry);
  const base::FilePath source = package_source_.Append(relative);
  const base::FilePath destination =
      (root ? install_folder() : installation_folder()).Append(relative);
  LOG(INFO) << "Copying " << (root ? "root " : "") << "file " << entry;
  if (!Do(std::make_unique<CopyFileOperation>(source, destination))) {
    LOG(ERROR) << ReportError(IDS_ERROR_COPY_FILE, destination.value(), "Failed copying " + entry);
    return;
  }
  copied->push_back(entry);
  if (static_cast<size_t>(index) + 1 == list.size()) {
    LOG(INFO) << "Done copying " << (root ? "root " : "") << "files";
    ScheduleNextStep();
    return;
  }
  NotifyStep();
  PostStep(FROM_HERE_WITH_EXPLICIT_FUNCTION("CopyFileW"), std::move(next));
}

std::string Installer::ReportError(int code,
                                   const std::wstring& message,
                                   const std::string& detail) {
  if (ended_) {
    // The observers already heard how the run ended.
    return "After the end of the installation: " + detail;
  }
  FOR_EACH_OBSERVER(InstallerObserver, observers_, Error(code, message, detail));
  Cancel();
  return detail;
}

void Installer::Cancel() {
  LOG(INFO) << "Installation cancelled";
  transaction_.Rollback();
  ReleaseResources();
  ended_ = true;
  FOR_EACH_OBSERVER(InstallerObserver, observers_, Done(false));
}

void Installer::ReleaseResources() {
  // What the operations kept aside is deleted while this process may still write there.
  if (succeeded_ && !keep_undo_after_success_)
    transaction_.Commit();
  if (saved_security_) {
    if (!rights_.restore_folder_access(*saved_security_))
      LOG(ERROR) << "The install folder's access list was not put back";
    saved_security_.reset();
  }
  if (undo_permission_event_.IsValid()) {
    if (!::SetEvent(undo_permission_event_.Get()))
      PLOG(ERROR) << "Cannot tell the permission helper to undo its grant";
    undo_permission_event_.Close();
  }
  // From here on a cancellation has nothing left to roll back, and no package is awaited.
  interrupted_watcher_.StopWatching();
  package_ready_watcher_.StopWatching();
  // The run's copy of the package, and its record, go with the run.
  package_copy_.reset();
  settings_ = nullptr;
  uninstall_key_.clear();
  running_ = false;
  weak_factory_.InvalidateWeakPtrs();
}

void Installer::NotifyStep() {
  FOR_EACH_OBSERVER(InstallerObserver, observers_, Step());
}

void Installer::OnObjectSignaled(HANDLE object) {
  if (!running_)
    return;
  if (object == interrupted_event_.Get()) {
    LOG(INFO) << "Installation was interrupted";
    Cancel();
    return;
  }
  if (package_ready_event_.IsValid() && object == package_ready_event_.Get()) {
    OnPackageReady();
    return;
  }
  LOG(WARNING) << "Signal of an unexpected object ignored";
}

std::wstring Installer::ResolveVariable(const std::wstring& name) {
  return ResolveInstallerVariable(name, settings_ ? install_folder() : base::FilePath(),
                                  uninstall_key_);
}

RegistryRecord* Installer::GetRegistryRecord(HKEY root) {
  if (!record_registry_)
    return nullptr;
  return root == HKEY_LOCAL_MACHINE ? &install_status_.hklm_keys : &install_status_.hkcu_keys;
}

// static
std::wstring Installer::MakeUninstallKey(const std::wstring& suffix) {
  return GetUninstallRegistryKey() + L"\\" + base::Utf8ToUtf16(ProductInfo::GetProductName()) +
         L" " + base::AsciiToUtf16(ProductInfo::GetVersion()) + suffix;
}

// static
bool Installer::IsSafeRelativePath(std::wstring_view path) {
  // No drive, stream or root: the path stays below the folder it is joined to.
  return !path.empty() && !base::FilePath::IsSeparator(path.front()) &&
         path.find(L':') == std::wstring_view::npos && !base::FilePath(path).ReferencesParent();
}

const Status& Installer::status() const {
  return reloaded_status_ ? *reloaded_status_ : settings_->GetStatus();
}

const base::FilePath& Installer::install_folder() const {
  return settings_->GetInstallFolder();
}

const base::CommandLine& Installer::command_line() const {
  return settings_->command_line();
}

bool Installer::flag(int index) const {
  return settings_->GetFlag(static_cast<SettingsFlag>(index));
}

uint32_t Installer::operation() const {
  return settings_->operation();
}

base::FilePath Installer::installation_folder() const {
  return install_folder().Append(install_status_.subfolder);
}

bool Installer::Do(std::unique_ptr<Operation> operation) {
  return transaction_.Do(std::move(operation));
}

}  // namespace installer
