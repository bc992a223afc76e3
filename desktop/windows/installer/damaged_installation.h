#ifndef DESKTOP_WINDOWS_INSTALLER_DAMAGED_INSTALLATION_H_
#define DESKTOP_WINDOWS_INSTALLER_DAMAGED_INSTALLATION_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/install_status.h"

namespace installer {

// An uninstall entry of this product, in the 32-bit view where the tables write it.
struct UninstallEntry {
  HKEY root = nullptr;
  std::wstring key_path;
  std::string version;          // Its "DisplayVersion"; empty without.
  bool names_location = false;  // Its "InstallLocation" is the install folder.
};

// The product's uninstall entries ("<product> <version and suffix>") whose own values name
// the installation in |folder|: "InstallLocation" is the folder, or "DisplayIcon" or
// "UninstallString" start the launcher in it, compared as normalised full paths. The
// machine's first, each root's in the order the registry lists them.
std::vector<UninstallEntry> FindUninstallEntries(const base::FilePath& folder);

// Recognises an installation of this browser in |folder| whose status file is damaged
// (|status_file_damaged|: the folder holds one that does not load) or gone, by what it
// registered and left there: an uninstall entry whose "InstallLocation" is the folder; with
// a damaged status file, a version folder holding the browser or the launcher; without
// any, a version folder holding the browser and the launcher beside it. False when there
// is none of that. Otherwise |status| receives the installation's record made anew from
// them, as the installation would have recorded it: its newest version folder (the one the
// uninstall entry names first) with every file in it, the launcher's companion files, its
// components, the registry entries of the registry tables under the uninstall entry's
// root, its shortcuts of the product's standard names (without an entry, those of the
// user, else of all users) and the id of its autoupdate task. COM must be initialised on
// the calling thread.
bool RecognizeDamagedInstallation(const base::FilePath& folder,
                                  bool status_file_damaged,
                                  InstallStatus* status);

// What an interrupted run may have left in |folder| beside the installation that |status|
// records, when its undo journal does not read: the version folders the record does not
// name, and the entries that runs set aside for an undo. Only the installer makes such names
// in an install folder.
std::vector<base::FilePath> FindLeftoversOfInterruptedRun(const base::FilePath& folder,
                                                          const InstallStatus& status);

// The ids of the autoupdate tasks ("Autoupdate <id>") whose program is |launcher|. COM
// must be initialised on the calling thread.
std::vector<std::string> FindAutoupdateTaskIds(const base::FilePath& launcher);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_DAMAGED_INSTALLATION_H_
