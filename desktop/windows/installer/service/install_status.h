#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_STATUS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_STATUS_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/registry_record.h"

namespace installer {

// The name of the status file in an install folder.
extern const wchar_t kInstallStatusFileName[];  // "installation_status.xml"

// A component installed beside the browser by its own installer.
struct InstallComponent {
  std::string name;  // UTF-8.
  base::FilePath path;

  bool operator==(const InstallComponent&) const = default;
};

// What an installation recorded about itself: how it was installed, where its shortcuts
// are, which files and registry entries belong to it. Kept in the install folder's status
// file so that an upgrade or uninstallation can undo it.
struct InstallStatus {
  bool copy_only = false;
  bool all_users = false;
  bool pinned = false;
  std::string app_id;  // UTF-8.
  base::FilePath install_folder;
  // The installation's subfolder of the install folder (holding the versioned files).
  base::FilePath subfolder;
  std::string version;  // UTF-8.
  base::FilePath desktop_shortcut;
  base::FilePath start_menu_shortcut;
  base::FilePath quick_launch_shortcut;
  // Paths relative to the subfolder (files) and to the install folder (root_files), UTF-8.
  std::vector<std::string> files;
  std::vector<std::string> root_files;
  std::vector<InstallComponent> components;
  RegistryRecord hklm_keys;
  RegistryRecord hkcu_keys;

  bool operator==(const InstallStatus&) const = default;
};

// Reads a status file (for example the install folder's "installation_status.xml", or an
// older copy of it). True only when the whole file is a well-formed status record; |status|
// is left unchanged otherwise. Files that are not XML, have another root, miss an element,
// carry a document type declaration, exceed 32 MB or hold a registry value type that could
// not be saved again (with a tab, a line break, '"', '&' or '<') load as false.
//
// The file format (UTF-8, element and attribute names in lower case):
//   <install_log version="1">
//     <copy_only>0|1</copy_only> <all_users>0|1</all_users> <pinned>0|1</pinned>
//     <app_id>..</app_id> <install_folder>..</install_folder> <subfolder>..</subfolder>
//     <version>..</version> <desktop_shortcut>..</desktop_shortcut>
//     <start_menu_shortcut>..</start_menu_shortcut>
//     <quick_launch_shortcut>..</quick_launch_shortcut>
//     <files><file>..</file>...</files> <root_files><file>..</file>...</root_files>
//     <components><component><name>..</name><path>..</path></component>...</components>
//     <hklm_keys>
//       <key clean="1"><path>..</path>
//         <value type="REG_SZ"><name>..</name><data>..</data></value>...
//       </key>...
//     </hklm_keys>
//     <hkcu_keys>...</hkcu_keys>
//   </install_log>
// Every element above is required once, in any order (list items any number of times, in
// order); texts are element content so that they keep their exact whitespace; unknown
// elements are ignored.
//
// Both functions use MSXML through COM: the calling thread must have initialised COM.
bool LoadInstallStatus(const base::FilePath& path, InstallStatus* status);

// Writes |status| to the file |path| (normally "installation_status.xml" in the install
// folder). The new content goes to a temporary file in the same folder that then replaces
// |path|, so an interrupted save leaves the previous file intact. False, with the previous
// file unchanged, on any failure (missing folder, read-only target, texts that XML cannot
// hold, registry value types that would not read back the same).
bool SaveInstallStatus(const base::FilePath& path, const InstallStatus& status);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_STATUS_H_
