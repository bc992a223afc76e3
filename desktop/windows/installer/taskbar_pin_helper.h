#ifndef DESKTOP_WINDOWS_INSTALLER_TASKBAR_PIN_HELPER_H_
#define DESKTOP_WINDOWS_INSTALLER_TASKBAR_PIN_HELPER_H_

#include "base/files/file_path.h"

namespace installer {

// The shell of Windows 10 and later pins a shortcut to the taskbar only for itself: the
// package's pin helper does it for the installer under the shell's name, "explorer.exe".
//
// Copies |helper| as "explorer.exe" into |package_folder| (replacing a copy left there), or,
// when this process is elevated, into a new folder that only administrators can change:
// the package folder is the user's, who could swap the copy before it starts. Starts the
// copy with |shortcut| as its argument only when it carries the product's signature as the
// running installer does (verified_launch.h: held open from the check to the start), waits
// for it and deletes the copy (and that folder). True when the helper ended with exit code 0.
bool RunTaskbarPinHelper(const base::FilePath& package_folder,
                         const base::FilePath& helper,
                         const base::FilePath& shortcut);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TASKBAR_PIN_HELPER_H_
