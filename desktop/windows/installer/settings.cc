#include "desktop/windows/installer/settings.h"

#include <iterator>
#include <utility>

#include "base/bind.h"
#include "base/features/command_line_feature_reader.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/folder_path_check.h"
#include "desktop/windows/installer/installer_help.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/status_fetcher.h"
#include "desktop/windows/rc_l10n_handler/language_selection.h"

namespace installer {

namespace {

constexpr const char* kFlagNames[SETTINGS_FLAG_COUNT] = {
    "COPY_ONLY",          "SINGLE_PROFILE",         "LAUNCH_TAVRO",
    "ALL_USERS_FLAG",     "DEFAULT_BROWSER",        "IMPORT_BROWSER_DATA",
    "INSTALL_ASSISTANT",  "ENABLE_TAVRO_STATS",     "ENABLE_INSTALLER_STATS",
    "DESKTOP_SHORTCUT",   "START_MENU_SHORTCUT",    "QUICK_LAUNCH_SHORTCUT",
    "PINNED_SHORTCUT",    "UNINSTALL_FLAG",         "SILENT",
    "AUTOUPDATE",         "DELETE_PROFILE",         "REPLACE_MORRIT_INSTALLATION",
};

// The four shortcut flags and the switches that set them.
struct ShortcutSwitch {
  SettingsFlag flag;
  const char* name;
};
constexpr ShortcutSwitch kShortcutSwitches[] = {
    {DESKTOP_SHORTCUT, "desktopshortcut"},
    {START_MENU_SHORTCUT, "startmenushortcut"},
    {QUICK_LAUNCH_SHORTCUT, "quicklaunchshortcut"},
    {PINNED_SHORTCUT, "pintotaskbar"},
};

constexpr const char* kImportSwitches[] = {"import-bookmarks", "import-session",
                                          "import-topsites-to-speeddial"};

const char* BoolSwitchValue(bool value) {
  return value ? "1" : "0";
}

bool IsWhitespace(wchar_t c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r');
}

const base::CommandLine& SourceCommandLine(const base::CommandLine* command_line) {
  if (command_line)
    return *command_line;
  const base::CommandLine* process_command_line = base::CommandLine::ForCurrentProcess();
  CHECK(process_command_line) << "The settings are made from the process command line";
  return *process_command_line;
}

// Whether the folder |folder| (|what| of the command line; empty when not given) can be one
// of the installation's; logs why not.
bool IsValidCommandLineFolder(const base::FilePath& folder, const char* what) {
  if (folder.empty())
    return true;
  const std::string problem = GetFolderPathProblem(folder);
  if (problem.empty())
    return true;
  LOG(ERROR) << "Ignoring the " << what << " of the command line, " << folder << ": " << problem;
  return false;
}

}  // namespace

const char* SettingsFlagName(int index) {
  return index >= 0 && index < SETTINGS_FLAG_COUNT ? kFlagNames[index] : "";
}

bool ParseBoolSwitchValue(std::wstring_view value) {
  if (base::EqualsCaseInsensitiveAscii(value, L"yes") ||
      base::EqualsCaseInsensitiveAscii(value, L"true")) {
    return true;
  }
  size_t i = 0;
  while (i < value.size() && IsWhitespace(value[i]))
    ++i;
  if (i < value.size() && (value[i] == L'+' || value[i] == L'-'))
    ++i;
  // Any non-zero digit before the first non-digit makes the number non-zero, however long.
  for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9'; ++i) {
    if (value[i] != L'0')
      return true;
  }
  return false;
}

Settings::Settings(bool uninstall,
                   bool silent,
                   bool autoupdate,
                   const base::FilePath& install_folder,
                   bool replace_morrit_installation,
                   uint32_t architecture,
                   const base::CommandLine* command_line)
    : command_line_(SourceCommandLine(command_line)),
      status_(std::make_unique<Status>(replace_morrit_installation)),
      command_line_install_folder_(install_folder.NormalizePathSeparators()),
      architecture_(architecture) {
  SetBit(UNINSTALL_FLAG, uninstall);
  SetBit(SILENT, silent);
  SetBit(AUTOUPDATE, autoupdate);
  SetBit(REPLACE_MORRIT_INSTALLATION, replace_morrit_installation);

  // A folder of the command line is what the user asked for: used as given, even empty. One
  // that cannot hold an installation leaves the operation invalid and the run is refused;
  // another folder would install or upgrade what the user did not name.
  has_command_line_install_folder_ = !install_folder.empty() || HasSwitch("installfolder");
  if (install_folder.empty() && has_command_line_install_folder_) {
    command_line_install_folder_ =
        command_line_.GetSwitchValuePath("installfolder").NormalizePathSeparators();
  }

  ReadRegistryInstallFolder();
  ComputeStandaloneCandidates();

  VLOG(1) << "Obtaining system language";
  SelectLanguage(std::wstring_view(), &install_language_);
  VLOG(1) << "Initializing settings";

  if (uninstall) {
    SetFlag(DELETE_PROFILE, HasSwitch("deleteuserprofile"));
    if (!HasSwitch("backend"))
      ScanUninstallKeys();
    SetInstallFolderFromString(GetCurrentInstallation().folder().value());
    return;
  }

  if (HasSwitch("language")) {
    const std::wstring requested = command_line_.GetSwitchValueNative("language");
    SetLanguage(requested);
    // Said where the user typed it, too: the run goes on in another language.
    if (!IsLanguageServed(requested)) {
      SayOnStandardError("Language " + base::Utf16ToUtf8(requested) +
                         " is not available; using " + base::Utf16ToUtf8(install_language_));
    }
  }
  InitFromCommandLine();

  // An x64 installer that remembers an installation in the 32-bit program-files folder
  // upgrades it in place when it is still there, and otherwise installs into the 64-bit
  // folder rather than next to where an x86 build used to live.
  const base::FilePath registry_folder = GetDefaultInstallFolder(DEFAULT_FOLDER_REGISTRY);
  base::FilePath program_files_x86;
  if (architecture_ == INSTALLER_ARCH_X64 && !has_command_line_install_folder_ &&
      !registry_folder.empty() &&
      base::PathRegistry::Get(base::DIR_PROGRAM_FILESX86, &program_files_x86) &&
      IsInsideFolder(registry_folder, program_files_x86)) {
    std::unique_ptr<Status> status =
        StatusFetcher::ReadStatus(registry_folder, replace_morrit_installation);
    if (status->existing_installation())
      ApplyStatus(std::move(status));
    else
      SetInstallFolder(GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD));
    return;
  }
  SetInstallFolder(GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD | DEFAULT_FOLDER_REGISTRY |
                                           DEFAULT_FOLDER_COMMAND_LINE));
}

Settings::~Settings() {
  VLOG(1) << "Destroying settings";
  CancelStatusFetch();
}

void Settings::AddObserver(SettingsObserver* observer) {
  observers_.AddObserver(observer);
}

void Settings::RemoveObserver(SettingsObserver* observer) {
  observers_.RemoveObserver(observer);
}

bool Settings::GetFlag(SettingsFlag flag) const {
  return flag >= 0 && flag < SETTINGS_FLAG_COUNT && (flags_ & (1u << flag)) != 0;
}

const base::FilePath& Settings::GetInstallFolder() const {
  return status_->install_folder();
}

const base::FilePath& Settings::GetChosenInstallFolder() const {
  return pending_fetcher_ ? pending_fetcher_->folder() : status_->install_folder();
}

void Settings::SetBit(SettingsFlag flag, bool value) {
  if (value)
    flags_ |= 1u << flag;
  else
    flags_ &= ~(1u << flag);
}

bool Settings::HasSwitch(const char* name) const {
  return command_line_.HasSwitch(name);
}

bool Settings::ReadFlagSwitch(SettingsFlag flag, const char* name) {
  if (!HasSwitch(name))
    return false;
  SetBit(flag, ParseBoolSwitchValue(command_line_.GetSwitchValueNative(name)));
  return true;
}

void Settings::NotifySettingsChanged() {
  FOR_EACH_OBSERVER(SettingsObserver, observers_, OnSettingsChanged());
}

bool Settings::SetFlag(SettingsFlag flag, bool value) {
  if (!accepts_changes_)
    return false;
  if (flag < 0 || flag >= SETTINGS_FLAG_COUNT) {
    LOG(ERROR) << "No settings flag " << static_cast<int>(flag);
    return false;
  }
  SetBit(flag, value);
  VLOG(1) << SettingsFlagName(flag) << " set to: " << value;
  NotifySettingsChanged();
  return true;
}

bool Settings::SetAllUsers(bool value) {
  if (operation_ == OPERATION_UPGRADING || GetFlag(COPY_ONLY))
    return false;
  return SetFlag(ALL_USERS_FLAG, value);
}

bool Settings::SetCopyOnly(bool value) {
  if (!accepts_changes_ || operation_ == OPERATION_UPGRADING)
    return false;
  ApplyCopyOnly(value);
  VLOG(1) << SettingsFlagName(COPY_ONLY) << " set to: " << value;
  NotifySettingsChanged();
  return true;
}

bool Settings::SetDefaultBrowser(bool value) {
  if (GetFlag(COPY_ONLY))
    return false;
  return SetFlag(DEFAULT_BROWSER, value);
}

bool Settings::SetDeleteProfile(bool value) {
  if (!GetFlag(UNINSTALL_FLAG))
    return false;
  return SetFlag(DELETE_PROFILE, value);
}

bool Settings::SetEnableStats(bool value) {
  return SetFlag(ENABLE_TAVRO_STATS, value);
}

bool Settings::SetEnableInstallerStats(bool value) {
  return SetFlag(ENABLE_INSTALLER_STATS, value);
}

bool Settings::SetImportBrowserData(bool value) {
  return SetFlag(IMPORT_BROWSER_DATA, value);
}

bool Settings::SetMode(InstallMode mode) {
  VLOG(2) << "Changing Settings using SetMode";
  if (!accepts_changes_)
    return false;
  // The folder the user chose last, read or still being read: a folder typed while the
  // read of a suggested one is under way is the user's, not a suggestion to replace.
  bool folder_was_suggested = false;
  for (const base::FilePath& folder : GetSuggestedInstallFolders())
    folder_was_suggested = folder_was_suggested || folder == GetChosenInstallFolder();
  const bool keep_profile_mode = HasSwitch("singleprofile") || operation_ == OPERATION_UPGRADING;

  bool result = false;
  switch (mode) {
    case INSTALL_MODE_ALL_USERS:
    case INSTALL_MODE_CURRENT_USER:
      if (operation_ == OPERATION_UPGRADING)
        return false;
      if (!keep_profile_mode)
        SetBit(SINGLE_PROFILE, false);
      result = SetCopyOnly(false) && SetFlag(ALL_USERS_FLAG, mode == INSTALL_MODE_ALL_USERS);
      break;
    case INSTALL_MODE_STANDALONE:
      if (operation_ == OPERATION_UPGRADING)
        return false;
      if (!keep_profile_mode)
        SetBit(SINGLE_PROFILE, true);
      result = SetCopyOnly(true);
      break;
    default:
      LOG(ERROR) << "No install mode " << static_cast<int>(mode);
      return false;
  }
  if (result && folder_was_suggested)
    SetInstallFolder(GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD | DEFAULT_FOLDER_REGISTRY));
  return result;
}

void Settings::ApplyCopyOnly(bool copy_only) {
  if (!accepts_changes_)
    return;
  SetBit(COPY_ONLY, copy_only);
  if (copy_only) {
    for (SettingsFlag flag : {ALL_USERS_FLAG, DEFAULT_BROWSER, INSTALL_ASSISTANT})
      SetBit(flag, false);
    for (const ShortcutSwitch& shortcut : kShortcutSwitches)
      SetBit(shortcut.flag, false);
    return;
  }
  for (const ShortcutSwitch& shortcut : kShortcutSwitches) {
    if (!ReadFlagSwitch(shortcut.flag, shortcut.name))
      SetBit(shortcut.flag, true);
  }
}

void Settings::InitFromCommandLine() {
  if (!accepts_changes_)
    return;
  VLOG(1) << "Settings from command line";
  SetBit(ALL_USERS_FLAG, IsUserAdmin(false) || (!GetFlag(SILENT) && IsUserAdmin(true)));
  SetBit(COPY_ONLY, false);
  SetBit(LAUNCH_TAVRO, true);
  SetBit(DEFAULT_BROWSER, GetCurrentStream() == STREAM_STABLE && !GetFlag(AUTOUPDATE));
  SetBit(IMPORT_BROWSER_DATA, true);
  SetBit(ENABLE_INSTALLER_STATS, true);
  SetBit(ENABLE_TAVRO_STATS, true);
  SetBit(SINGLE_PROFILE, false);

  if (!ReadFlagSwitch(LAUNCH_TAVRO, "launchtavro"))
    ReadFlagSwitch(LAUNCH_TAVRO, "launchbrowser");
  ReadFlagSwitch(COPY_ONLY, "copyonly");
  ApplyCopyOnly(GetFlag(COPY_ONLY));

  ReadFlagSwitch(IMPORT_BROWSER_DATA, "import-browser-data");
  if (ReadFlagSwitch(ENABLE_TAVRO_STATS, "enable-stats"))
    SetBit(ENABLE_INSTALLER_STATS, GetFlag(ENABLE_TAVRO_STATS));
  ReadFlagSwitch(ENABLE_INSTALLER_STATS, "enable-installer-stats");

  if (GetFlag(COPY_ONLY)) {
    SetBit(SINGLE_PROFILE, true);
  } else {
    ReadFlagSwitch(ALL_USERS_FLAG, "allusers");
    ReadFlagSwitch(DEFAULT_BROWSER, "setdefaultbrowser");
    for (const ShortcutSwitch& shortcut : kShortcutSwitches)
      ReadFlagSwitch(shortcut.flag, shortcut.name);
  }
  ReadFlagSwitch(SINGLE_PROFILE, "singleprofile");

  if (HasSwitch("profile-folder")) {
    // The uninstallation may delete it: a folder as the install folder may be, or none.
    const base::FilePath profile_folder =
        command_line_.GetSwitchValuePath("profile-folder").NormalizePathSeparators();
    profile_folder_ = IsValidCommandLineFolder(profile_folder, "profile folder") ? profile_folder
                                                                                 : base::FilePath();
  }
  if (HasSwitch("install-assistant") && !GetFlag(COPY_ONLY))
    SetFlag(INSTALL_ASSISTANT, true);
  LogSettings();
}

void Settings::LogSettings() const {
  if (!VLOG_IS_ON(1))
    return;
  for (SettingsFlag flag :
       {ALL_USERS_FLAG, COPY_ONLY, DEFAULT_BROWSER, ENABLE_INSTALLER_STATS, ENABLE_TAVRO_STATS,
        IMPORT_BROWSER_DATA, LAUNCH_TAVRO, SINGLE_PROFILE, DESKTOP_SHORTCUT, PINNED_SHORTCUT,
        QUICK_LAUNCH_SHORTCUT, START_MENU_SHORTCUT}) {
    VLOG(1) << SettingsFlagName(flag) << ": " << GetFlag(flag);
  }
  VLOG(1) << "language: " << install_language_;
}

void Settings::LogStatus() const {
  status_->Log();
}

bool Settings::SetLanguage(const std::wstring& code) {
  if (!accepts_changes_ || code == install_language_)
    return false;
  install_language_ = code;
  VLOG(1) << "Attempt setting install_language_ to: " << code;
  SelectLanguage(code, &install_language_);
  VLOG(1) << "Actual install_language_ set: " << install_language_;
  FOR_EACH_OBSERVER(SettingsObserver, observers_, OnLanguageChanged());
  return true;
}

bool Settings::SetInstallFolderFromString(const std::wstring& folder) {
  return SetInstallFolder(base::FilePath(folder));
}

bool Settings::SetInstallFolder(const base::FilePath& requested) {
  if (!accepts_changes_)
    return false;
  // Named objects, the mailslot and the registry all derive from this text: one spelling.
  const base::FilePath folder = requested.NormalizePathSeparators();
  if (folder != requested)
    LOG(WARNING) << "Install folder " << requested << " given with slashes, using " << folder;
  VLOG(1) << "Setting install folder to: " << folder;

  // Equal to the folder being read: that read will do. Equal to the applied folder while
  // another folder's read is under way: that read must not land last, so read again. An
  // empty folder is read too: the Settings start with an empty Status that was never read.
  if (pending_fetcher_ ? folder == pending_fetcher_->folder()
                       : folder == status_->install_folder() && !folder.empty()) {
    return true;
  }
  CancelStatusFetch();
  pending_fetcher_ = base::MakeRefCounted<StatusFetcher>(
      folder, GetFlag(REPLACE_MORRIT_INSTALLATION),
      base::BindMethod(&Settings::ApplyStatus, weak_factory_.GetWeakPtr()));
  if (!pending_fetcher_->FetchStatus()) {
    LOG(ERROR) << "Cannot read the install folder in the background; reading it now";
    pending_fetcher_ = nullptr;
    ApplyStatus(StatusFetcher::ReadStatus(folder, GetFlag(REPLACE_MORRIT_INSTALLATION)));
  }
  return true;
}

std::string Settings::GetInvalidReason() const {
  if (operation_ != OPERATION_INVALID)
    return std::string();
  if (pending_fetcher_)
    return "The install folder is still being read";
  if (!status_->valid_install_path())
    return status_->problem().empty() ? "Path is empty" : status_->problem();
  return "Path holds no installation to uninstall";
}

void Settings::CancelStatusFetch() {
  if (pending_fetcher_) {
    pending_fetcher_->Cancel();
    pending_fetcher_ = nullptr;
  }
}

void Settings::ApplyStatus(std::unique_ptr<Status> status) {
  // The read is over either way; nothing may keep waiting for it.
  pending_fetcher_ = nullptr;
  if (!accepts_changes_) {
    LOG(WARNING) << "Install folder status of " << status->install_folder()
                 << " ignored: the settings accept no changes";
    return;
  }
  status_ = std::move(status);
  const InstallOperation old_operation = operation_;
  operation_ = OPERATION_INVALID;
  LOG(INFO) << "Install folder set: " << status_->install_folder();

  const bool uninstalling = GetFlag(UNINSTALL_FLAG);
  const bool existing = status_->existing_installation();
  if (!status_->valid_install_path() || (uninstalling && !existing)) {
    VLOG(1) << "Invalid install folder";
    FOR_EACH_OBSERVER(SettingsObserver, observers_, OnPathChanged());
    return;
  }
  LogStatus();
  if (existing || old_operation == OPERATION_UPGRADING)
    InitFromCommandLine();

  if (uninstalling)
    operation_ = OPERATION_UNINSTALLING;
  else if (existing && HasSwitch("register-tavro-as-protocol-handler"))
    operation_ = OPERATION_REGISTER_PROTOCOL_HANDLER;
  else if (existing)
    operation_ = OPERATION_UPGRADING;
  else
    operation_ = OPERATION_INSTALLING;
  LOG(INFO) << "Operation: " << static_cast<unsigned>(operation_);

  const InstallStatus& recorded = status_->install_status();
  const StatusDetails& details = status_->details();
  if (existing || status_->morrit_installation()) {
    VLOG(1) << "Using settings from existing installation";
    ApplyCopyOnly(recorded.copy_only);
    SetBit(ALL_USERS_FLAG, recorded.all_users);
    SetBit(SINGLE_PROFILE, details.single_profile == 1);
    const bool shortcut_exists[] = {details.desktop_shortcut_exists,
                                    details.start_menu_shortcut_exists,
                                    details.quick_launch_shortcut_exists,
                                    !details.pinned_shortcut_paths.empty()};
    for (size_t i = 0; i < std::size(kShortcutSwitches); ++i) {
      if (!HasSwitch(kShortcutSwitches[i].name))
        SetBit(kShortcutSwitches[i].flag, shortcut_exists[i]);
    }
    if (!HasSwitch("import-browser-data"))
      SetBit(IMPORT_BROWSER_DATA, details.import_browser_data != 0);
    if (!HasSwitch("enable-stats")) {
      SetBit(ENABLE_TAVRO_STATS, details.enable_stats != 0);
      if (!HasSwitch("enable-installer-stats"))
        SetBit(ENABLE_INSTALLER_STATS, GetFlag(ENABLE_TAVRO_STATS));
    }
    const bool morrit = status_->morrit_installation();
    if (GetFlag(AUTOUPDATE) && morrit && !GetFlag(REPLACE_MORRIT_INSTALLATION))
      SetBit(LAUNCH_TAVRO, true);
    if ((GetFlag(REPLACE_MORRIT_INSTALLATION) || GetFlag(AUTOUPDATE)) && morrit &&
        details.is_http_handler) {
      SetBit(DEFAULT_BROWSER, true);
    }
  } else if (!uninstalling && !HasSwitch("singleprofile")) {
    SetBit(SINGLE_PROFILE,
           details.single_profile == -1 ? GetFlag(COPY_ONLY) : details.single_profile == 1);
  }

  LogSettings();
  if (!details.language.empty() && (uninstalling || !HasSwitch("language")))
    SetLanguage(details.language);
  FOR_EACH_OBSERVER(SettingsObserver, observers_, OnPathChanged());
}

base::CommandLine Settings::AppendToCommandLine(bool launch_off) const {
  base::CommandLine result{base::FilePath()};
  result.AppendSwitch("backend");
  if (GetFlag(SILENT))
    result.AppendSwitch("silent");
  static const char* const kProcessSwitches[] = {"initial-pid", "temp-folder", "components",
                                                 "v"};
  result.CopySwitchesFrom(command_line_, kProcessSwitches, std::size(kProcessSwitches));

  if (operation_ == OPERATION_UNINSTALLING) {
    result.AppendSwitch("uninstall");
    if (GetFlag(DELETE_PROFILE))
      result.AppendSwitch("deleteuserprofile");
  } else if (operation_ == OPERATION_INSTALLING || operation_ == OPERATION_UPGRADING) {
    const bool installing = operation_ == OPERATION_INSTALLING;
    const bool copy_only = GetFlag(COPY_ONLY);
    result.AppendSwitch("install");
    if (GetFlag(AUTOUPDATE))
      result.AppendSwitch("autoupdate");
    result.AppendSwitchASCII("import-browser-data", BoolSwitchValue(GetFlag(IMPORT_BROWSER_DATA)));
    result.AppendSwitchASCII("enable-stats", BoolSwitchValue(GetFlag(ENABLE_TAVRO_STATS)));
    result.AppendSwitchASCII("enable-installer-stats",
                             BoolSwitchValue(GetFlag(ENABLE_INSTALLER_STATS)));
    result.AppendSwitchASCII("launchtavro",
                             launch_off ? "0" : BoolSwitchValue(GetFlag(LAUNCH_TAVRO)));
    result.AppendSwitchPath("installfolder", GetInstallFolder());
    result.AppendSwitchPath("profile-folder", profile_folder_);
    if (!install_language_.empty())
      result.AppendSwitchNative("language", install_language_);
    if (installing) {
      result.AppendSwitchASCII("singleprofile", BoolSwitchValue(GetFlag(SINGLE_PROFILE)));
      result.AppendSwitchASCII("copyonly", BoolSwitchValue(copy_only));
      if (!copy_only)
        result.AppendSwitchASCII("allusers", BoolSwitchValue(GetFlag(ALL_USERS_FLAG)));
    }
    if (!copy_only) {
      result.AppendSwitchASCII("setdefaultbrowser", BoolSwitchValue(GetFlag(DEFAULT_BROWSER)));
      result.AppendSwitchASCII("startmenushortcut", BoolSwitchValue(GetFlag(START_MENU_SHORTCUT)));
      result.AppendSwitchASCII("desktopshortcut", BoolSwitchValue(GetFlag(DESKTOP_SHORTCUT)));
      result.AppendSwitchASCII("quicklaunchshortcut",
                               BoolSwitchValue(GetFlag(QUICK_LAUNCH_SHORTCUT)));
      result.AppendSwitchASCII("pintotaskbar", BoolSwitchValue(GetFlag(PINNED_SHORTCUT)));
      if (GetFlag(REPLACE_MORRIT_INSTALLATION))
        result.AppendSwitch("replacemorritinstallation");
    }
    if (HasSwitch("server-tracking-data")) {
      result.AppendSwitchPath("server-tracking-data",
                              command_line_.GetSwitchValuePath("server-tracking-data"));
    }
    base::AppendFeatureSwitches(&result);
    CopyImportSwitches(&result);
  }
  VLOG(1) << "Settings as command line: " << result.GetCommandLineString();
  return result;
}

void Settings::CopyImportSwitches(base::CommandLine* command_line) const {
  command_line->CopySwitchesFrom(command_line_, kImportSwitches, std::size(kImportSwitches));
}

void Settings::WriteStats(const std::string& prefix, Stats* stats) const {
  LOG(INFO) << "Writing setting stats with prefix " << prefix;
  const char* mode = GetFlag(COPY_ONLY)        ? "standalone"
                     : GetFlag(ALL_USERS_FLAG) ? "all_users"
                                               : "current_user";
  stats->SetString(prefix + "installation_mode", mode);
  const char* operation = "invalid";
  switch (operation_) {
    case OPERATION_INSTALLING:
      operation = "installing";
      break;
    case OPERATION_UPGRADING:
      operation = "upgrading";
      break;
    case OPERATION_UNINSTALLING:
      operation = "uninstalling";
      break;
    default:
      break;
  }
  stats->SetString(prefix + "installation_operation", operation);
  stats->SetInteger("autoupdate", GetFlag(AUTOUPDATE));
  stats->SetInteger(prefix + "make_default", GetFlag(DEFAULT_BROWSER));
  stats->SetInteger(prefix + "using_default_installation_folder",
                    base::FilePath::CompareEqualIgnoreCase(
                        GetInstallFolder().value(),
                        GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD).value()));
  stats->SetInteger(prefix + "using_privileged_installation_folder",
                    RequiresElevation(GetFlag(ALL_USERS_FLAG),
                                      status_->details().has_write_access));
  stats->SetString(prefix + "build_arch", architecture_ == INSTALLER_ARCH_X64 ? "X64" : "X86");
}

base::FilePath Settings::GetDefaultInstallFolder(int sources) const {
  return ComputeDefaultInstallFolder(sources, architecture_, GetFlag(ALL_USERS_FLAG),
                                     GetFlag(COPY_ONLY));
}

base::FilePath Settings::ComputeDefaultInstallFolder(int sources,
                                                     uint32_t architecture,
                                                     bool all_users,
                                                     bool copy_only) const {
  VLOG(2) << "Retrieving default installation folder path";
  VLOG(2) << " - Using command line: " << ((sources & DEFAULT_FOLDER_COMMAND_LINE) != 0);
  VLOG(2) << " - Using the registry: " << ((sources & DEFAULT_FOLDER_REGISTRY) != 0);
  VLOG(2) << " - Using the standard folder: " << ((sources & DEFAULT_FOLDER_STANDARD) != 0);
  if ((sources & DEFAULT_FOLDER_COMMAND_LINE) && has_command_line_install_folder_)
    return command_line_install_folder_;
  VLOG(2) << "Default install folder: not from command line";
  if (!copy_only && (sources & DEFAULT_FOLDER_REGISTRY) && !registry_install_folder_.empty())
    return registry_install_folder_;
  VLOG(2) << "Default install folder: not from registry";
  if (!(sources & DEFAULT_FOLDER_STANDARD))
    return base::FilePath();

  base::FilePath folder;
  if (all_users) {
    VLOG(2) << "Default install folder: for all users";
    if (!GetProgramFilesFolder(architecture, &folder))
      return base::FilePath();
  } else if (copy_only) {
    VLOG(2) << "Default install folder: for all standalone";
    return standalone_candidates_.empty() ? base::FilePath() : standalone_candidates_.front();
  } else {
    VLOG(2) << "Default install folder: for current user";
    if (!GetUserProgramsFolder(&folder))
      return base::FilePath();
  }
  return folder.Append(GetDefaultInstallFolderName());
}

std::vector<base::FilePath> Settings::GetSuggestedInstallFolders() const {
  if (GetFlag(COPY_ONLY))
    return standalone_candidates_;
  const base::FilePath folder =
      GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD | DEFAULT_FOLDER_REGISTRY);
  if (folder.empty())
    return {};
  return {folder};
}

void Settings::ReadRegistryInstallFolder() {
  registry_install_folder_ = ReadLastInstallPath(architecture_);
}

void Settings::ComputeStandaloneCandidates() {
  std::vector<StandaloneCandidate> candidates = FindStandaloneCandidates();
  LOG(INFO) << "Found " << candidates.size() << " paths for standalone install mode.";
  for (const base::FilePath& folder : OrderStandaloneCandidates(std::move(candidates))) {
    VLOG(1) << "Listing default install path for standalone install mode: " << folder;
    standalone_candidates_.push_back(folder);
  }
}

void Settings::ScanUninstallKeys() {
  if (CountStreamRegistrations(GetCurrentStream(), 2) >= 2)
    profile_deletion_allowed_ = false;
}

}  // namespace installer
