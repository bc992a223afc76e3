#ifndef DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_
#define DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_

#include <windows.h>

#include <string>

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

// The package folder that "wait-for-package" names. False, with an error logged, when the
// value is empty or not an absolute path: the installer there would be looked for in the
// current folder or along the search path.
bool GetWaitForPackageFolder(const base::CommandLine& command_line, base::FilePath* folder);

// The grant of the helper once the installer's two events are open: grants |user| full
// access to |folder| and everything in it, then signals |give_permission|. Unless
// |permanent|, waits for |undo| and |undo_delay| more and then puts the folder's old list
// back; a temporary grant that could not be announced is taken back at once. A permanent
// grant stays in every case.
void GrantFolderPermission(const base::FilePath& folder,
                           const std::wstring& user,
                           bool permanent,
                           HANDLE give_permission,
                           HANDLE undo,
                           base::TimeDelta undo_delay);

// Starts "k.bat" of the installation folder (the clean-up batch an uninstallation leaves
// behind) with a hidden window, without waiting for it.
void RunUninstallBatch(const base::FilePath& installation_folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_
