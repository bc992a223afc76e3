#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_H_

#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/file_identity.h"

namespace installer {

// The folder that holds the current user's taskbar pins: the "TaskBar" folder of the
// user-pinned known folder, or the same folder below the roaming application data when
// the shell does not know the user-pinned folder. False when neither can be had.
bool GetTaskbarPinsFolder(base::FilePath* folder);

// Appends to |pins| the shortcuts (.lnk files) of the taskbar pins folder that point to
// |target| (IsShortcutTo with |target_identity|). The calling thread must have
// initialised COM.
void FindTaskbarPins(const base::FilePath& target,
                     const FileIdentity& target_identity,
                     std::vector<base::FilePath>* pins);

// Makes GetTaskbarPinsFolder give |folder| (tests); an empty path restores the real one.
void SetTaskbarPinsFolderForTesting(const base::FilePath& folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_H_
