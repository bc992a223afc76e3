#ifndef DESKTOP_WINDOWS_INSTALLER_SETTINGS_H_
#define DESKTOP_WINDOWS_INSTALLER_SETTINGS_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "desktop/windows/installer/default_install_folders.h"

namespace installer {

class Stats;
class Status;
class StatusFetcher;

// What one installer run does with its install folder.
enum InstallOperation : uint32_t {
  OPERATION_INVALID = 0,  // No valid install folder applied yet.
  OPERATION_INSTALLING = 1,
  OPERATION_UPGRADING = 2,
  OPERATION_UNINSTALLING = 3,
  OPERATION_REGISTER_PROTOCOL_HANDLER = 4,
};

// The boolean choices of a run; the values are the bit numbers of Settings::flags().
enum SettingsFlag : int {
  COPY_ONLY = 0,  // Stand-alone installation: copy the files only.
  SINGLE_PROFILE = 1,
  LAUNCH_TAVRO = 2,
  ALL_USERS_FLAG = 3,
  DEFAULT_BROWSER = 4,
  IMPORT_BROWSER_DATA = 5,
  INSTALL_ASSISTANT = 6,
  ENABLE_TAVRO_STATS = 7,
  ENABLE_INSTALLER_STATS = 8,
  DESKTOP_SHORTCUT = 9,
  START_MENU_SHORTCUT = 10,
  QUICK_LAUNCH_SHORTCUT = 11,
  PINNED_SHORTCUT = 12,
  UNINSTALL_FLAG = 13,
  SILENT = 14,
  AUTOUPDATE = 15,
  DELETE_PROFILE = 16,
  REPLACE_MORRIT_INSTALLATION = 17,
  SETTINGS_FLAG_COUNT = 18,
};

// The name of a flag ("COPY_ONLY", ...); empty for any other index.
const char* SettingsFlagName(int index);

enum InstallMode {
  INSTALL_MODE_ALL_USERS = 0,
  INSTALL_MODE_CURRENT_USER = 1,
  INSTALL_MODE_STANDALONE = 2,
};

// Sources of a default install folder, combined into a mask.
enum DefaultFolderSource {
  DEFAULT_FOLDER_STANDARD = 1,
  DEFAULT_FOLDER_REGISTRY = 2,      // The last install folder remembered.
  DEFAULT_FOLDER_COMMAND_LINE = 4,  // "installfolder".
};

// The truth value of a boolean switch: "yes" or "true" in any letter case, or a decimal
// number (leading white space and a sign allowed, read up to the first non-digit) that is
// not zero. Everything else is false, an empty value too.
bool ParseBoolSwitchValue(std::wstring_view value);

// Told about changes of the Settings, on the Settings' thread.
class SettingsObserver {
 public:
  virtual ~SettingsObserver() = default;
  // A flag changed through a setter.
  virtual void OnSettingsChanged() {}
  virtual void OnLanguageChanged() {}
  // A freshly read install-folder Status was applied, valid or not.
  virtual void OnPathChanged() {}
};

// Every choice of one installer run: the operation, the flags, the install folder with its
// freshly read Status, the language, the profile folder and the default folders of each
// install mode. Made by RunInstaller from the role switches and the command line; changed
// through the setters by the front end; written back as switches for the backend, whose
// own Settings read them again.
//
// Threading: the Settings live on the thread that made them, which must run a MessageLoop
// and have COM initialised. Only the install-folder read runs on a worker thread; its
// reply comes back to this thread, and only the latest request's reply is applied. A
// reply arriving after the Settings are gone does nothing.
//
// While the Settings do not accept changes (the installation has started), every setter
// returns false and changes nothing.
class Settings {
 public:
  // |install_folder| is the "installfolder" of the command line (empty when none: then the
  // switch's own value counts when it is there, RunInstaller passes a folder it recovered
  // from the loose arguments instead). A folder
  // of the command line is used as given, even an empty "installfolder": when it cannot hold
  // an installation the operation stays OPERATION_INVALID and the run is refused, rather
  // than going to another folder. |architecture| is an InstallerArchitecture. The choices are read from |command_line| (the process command
  // line when null), which must outlive the Settings.
  Settings(bool uninstall,
           bool silent,
           bool autoupdate,
           const base::FilePath& install_folder,
           bool replace_morrit_installation,
           uint32_t architecture,
           const base::CommandLine* command_line = nullptr);
  ~Settings();

  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  void AddObserver(SettingsObserver* observer);
  void RemoveObserver(SettingsObserver* observer);

  InstallOperation operation() const { return operation_; }
  bool GetFlag(SettingsFlag flag) const;
  // Bit n is the flag n.
  uint32_t flags() const { return flags_; }
  // The language code of the installation ("" until chosen).
  const std::wstring& language() const { return install_language_; }
  const base::FilePath& profile_folder() const { return profile_folder_; }
  uint32_t architecture() const { return architecture_; }
  // The command line the choices were read from: the process's, or a test's.
  const base::CommandLine& command_line() const { return command_line_; }

  // The applied install-folder Status; its folder is the install folder.
  const Status& GetStatus() const { return *status_; }
  const base::FilePath& GetInstallFolder() const;
  // The folder chosen last: the one being read, else the install folder.
  const base::FilePath& GetChosenInstallFolder() const;
  // Whether an install-folder read is under way (its reply not applied yet).
  bool IsFetchingStatus() const { return pending_fetcher_ != nullptr; }
  // Why the operation is OPERATION_INVALID, for the log ("Path is relative", ...); empty
  // when it is not.
  std::string GetInvalidReason() const;

  bool accepts_changes() const { return accepts_changes_; }
  // The installer stops accepting changes when it starts, a controller accepts them again
  // to offer a retry.
  void set_accepts_changes(bool accepts) { accepts_changes_ = accepts; }
  // False when more than one registration of this stream exists: the profile may be
  // another installation's too.
  bool profile_deletion_allowed() const { return profile_deletion_allowed_; }

  // Flag setters: true when applied. Each notifies OnSettingsChanged.
  bool SetFlag(SettingsFlag flag, bool value);
  bool SetAllUsers(bool value);     // Refused while upgrading or stand-alone.
  bool SetCopyOnly(bool value);     // Refused while upgrading.
  bool SetDefaultBrowser(bool value);  // Refused when stand-alone.
  bool SetDeleteProfile(bool value);   // Only when uninstalling.
  bool SetEnableStats(bool value);
  bool SetEnableInstallerStats(bool value);
  bool SetImportBrowserData(bool value);
  // Switches the install mode; a folder that was the old mode's suggestion moves to the
  // new mode's default. A folder the user chose (even while it is still being read) stays.
  bool SetMode(InstallMode mode);

  // Applies |code| to the process's user interface; the language actually chosen is kept
  // and OnLanguageChanged notified. False when refused or unchanged.
  bool SetLanguage(const std::wstring& code);
  // Starts reading |folder| (slashes taken as backslashes) unless it is the folder applied
  // or being read; OnPathChanged follows when the read is applied.
  bool SetInstallFolder(const base::FilePath& folder);
  bool SetInstallFolderFromString(const std::wstring& folder);

  // The backend's switches ("backend" first), in a command line without a program; the
  // caller adds the program and its own switches. With |launch_off| the backend does not
  // start the browser.
  base::CommandLine AppendToCommandLine(bool launch_off) const;
  // Reads the flags from the command line again (only while changes are accepted).
  void InitFromCommandLine();
  // Copies the browser-data import switches of the command line to |command_line|.
  void CopyImportSwitches(base::CommandLine* command_line) const;
  // The choices as installer statistics, keys prefixed with |prefix|.
  void WriteStats(const std::string& prefix, Stats* stats) const;

  // The default install folder from the |sources| (DefaultFolderSource mask) for the
  // current mode; empty when no source applies.
  base::FilePath GetDefaultInstallFolder(int sources) const;
  base::FilePath ComputeDefaultInstallFolder(int sources,
                                             uint32_t architecture,
                                             bool all_users,
                                             bool copy_only) const;
  // The folders to offer: the stand-alone candidates when stand-alone, else the default.
  std::vector<base::FilePath> GetSuggestedInstallFolders() const;

  // For tests: the read under way, or null.
  StatusFetcher* pending_fetcher_for_testing() const { return pending_fetcher_.get(); }

 private:
  void SetBit(SettingsFlag flag, bool value);
  bool ReadFlagSwitch(SettingsFlag flag, const char* name);
  bool HasSwitch(const char* name) const;
  void ApplyCopyOnly(bool copy_only);
  void ApplyStatus(std::unique_ptr<Status> status);
  // Drops the reply of the read under way, if any.
  void CancelStatusFetch();
  void LogSettings() const;
  void LogStatus() const;
  void ReadRegistryInstallFolder();
  void ComputeStandaloneCandidates();
  void ScanUninstallKeys();
  void NotifySettingsChanged();

  const base::CommandLine& command_line_;
  InstallOperation operation_ = OPERATION_INVALID;
  uint32_t flags_ = 0;
  std::wstring install_language_;
  std::unique_ptr<Status> status_;
  base::scoped_refptr<StatusFetcher> pending_fetcher_;
  base::ObserverList<SettingsObserver> observers_;
  bool accepts_changes_ = true;
  bool profile_deletion_allowed_ = true;
  base::FilePath command_line_install_folder_;
  bool has_command_line_install_folder_ = false;
  base::FilePath registry_install_folder_;
  base::FilePath profile_folder_;
  std::vector<base::FilePath> standalone_candidates_;
  const uint32_t architecture_;

  base::WeakPtrFactory<Settings> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SETTINGS_H_
