#ifndef DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_
#define DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_

#include "base/time/time.h"

namespace base {
class CommandLine;
class FilePath;
}  // namespace base

namespace installer {

// How long the helper keeps a temporary grant after the installer has asked to undo it.
constexpr base::TimeDelta kUndoGrantDelay = base::TimeDelta::FromMilliseconds(10000);

// The elevated helper role ("set-folder-permission"): grants the user named by
// "permissions-for-user" full access to the folder for the duration of an installation, or
// for good with "permanent-permissions". With "wait-for-package" it first waits for the
// package and then hands over to the installer of the package folder. It reports nothing:
// each failed step ends it; the installer waiting for its events decides what that means.
void RunFolderPermissionHelper(const base::CommandLine& command_line,
                               base::TimeDelta undo_delay = kUndoGrantDelay);

// Starts "k.bat" of the installation folder (the clean-up batch an uninstallation leaves
// behind) with a hidden window, without waiting for it.
void RunUninstallBatch(const base::FilePath& installation_folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_
