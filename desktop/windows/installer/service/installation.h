#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_H_

#include <windows.h>

#include <optional>
#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/install_status.h"

namespace installer {

// The launcher that every installation keeps in its install folder.
extern const wchar_t kLauncherExeName[];  // "launcher.exe"
// The installer preferences of an install folder.
extern const wchar_t kInstallerPrefsFileName[];  // "installer_prefs.json"

// An installed browser: its install folder and, when known, its status record.
//
// Methods that need the status record and were given none read the folder's
// "installation_status.xml" each time; that uses COM, which the calling thread must have
// initialised (without it the folder counts as having no status file).
class Installation {
 public:
  explicit Installation(const base::FilePath& folder);
  Installation(const base::FilePath& folder, const InstallStatus& status);

  const base::FilePath& folder() const { return folder_; }
  // The status given at construction, else the folder's status file when it loads.
  bool GetStatus(InstallStatus* status) const;
  base::FilePath GetLauncherPath() const;

  // Whether the installation was made as a stand-alone copy (from its status record; a
  // folder without one is not a copy-only installation).
  bool IsCopyOnly() const;

  // The folder of the user profile: the "profile_path" of the folder's installer
  // preferences when set (relative to the install folder unless absolute); otherwise
  // "profile" in the install folder for a single-profile installation ("single_profile"
  // of the preferences, or, without that, a copy-only installation), and the company's
  // and product's folder in the user's roaming application data for the others. With
  // |must_exist| the folder must also exist. False when it cannot be determined.
  bool GetProfileDirectory(base::FilePath* path, bool must_exist) const;
  // The same as the installer preferences record it, for deleting it: false also when they
  // cannot be read or name neither the profile path nor the profile mode, so that a guess
  // never names the profile of another installation.
  bool GetRecordedProfileDirectory(base::FilePath* path) const;

  // The local application-data counterpart of a profile path in the roaming application
  // data (where the browser keeps caches); any other path is returned unchanged.
  void TranslateProfilePath(const base::FilePath& path, base::FilePath* local_path) const;

  // Whether the shell command registered to open |association| (a protocol such as
  // "http" or an extension such as ".html") names, ignoring case, this installation's
  // launcher, or with |use_browser_exe| its browser executable (in the installation's
  // subfolder or in the install folder itself).
  bool IsDefaultHandlerFor(const std::wstring& association, bool use_browser_exe) const;
  // Whether the shell command |command| names that program.
  bool IsHandlerCommand(const std::wstring& command, bool use_browser_exe) const;

 private:
  // GetProfileDirectory without the existence check; with |recorded_only| as
  // GetRecordedProfileDirectory.
  bool FindProfileDirectory(bool recorded_only, base::FilePath* path) const;

  base::FilePath folder_;
  std::optional<InstallStatus> status_;
};

// The shell command that opens |association|: the command of the user's recorded choice
// when there is one, else of the association's class (for an extension, the class its
// default value names), read from the current user's classes and then the machine's.
// Empty when nothing is registered.
std::wstring GetAssociationOpenCommand(const std::wstring& association);

// The default value of the key |path| below |root|; empty when missing.
std::wstring ReadRegistryDefaultValue(HKEY root, const std::wstring& path);

// The install folder of the executable in |exe_folder|: that folder, or its parent when
// "launcher.exe" is missing beside the executable but present in the parent.
base::FilePath GetInstallationFolderOf(const base::FilePath& exe_folder);

// The process-wide installation of the running executable (see GetInstallationFolderOf).
const Installation& GetCurrentInstallation();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_H_
