// The Installer's steps that copy the package, write the installer preferences, keep and
// remove the records of earlier installations, and finish the installation.

#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_file_reader.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/prefs_task_pool.h"
#include "desktop/windows/installer/service/browser_registration.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/operation_group.h"
#include "desktop/windows/installer/service/transactions/preserve_file_operation.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/verified_launch.h"
#include "desktop/windows/installer/verified_package.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

constexpr wchar_t kTrackingDataFileName[] = L"server_tracking_data";
constexpr wchar_t kOldStatusFolderName[] = L"old_status";

std::unique_ptr<base::Value> MakeBool(bool value) {
  return std::make_unique<base::ScalarValue>(value);
}

std::unique_ptr<base::Value> MakeString(std::wstring_view value) {
  return std::make_unique<base::StringValue>(value);
}

// Whether |folder| holds nothing but entries kept aside by operations.
bool IsEmptyButForBackups(const base::FilePath& folder) {
  base::FileEnumerator entries(folder, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    if (!FileBackup::IsBackupName(entry.BaseName().value()))
      return false;
  }
  return true;
}

// Whether |address| is an http or https address with a host, and nothing a browser could
// take for a file or a script.
bool IsWebAddress(const std::string& address) {
  for (const char* scheme : {"https://", "http://"}) {
    const size_t length = strlen(scheme);
    if (address.size() > length && _strnicmp(address.c_str(), scheme, length) == 0)
      return address.find_first_of(" \"\\<>\r\n\t") == std::string::npos;
  }
  return false;
}

}  // namespace

bool Installer::StagePackage() {
  package_source_ = own_folder_;
  // A process without an administrator's rights installs nothing that its user could not
  // change anyway.
  if (!rights_.is_user_admin(false))
    return ReadFilesLists();
  // The package folder is the user's: an administrator's run installs what it unpacks
  // itself from the package file, checked and held while it is unpacked.
  LOG(INFO) << "Unpacking the package into a folder of this process";
  const base::FilePath package = FindUnpackedPackage(own_folder_, cancel_when_ended_);
  auto staging = std::make_unique<StagingFolder>();
  std::string error = "Could not find the package";
  if (package.empty() || !staging->Create() ||
      !UnpackVerifiedPackage(package, !IsThisInstallerUnsigned(), staging->path(), &error)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(), error);
    return false;
  }
  package_source_ = staging->path();
  package_copy_ = std::move(staging);
  if (!ReadFilesLists())
    return false;
  AddFilesListedOutsideThePackage();
  std::vector<base::FilePath> files;
  for (const std::vector<std::string>* list : {&files_list_, &root_files_list_}) {
    for (const std::string& entry : *list)
      files.push_back(base::FilePath(base::Utf8ToUtf16(entry)));
  }
  // Never the launcher: a program comes from the package file or not at all.
  for (const wchar_t* name : {kPrefDefaultOverridesFileName, kInstallerPrefsIncludeFileName}) {
    files.push_back(base::FilePath(name));
  }
  const base::FilePath tracking_data = command_line().GetSwitchValuePath("server-tracking-data");
  if (IsSafeRelativePath(tracking_data.value()))
    files.push_back(tracking_data);
  // What the front end adds to the package (files it fetched, overrides, tracking data) is
  // data: copied from the package folder, never in place of a file of the package. The
  // installer preferences' include is the front end's as well: it writes the welcome page
  // of the server's reply into the unpacked one.
  const base::FilePath include(kInstallerPrefsIncludeFileName);
  for (const base::FilePath& file : files) {
    // What neither has stays missing: its step fails as it would have.
    if ((file != include && base::PathExists(package_source_.Append(file))) ||
        !base::PathExists(own_folder_.Append(file))) {
      continue;
    }
    LOG(INFO) << "Taking " << file << " from the package folder";
    if (!package_copy_->CopyIn(own_folder_, file)) {
      LOG(ERROR) << ReportError(IDS_ERROR_COPY_FILE, own_folder_.Append(file).value(),
                                "Could not copy " + file.ToUtf8() + " from the package");
      return false;
    }
  }
  return true;
}

void Installer::StepCopyFiles(int index) {
  StepCopyFile(index, files_list_,
               base::BindMethod(&Installer::StepCopyFiles, weak_factory_.GetWeakPtr(), index + 1),
               &install_status_.files, false);
}

void Installer::StepCopyRootFiles(int index) {
  StepCopyFile(
      index, root_files_list_,
      base::BindMethod(&Installer::StepCopyRootFiles, weak_factory_.GetWeakPtr(), index + 1),
      &install_status_.root_files, true);
}

void Installer::StepInstallLauncher() {
  LOG(INFO) << "Installing the launcher";
  const base::FilePath launcher = install_folder().Append(kLauncherExeName);
  if (!Do(std::make_unique<CopyFileOperation>(package_source_.Append(kLauncherExeName),
                                              launcher))) {
    LOG(ERROR) << ReportError(IDS_ERROR_COPY_FILE, launcher.value(), "Failed copying the launcher");
    return;
  }
  if (!ProductConfig::GetInstance().IsWhiteLabeled())
    InstallLauncherAsBrowserExe();

  if (command_line().HasSwitch("server-tracking-data")) {
    VLOG(1) << "Tracking data installation requested";
    // A file of the package, never one the switch names elsewhere.
    const base::FilePath relative = command_line().GetSwitchValuePath("server-tracking-data");
    const base::FilePath source = IsSafeRelativePath(relative.value())
                                      ? package_source_.Append(relative)
                                      : base::FilePath();
    if (source.empty() || !base::PathExists(source)) {
      LOG(WARNING) << "Tracking data path specified on command line invalid";
    } else if (!Do(std::make_unique<CopyFileOperation>(
                   source, install_folder().Append(kTrackingDataFileName)))) {
      LOG(WARNING) << "Failed to install tracking data";
    }
  }

  const base::FilePath overrides = package_source_.Append(kPrefDefaultOverridesFileName);
  if (base::PathExists(overrides)) {
    VLOG(1) << "Found pref default overrides";
    base::JsonErrorCode error_code = base::JSON_NO_ERROR;
    std::string error_message;
    if (!base::JsonFileReader(overrides).Deserialize(&error_code, &error_message)) {
      LOG(WARNING) << "Supplied pref default overrides is not valid JSON";
    } else if (!Do(std::make_unique<CopyFileOperation>(
                   overrides, install_folder().Append(kPrefDefaultOverridesFileName)))) {
      LOG(WARNING) << "Failed to install pref default overrides";
    }
  }
  ScheduleNextStep();
}

void Installer::InstallLauncherAsBrowserExe() {
  VLOG(2) << "Check if the launcher should be installed as tavro.exe";
  // Shortcuts and associations of older installations name the browser executable in the
  // install folder: the launcher takes its place there.
  const base::FilePath browser_exe = install_folder().Append(GetBrowserExeName());
  const base::FilePath old_browser_exe = browser_exe.ReplaceExtension(L".old");
  const bool replaces_older_generation =
      status().existing_installation() && status().morrit_installation();
  if (!replaces_older_generation &&
      !(base::PathExists(browser_exe) && base::PathExists(old_browser_exe))) {
    return;
  }
  VLOG(1) << "Install the launcher as tavro.exe";
  if (!Do(std::make_unique<MoveFileOperation>(browser_exe, old_browser_exe)) ||
      !Do(std::make_unique<CopyFileOperation>(package_source_.Append(kLauncherExeName),
                                              browser_exe))) {
    LOG(WARNING) << "Failed installing the launcher as tavro.exe";
  }
}

void Installer::StepWriteInstallerPrefs() {
  const base::FilePath path = install_folder().Append(kInstallerPrefsFileName);
  LOG(INFO) << "Writing installer prefs to" << path;
  // The store writes the file itself: the undo needs the file as it was.
  if (!Do(std::make_unique<PreserveFileOperation>(path)))
    LOG(ERROR) << "An undo of the installation will not restore " << path;

  PrefsTaskPool* const pool = GetPrefsTaskPool();
  base::scoped_refptr<JsonPrefStore> prefs = LoadJsonPrefStore(pool, path);
  // Never a file of the current folder: without a folder of its own there is none.
  base::scoped_refptr<JsonPrefStore> include;
  if (!package_source_.empty())
    include = LoadJsonPrefStore(pool, package_source_.Append(kInstallerPrefsIncludeFileName));
  const uint32_t flags = JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS;

  // The front end writes the server's welcome page into the package folder after unpacking,
  // so the file is only as good as that folder: an install takes from it nothing but a web
  // address, which every user of the browser then opens once.
  const base::Value* welcome_url = nullptr;
  std::string welcome_address;
  if (include && include->GetValue("welcome-url", &welcome_url) &&
      welcome_url->GetAsString(&welcome_address)) {
    if (IsWebAddress(welcome_address)) {
      VLOG(1) << "Writing welcome page url pref";
      prefs->SetValue("welcome-url", MakeString(base::Utf8ToUtf16(welcome_address)), flags);
    } else {
      LOG(WARNING) << "The package's welcome page is not a web address: not written";
    }
  }
  // The profile mode of an existing installation that could not be read is its own to
  // keep: the flag would only be a guess (and the installation then takes the mode of its
  // kind).
  if (operation() != OPERATION_INSTALLING && status().details().single_profile == -1)
    LOG(WARNING) << "The profile mode of the installation is unknown: it is left as it is";
  else
    prefs->SetValue("single_profile", MakeBool(flag(SINGLE_PROFILE)), flags);
  if (!settings_->profile_folder().empty()) {
    VLOG(1) << "Writing profile folder pref";
    prefs->SetValue("profile_path", MakeString(settings_->profile_folder().value()), flags);
  }
  if (!settings_->language().empty()) {
    VLOG(1) << "Writing install language pref";
    prefs->SetValue("language", MakeString(settings_->language()), flags);
  }
  auto changed = std::make_unique<base::ListValue>();
  auto all = std::make_unique<base::ListValue>();
  const base::FeatureRegistry& features = base::FeatureRegistry::GetInstance();
  for (const FeatureRow& row : GetInstallerFeatures()) {
    const bool enabled = features.IsEnabled(row.name);
    const std::string state = MakeFeatureStateString(row.name, enabled);
    if (enabled != IsFeatureEnabledByDefault(row))
      changed->AppendString(state);
    all->AppendString(state);
  }
  prefs->SetValue("installer-experiments", std::move(changed), flags);
  prefs->SetValue("all-installer-experiments", std::move(all), flags);
  if (command_line().HasSwitch("temp-folder")) {
    VLOG(1) << "Writing temp folder pref";
    prefs->SetValue("temp_folder", MakeString(command_line().GetSwitchValueNative("temp-folder")),
                    flags);
  }
  VLOG(1) << "Writing autoupdate pref";
  prefs->SetValue("autoupdate", MakeBool(flag(AUTOUPDATE)), flags);
  if (!flag(AUTOUPDATE)) {
    VLOG(1) << "Writing import browser data and enables stats prefs.";
    prefs->SetValue("import_browser_data", MakeBool(flag(IMPORT_BROWSER_DATA)), flags);
    prefs->SetValue("enable_stats", MakeBool(flag(ENABLE_TAVRO_STATS)), flags);
  }
  // The installation depends on the file (its profile mode, above all); later steps open
  // it again, and an undo must find it written.
  if (!CommitPendingWriteAndWait(pool, prefs.get(), kPrefsWriteWait)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed writing the installer prefs to " + path.ToUtf8());
    return;
  }
  ScheduleNextStep();
}

void Installer::StepFinalizeInstallation() {
  VLOG(1) << "Finalizing the installation";
  // The new record takes the place of the old one in one step; the old one is kept for an
  // undo.
  const base::FilePath status_file = install_folder().Append(kInstallStatusFileName);
  if (!Do(std::make_unique<PreserveFileOperation>(status_file)) ||
      !SaveInstallStatus(status_file, install_status_)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed saving the installation status");
    return;
  }
  // Nothing below can fail the installation any more: an interruption from here on leaves
  // the installation as it stands now.
  if (!transaction_.PassPointOfNoReturn())
    LOG(ERROR) << "An interruption from here on would undo the installation";
  SetUpDefaultBrowser();
  NotifyAssociationsChanged();
  CreateAutoupdateTask();
  if (rights_.is_user_admin(false))
    UpdateFirewallRule(installation_folder().Append(GetBrowserExeName()), false);
  FinalizeSuccessfulInstallation();
  NotifyStep();
  StepInstallationSucceeded();
}

void Installer::StepInstallationSucceeded() {
  if (ended_) {
    LOG(WARNING) << "The installation has already ended";
    return;
  }
  LOG(INFO) << "Installation succeeded";
  succeeded_ = true;
  ended_ = true;
  FOR_EACH_OBSERVER(InstallerObserver, observers_, Success());
  if (completion_event_.IsValid() && !::SetEvent(completion_event_.Get()))
    PLOG(ERROR) << "Cannot signal the completion of the installation";
  ReleaseResources();
  LaunchBrowserAfterSuccess();
}

void Installer::StepPreserveStatus() {
  LOG(INFO) << "Preserving previous installer status.";
  base::FilePath status_file = install_folder().Append(kInstallStatusFileName);
  if (!base::PathExists(status_file))
    status_file = install_folder().Append(kMorritInstallLogFileName);
  // A record made anew for a damaged or missing status file is kept in its place.
  const bool made_anew = status().record_made_anew();
  if (!made_anew && !base::PathExists(status_file)) {
    LOG(WARNING) << "No previous status file found.";
    ScheduleNextStep();
    return;
  }
  const base::FilePath old_status = install_folder().Append(kOldStatusFolderName);
  if (!base::DirectoryExists(old_status)) {
    VLOG(1) << "Creating folder for ald status files.";
    if (!Do(std::make_unique<CreateFolderOperation>(old_status))) {
      ScheduleNextStep();
      return;
    }
  }
  VLOG(1) << "Moving old status file.";
  const base::FilePath kept = old_status.Append(
      std::wstring(kInstallStatusFileName) + L"." +
      base::Int64ToWideString(base::Time::Now().ToTimeT()));
  // The installation keeps its record in place until the new one replaces it; the older
  // generation's record goes.
  if (made_anew) {
    if (!Do(std::make_unique<PreserveFileOperation>(kept)) ||
        !SaveInstallStatus(kept, status().install_status())) {
      LOG(ERROR) << "Cannot keep the record of the previous installation as " << kept;
    }
  } else if (status_file.BaseName().value() == kInstallStatusFileName) {
    Do(std::make_unique<CopyFileOperation>(status_file, kept));
  } else {
    Do(std::make_unique<MoveFileOperation>(status_file, kept));
  }
  ScheduleNextStep();
}

void Installer::StepRemoveInstalledFiles() {
  LOG(INFO) << "Removing installed files.";
  const base::FilePath old_status = install_folder().Append(kOldStatusFolderName);
  if (!base::DirectoryExists(old_status)) {
    VLOG(1) << "No old status files found.";
    ScheduleNextStep();
    return;
  }
  std::vector<base::FilePath> status_files;
  base::FileEnumerator entries(old_status, false, base::FileEnumerator::FILES, L"*.xml.*");
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next())
    status_files.push_back(entry);

  const bool uninstalling = operation() == OPERATION_UNINSTALLING;
  const bool is_admin = rights_.is_user_admin(false);
  for (const base::FilePath& status_file : status_files) {
    InstallStatus old;
    bool valid = LoadInstallStatus(status_file, &old) &&
                 (old.subfolder.empty() || IsSafeRelativePath(old.subfolder.value()));
    for (const std::string& file : old.files)
      valid = valid && IsSafeRelativePath(base::Utf8ToUtf16(file));
    if (!valid) {
      VLOG(1) << "Found invalid old status file: " << status_file;
      continue;
    }
    VLOG(1) << "Found old status file: " << status_file;
    const base::FilePath folder = install_folder().Append(old.subfolder);
    // An installation's files go together or not at all, so that its record stays true;
    // the uninstallation removes what it can.
    auto deletions = std::make_unique<OperationGroup>();
    for (const std::string& file : old.files) {
      auto deletion = std::make_unique<DeleteFileOperation>(
          folder.Append(base::Utf8ToUtf16(file)), false, true);
      if (uninstalling)
        Do(std::move(deletion));
      else
        deletions->Add(std::move(deletion));
    }
    if (!deletions->empty() && !Do(std::move(deletions)))
      continue;
    if (is_admin)
      UpdateFirewallRule(folder.Append(GetBrowserExeName()), true);
    VLOG(1) << "Deleting " << status_file;
    Do(std::make_unique<DeleteFileOperation>(status_file, false, false));
  }

  if (IsEmptyButForBackups(old_status))
    Do(std::make_unique<DeleteFileOperation>(old_status, false, false));
  DeleteMessageCenterShortcuts();
  ScheduleNextStep();
}

void Installer::StepRemoveOldRootFiles() {
  LOG(INFO) << "Removing old files from installation root";
  for (const std::string& file : status().install_status().root_files) {
    const std::wstring relative = base::Utf8ToUtf16(file);
    if (IsSafeRelativePath(relative))
      Do(std::make_unique<DeleteFileOperation>(install_folder().Append(relative), false, false));
  }
  ScheduleNextStep();
}

void Installer::StepRegisterProtocolHandler() {
  if (status().existing_installation()) {
    const std::wstring protocol =
        command_line().GetSwitchValueNative("register-tavro-as-protocol-handler");
    const std::wstring prog_id = GetBrowserProgId();
    const std::wstring key =
        L"SOFTWARE\\Clients\\StartMenuInternet\\" + prog_id + L"\\Capabilities\\URLAssociations";
    // Registry names are compared without regard to case: the tables write "UrlAssociations".
    bool recorded = false;
    for (const RegistryKeyRecord& entry : status().install_status().hklm_keys)
      recorded = recorded || base::FilePath::CompareEqualIgnoreCase(entry.key_path, key);
    if (recorded && IsUrlScheme(protocol) &&
        !Do(std::make_unique<ChangeRegistryValueOperation>(
            HKEY_LOCAL_MACHINE, key, protocol, ChangeRegistryValueOperation::TextData(prog_id),
            REG_SZ, 0))) {
      LOG(ERROR) << "Cannot register " << protocol << " for all users";
    }
    MakeDefaultHandlerFor(GetCurrentInstallation(), protocol, false);
  }
  ScheduleNextStep();
}

// static
std::string Installer::MakeFeatureStateString(const std::string& name, bool enabled) {
  return name + (enabled ? "@1" : "@2");
}

}  // namespace installer
