#ifndef DESKTOP_WINDOWS_INSTALLER_FOLDER_PATH_CHECK_H_
#define DESKTOP_WINDOWS_INSTALLER_FOLDER_PATH_CHECK_H_

#include <string>

#include "base/files/file_path.h"

// Whether a folder path that the installer is told to use (a switch, a remembered value, the
// user's typing) names the folder it seems to name. Windows quietly changes some names
// ("C:\Tavro." is "C:\Tavro", "NUL" is a device) and refuses others only later, at a step
// of the run that cannot say why. These checks read the text only; nothing on disk is
// looked at (see Status for what the disk says about a folder).

namespace installer {

// Why |folder| cannot name a folder for the installer, as a log text ("Path is relative",
// "Path refers to a parent folder", ...); empty when it can. A usable folder is absolute (a
// drive letter or "\\server\share"), shorter than base::kMaxDirectoryPathLength, has no "."
// or ".." component, no name ending in a dot or a space, no character that a file name
// cannot hold ('"', '*', '?', '<', '>', '|', a ':' after the drive, control characters) and
// no device name ("CON", "NUL", "COM1", ...). Slashes count as backslashes.
std::string GetFolderPathProblem(const base::FilePath& folder);

// GetFolderPathProblem for an install folder, which must also fit the names that the
// installer processes of one installation share: the mailslot of the front end and the
// kernel objects of named_objects.h, each limited to MAX_PATH characters.
// A folder too long for those names is refused for its length first, however else it is
// named: one cause, one reason.
std::string GetInstallFolderPathProblem(const base::FilePath& folder);

// The string resource that tells a user |problem|, a text of the functions above or of the
// Status of a folder; IDS_INVALID_INSTALL_PATH for any other.
int GetPathProblemMessageId(const std::string& problem);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_FOLDER_PATH_CHECK_H_
