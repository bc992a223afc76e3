#ifndef DESKTOP_WINDOWS_INSTALLER_STATUS_H_
#define DESKTOP_WINDOWS_INSTALLER_STATUS_H_

#include <string>
#include <vector>

#include "base/features/feature_registry.h"
#include "base/files/file_path.h"
#include "desktop/windows/installer/service/install_status.h"

namespace installer {

// The older browser generation's files in an install folder.
extern const wchar_t kMorritInstallLogFileName[];  // "tavro_install_log.xml"
extern const wchar_t kMorritPrefsFileName[];       // "tavroprefs_default.ini"

// What Status::ReadDetails found in a folder. Integers read from preference files are -1
// when not read, else 0 (no) or 1 (yes).
struct StatusDetails {
  bool desktop_shortcut_exists = false;
  bool start_menu_shortcut_exists = false;
  bool quick_launch_shortcut_exists = false;
  bool temporary_shortcut_folder_exists = false;
  bool has_write_access = false;
  // Taskbar pins that point to the installation's browser.
  std::vector<base::FilePath> pinned_shortcut_paths;
  // Shortcuts that point to another program of the installation than the current one.
  bool recreate_desktop_shortcut = false;
  bool recreate_start_menu_shortcut = false;
  bool recreate_quick_launch_shortcut = false;
  bool recreate_pinned_shortcut = false;
  // The installation's browser is the registered handler of "http".
  bool is_http_handler = false;
  int import_browser_data = -1;
  int enable_stats = -1;
  std::wstring language;
  std::string welcome_url;    // UTF-8.
  std::string tracking_data;  // The bytes of the folder's "server_tracking_data".
  int single_profile = -1;
  // 0 none, 1 or 2 the type of the older product installed there.
  int old_product_type = -1;
  base::FilePath profile_path;
  base::FilePath temporary_shortcut_folder;
};

// What one install folder is and holds: whether an installation can go there, whether one
// (of this browser or of the older generation) is already there and what it chose, and
// whether the user may write there.
//
// A Status is filled by one thread, either a worker thread or the thread that owns the
// Settings, and then handed over whole; it is never shared while being filled. Reading
// needs COM initialised on the calling thread (the status files are read through MSXML).
// Nothing that a folder holds is trusted: files that are missing, malformed or too large
// leave their fields at their start values.
class Status {
 public:
  // |replace_morrit_installation|: an older-generation installation counts as an
  // installation only when the run is to replace it.
  explicit Status(bool replace_morrit_installation);
  ~Status();

  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;

  // Classifies |folder| and reads what it holds. Call once.
  void Initialize(const base::FilePath& folder);

  // The reading part of Initialize, for a valid folder with or without an installation.
  void ReadDetails();
  // Marks the recorded shortcuts that point to |target| as existing (and to be recreated
  // unless |target| is the program they should point to, |current_target|), and collects
  // the taskbar pins of |target|. Does nothing when |target| does not exist.
  void TestShortcuts(const base::FilePath& target, bool current_target);
  // Settles copy-only and all-users of the recorded installation from what it
  // registered: an installation that registered anything is not a stand-alone copy.
  void NormalizeInstallMode();

  // Writes every field to the log at verbose level 1.
  void Log() const;

  const InstallStatus& install_status() const { return install_status_; }
  const StatusDetails& details() const { return details_; }
  // The experiment states the installation recorded ("all-installer-experiments").
  const base::FeatureRegistry& experiments() const { return experiments_; }

  const base::FilePath& install_folder() const { return install_folder_; }
  // The folder itself when it exists, else its nearest existing ancestor.
  const base::FilePath& valid_parent_folder() const { return valid_parent_folder_; }
  bool valid_install_path() const { return valid_install_path_; }
  // Why the folder cannot hold an installation ("Path is relative", ...); empty when it can.
  const std::string& problem() const { return problem_; }
  bool existing_installation() const { return existing_installation_; }
  bool morrit_installation() const { return morrit_installation_; }
  // A "launcher.exe" without an installation status file.
  bool existing_installation_traces() const { return existing_installation_traces_; }
  // The existing installation's status file is damaged or gone: its record was made anew
  // from what the installation registered and left in the folder.
  bool record_made_anew() const { return record_made_anew_; }
  bool replace_morrit_installation() const { return replace_morrit_installation_; }

 private:
  // Classification of Initialize; false ends it with the path not valid.
  bool ClassifyPath();
  void ClassifyMissingFolder();
  // Ends the classification with the folder not valid for |problem|.
  void SetProblem(std::string problem);
  // The parts of ReadDetails.
  void ReadShortcuts();
  void ReadWriteAccess();
  void ReadInstallationFiles();
  // Reads "installer_prefs.json"; false when the folder has none.
  bool ReadInstallerPrefs();
  void ReadProfileLanguage();
  void ReadMorritPrefs(bool read_prefs_too);

  InstallStatus install_status_;
  StatusDetails details_;
  base::FeatureRegistry experiments_;

  base::FilePath install_folder_;
  base::FilePath valid_parent_folder_;
  std::string problem_;

  bool valid_install_path_ = false;
  bool existing_installation_ = false;
  bool morrit_installation_ = false;
  bool existing_installation_traces_ = false;
  bool record_made_anew_ = false;

  const bool replace_morrit_installation_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_STATUS_H_
