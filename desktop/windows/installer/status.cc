#include "desktop/windows/installer/status.h"

#include <windows.h>

#include <stdint.h>

#include <utility>

#include "base/features/list_feature_reader.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/scoped_thread_error_mode.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/damaged_installation.h"
#include "desktop/windows/installer/folder_path_check.h"
#include "desktop/windows/installer/prefs_task_pool.h"
#include "desktop/windows/installer/service/file_identity.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/taskbar_pins.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"

namespace installer {

const wchar_t kMorritInstallLogFileName[] = L"tavro_install_log.xml";
const wchar_t kMorritPrefsFileName[] = L"tavroprefs_default.ini";

namespace {

constexpr wchar_t kTrackingDataFileName[] = L"server_tracking_data";
constexpr wchar_t kLocalStateFileName[] = L"Local State";
// Where the shortcuts of an interrupted installation wait, below the user's start menu.
constexpr wchar_t kTemporaryShortcutFolderName[] = L"Tavro Software";
// Tracking data is a short Base64 text; anything this big is not ours and is not read.
constexpr int64_t kMaxTrackingDataSize = 1024 * 1024;
// Enough for any path the older generation wrote into its INI file.
constexpr DWORD kIniValueLength = 2048;

// 1 or 0 for a boolean value of |store|, else -1.
int ReadTristate(const JsonPrefStore& store, const char* key) {
  const base::Value* value = nullptr;
  bool result = false;
  if (!store.GetValue(key, &value) || !value->GetAsBoolean(&result))
    return -1;
  return result ? 1 : 0;
}

bool ReadString(const JsonPrefStore& store, const char* key, std::string* result) {
  const base::Value* value = nullptr;
  return store.GetValue(key, &value) && value->GetAsString(result);
}

}  // namespace

Status::Status(bool replace_morrit_installation)
    : replace_morrit_installation_(replace_morrit_installation) {}

Status::~Status() = default;

void Status::Initialize(const base::FilePath& folder) {
  VLOG(1) << "Initializing status: " << folder;
  // A drive without its disk fails the read instead of asking the user.
  base::win::ScopedFailCriticalErrors no_disk_prompts;
  install_folder_ = folder;
  valid_install_path_ = false;
  existing_installation_ = false;
  morrit_installation_ = false;
  existing_installation_traces_ = false;
  problem_.clear();
  record_made_anew_ = false;
  if (!ClassifyPath())
    return;

  if (!base::DirectoryExists(install_folder_)) {
    ClassifyMissingFolder();
    return;
  }
  VLOG(1) << "Path is a folder";
  valid_parent_folder_ = install_folder_;
  valid_install_path_ = true;
  const base::FilePath status_file = install_folder_.Append(kInstallStatusFileName);
  const base::FilePath morrit_log = install_folder_.Append(kMorritInstallLogFileName);
  // A journal that does not read leaves unknown what an interrupted run changed: the folder
  // is a damaged installation, whose record the run keeps beside the logs and writes anew.
  const bool journal_unreadable = HasUnreadableUndoJournal(install_folder_);
  if (base::PathExists(status_file) && LoadInstallStatus(status_file, &install_status_)) {
    existing_installation_ = true;
    record_made_anew_ = journal_unreadable;
  } else if (base::PathExists(morrit_log) && LoadInstallStatus(morrit_log, &install_status_)) {
    existing_installation_ = true;
    morrit_installation_ = true;
  } else if (RecognizeDamagedInstallation(install_folder_,
                                          journal_unreadable || base::PathExists(status_file),
                                          &install_status_)) {
    VLOG(1) << "Path is an installation whose status file is damaged or missing";
    existing_installation_ = true;
    record_made_anew_ = true;
  }

  if (existing_installation_) {
    VLOG(1) << "Path is a existing installation";
    NormalizeInstallMode();
    ReadDetails();
    if (morrit_installation_)
      existing_installation_ = replace_morrit_installation_;
    return;
  }
  VLOG(1) << "Path is not an existing installation";
  existing_installation_traces_ = base::PathExists(install_folder_.Append(kLauncherExeName));
  ReadDetails();
}

bool Status::ClassifyPath() {
  std::string problem = GetInstallFolderPathProblem(install_folder_);
  if (!problem.empty()) {
    SetProblem(std::move(problem));
    return false;
  }
  if (base::PathExists(install_folder_) && !base::DirectoryExists(install_folder_)) {
    SetProblem("Path is a file path");
    return false;
  }
  if (!base::CanCreateFilesInDirectory(install_folder_)) {
    const std::wstring root = install_folder_.value().substr(0, 3);
    if (::GetDriveTypeW(root.c_str()) == DRIVE_CDROM) {
      SetProblem("Path is to a non-writable CD-ROM");
      return false;
    }
  }
  return true;
}

void Status::ClassifyMissingFolder() {
  base::FilePath path = install_folder_;
  for (;;) {
    const base::FilePath parent = path.DirName();
    if (parent == path) {
      SetProblem("Path is a root folder that's not valid (probably invalid drive letter)");
      return;
    }
    if (base::DirectoryExists(parent)) {
      VLOG(1) << "Path is valid";
      valid_parent_folder_ = parent;
      valid_install_path_ = true;
      ReadDetails();
      return;
    }
    if (base::PathExists(parent)) {
      SetProblem("Path is child of a file (invalid)");
      return;
    }
    path = parent;
  }
}

void Status::SetProblem(std::string problem) {
  VLOG(1) << problem;
  problem_ = std::move(problem);
  valid_install_path_ = false;
}

void Status::NormalizeInstallMode() {
  const bool nothing_registered =
      install_status_.hkcu_keys.empty() && install_status_.hklm_keys.empty() &&
      install_status_.desktop_shortcut.empty() && install_status_.start_menu_shortcut.empty() &&
      install_status_.quick_launch_shortcut.empty();
  install_status_.copy_only = install_status_.copy_only && nothing_registered;
  // Machine keys listed by a record that says the installation is the user's own do not make
  // it one for all users: the record may lie in a folder the user can write, and all users
  // means elevating and changing the machine. Its uninstallation skips those keys.
  install_status_.all_users = !install_status_.copy_only && install_status_.all_users;
}

void Status::ReadDetails() {
  if (existing_installation_)
    ReadShortcuts();
  if (valid_install_path_)
    ReadWriteAccess();
  bool prefs_read = false;
  if (existing_installation_) {
    ReadInstallationFiles();
    prefs_read = !morrit_installation_ && ReadInstallerPrefs();
    ReadProfileLanguage();
  }
  if (morrit_installation_ || !prefs_read)
    ReadMorritPrefs(!prefs_read);
}

void Status::ReadShortcuts() {
  VLOG(1) << "Testing shortcuts";
  const std::wstring browser_exe = GetBrowserExeName();
  TestShortcuts(install_folder_.Append(kLauncherExeName), true);
  TestShortcuts(install_folder_.Append(browser_exe), false);
  if (!install_status_.subfolder.empty())
    TestShortcuts(install_folder_.Append(install_status_.subfolder).Append(browser_exe), false);

  if (details_.temporary_shortcut_folder_exists)
    return;
  base::FilePath start_menu;
  if (!base::PathRegistry::Get(base::DIR_START_MENU, &start_menu))
    return;
  const base::FilePath folder = start_menu.Append(kTemporaryShortcutFolderName);
  if (base::DirectoryExists(folder)) {
    details_.temporary_shortcut_folder = folder;
    details_.temporary_shortcut_folder_exists = true;
  }
}

void Status::TestShortcuts(const base::FilePath& target, bool current_target) {
  if (!base::PathExists(target))
    return;
  FileIdentity identity;
  if (!GetFileInfo(target, &identity)) {
    LOG(WARNING) << "Cannot identify " << target << "; its shortcuts are not looked for";
    return;
  }
  // Windows 8 and later want the start-menu shortcut made again on every upgrade.
  const bool always_recreate_start_menu =
      base::win::GetWindowsVersion() >= base::win::VERSION_WIN8;
  auto test = [&](const base::FilePath& shortcut, bool* exists, bool* recreate,
                  bool always_recreate) {
    if (shortcut.empty() || *exists)
      return;
    *exists = base::PathExists(shortcut) && IsShortcutTo(shortcut, target, identity);
    if (always_recreate || (*exists && !current_target))
      *recreate = true;
  };
  test(install_status_.desktop_shortcut, &details_.desktop_shortcut_exists,
       &details_.recreate_desktop_shortcut, false);
  test(install_status_.start_menu_shortcut, &details_.start_menu_shortcut_exists,
       &details_.recreate_start_menu_shortcut, always_recreate_start_menu);
  test(install_status_.quick_launch_shortcut, &details_.quick_launch_shortcut_exists,
       &details_.recreate_quick_launch_shortcut, false);

  if (details_.pinned_shortcut_paths.empty()) {
    FindTaskbarPins(target, identity, &details_.pinned_shortcut_paths);
    if (!details_.pinned_shortcut_paths.empty() && !current_target)
      details_.recreate_pinned_shortcut = true;
  }
}

void Status::ReadWriteAccess() {
  VLOG(1) << "Determining write access";
  // A folder still to be made only needs room in its nearest existing ancestor.
  const ACCESS_MASK access = valid_parent_folder_ == install_folder_
                                 ? FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE
                                 : FILE_ADD_SUBDIRECTORY;
  details_.has_write_access =
      HasAccess(valid_parent_folder_.value(), SE_FILE_OBJECT, access) > 0;
}

void Status::ReadInstallationFiles() {
  VLOG(1) << "Determining whether we handled http";
  // The older generation registered its browser executable, not a launcher.
  details_.is_http_handler = Installation(install_folder_, install_status_)
                                 .IsDefaultHandlerFor(L"http", morrit_installation_);

  VLOG(1) << "Reading exisitng tracking data";
  const base::FilePath tracking_file = install_folder_.Append(kTrackingDataFileName);
  int64_t size = 0;
  if (base::GetFileSize(tracking_file, &size)) {
    if (size > kMaxTrackingDataSize) {
      LOG(WARNING) << "Ignoring " << tracking_file << ": " << size
                   << " bytes is too large for tracking data";
    } else if (!base::ReadFileToString(tracking_file, &details_.tracking_data)) {
      LOG(WARNING) << "Cannot read " << tracking_file;
      details_.tracking_data.clear();
    }
  }
}

bool Status::ReadInstallerPrefs() {
  const base::FilePath prefs_file = install_folder_.Append(kInstallerPrefsFileName);
  if (!base::PathExists(prefs_file))
    return false;
  VLOG(1) << "Reading existing prefs";
  // Reading a folder changes nothing in it, a damaged file included.
  base::scoped_refptr<JsonPrefStore> prefs =
      LoadReadOnlyJsonPrefStore(GetPrefsTaskPool(), prefs_file);
  details_.single_profile = ReadTristate(*prefs, "single_profile");
  details_.import_browser_data = ReadTristate(*prefs, "import_browser_data");
  details_.enable_stats = ReadTristate(*prefs, "enable_stats");
  std::string text;
  if (ReadString(*prefs, "language", &text))
    details_.language = base::Utf8ToUtf16(text);
  if (ReadString(*prefs, "welcome-url", &text))
    details_.welcome_url = text;

  VLOG(1) << "Reading existing experiments status";
  const base::Value* experiments = nullptr;
  const base::ListValue* list = nullptr;
  if (prefs->GetValue("all-installer-experiments", &experiments) &&
      experiments->GetAsList(&list)) {
    RegisterInstallerFeatures(&experiments_);
    experiments_.ApplyReader(base::ListFeatureReader(*list));
    if (experiments_.IsEnabled(kInstallerExperimentTestFeature))
      LOG(INFO) << "Test experiment was enabled in install folder.";
  }
  return true;
}

void Status::ReadProfileLanguage() {
  VLOG(1) << "Finding current user profile";
  base::FilePath profile;
  if (!Installation(install_folder_, install_status_).GetProfileDirectory(&profile, true))
    return;
  details_.profile_path = profile;
  VLOG(1) << "Obtaining current user language";
  const base::FilePath local_state = profile.Append(kLocalStateFileName);
  if (!base::PathExists(local_state))
    return;
  base::scoped_refptr<JsonPrefStore> store =
      LoadReadOnlyJsonPrefStore(GetPrefsTaskPool(), local_state);
  std::string locale;
  if (ReadString(*store, "intl.app_locale", &locale) && !locale.empty())
    details_.language = base::Utf8ToUtf16(locale);
}

void Status::ReadMorritPrefs(bool read_prefs_too) {
  VLOG(1) << "Reading old product type";
  const base::FilePath ini = install_folder_.Append(kMorritPrefsFileName);
  details_.old_product_type = 0;
  if (!base::PathExists(ini))
    return;
  const wchar_t* const ini_path = ini.value().c_str();
  const int product = static_cast<int>(::GetPrivateProfileIntW(L"System", L"Tavro Product", 0,
                                                               ini_path));
  if (product == 1 || product == 2)
    details_.old_product_type = product;
  if (!read_prefs_too)
    return;

  VLOG(1) << "Reading old morrit prefs";
  const int multi_user =
      static_cast<int>(::GetPrivateProfileIntW(L"System", L"Multi User", -1, ini_path));
  if (multi_user != -1)
    details_.single_profile = multi_user == 0 ? 1 : 0;
  wchar_t language_folder[kIniValueLength] = {};
  const DWORD length = ::GetPrivateProfileStringW(L"User Prefs", L"Language Files Directory",
                                                  L"", language_folder, kIniValueLength,
                                                  ini_path);
  if (length > 0) {
    details_.language =
        base::FilePath(std::wstring(language_folder, length)).BaseName().value();
  }
}

void Status::Log() const {
  if (!VLOG_IS_ON(1))
    return;
  VLOG(1) << "status for install folder:" << install_folder_;
  VLOG(1) << "valid_parent folder: " << valid_parent_folder_;
  VLOG(1) << "has_write_access: " << details_.has_write_access;
  VLOG(1) << "valid_install_path: " << valid_install_path_;
  VLOG(1) << "existing_installation: " << existing_installation_;
  VLOG(1) << "existing_installation_traces: " << existing_installation_traces_;
  VLOG(1) << "morrit_installation: " << morrit_installation_;
  VLOG(1) << "desktop_shortcut_exists: " << details_.desktop_shortcut_exists;
  VLOG(1) << "enable_stats: " << details_.enable_stats;
  VLOG(1) << "import_browser_data: " << details_.import_browser_data;
  VLOG(1) << "is_http_handler: " << details_.is_http_handler;
  VLOG(1) << "language: " << details_.language;
  VLOG(1) << "old_product_type: " << details_.old_product_type;
  VLOG(1) << "pinned_shortcut_paths:";
  for (const base::FilePath& path : details_.pinned_shortcut_paths)
    VLOG(1) << " * " << path;
  VLOG(1) << "profile_path: " << details_.profile_path;
  VLOG(1) << "quick_launch_shortcut_exists: " << details_.quick_launch_shortcut_exists;
  VLOG(1) << "temporary_shortcut_folder: " << details_.temporary_shortcut_folder;
  VLOG(1) << "temporary_shortcut_folder_exists: " << details_.temporary_shortcut_folder_exists;
  VLOG(1) << "tracking_data: " << details_.tracking_data;
  VLOG(1) << "recreate_desktop_shortcut: " << details_.recreate_desktop_shortcut;
  VLOG(1) << "recreate_pinned_shortcut: " << details_.recreate_pinned_shortcut;
  VLOG(1) << "recreate_quick_launch_shortcut: " << details_.recreate_quick_launch_shortcut;
  VLOG(1) << "recreate_start_menu_shortcut: " << details_.recreate_start_menu_shortcut;
  VLOG(1) << "single_profile: " << details_.single_profile;
  VLOG(1) << "start_menu_shortcut_exists: " << details_.start_menu_shortcut_exists;
  VLOG(1) << "welcome_url: " << details_.welcome_url;
}

}  // namespace installer
