#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_KNOWN_FOLDERS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_KNOWN_FOLDERS_H_

#include <windows.h>

#include <shtypes.h>

#include "base/files/file_path.h"

namespace installer {

// The path of a known folder of the current user (SHGetKnownFolderPath with |flags|, plus
// KF_FLAG_CREATE when |create| is set). False, with the error logged, when the shell
// cannot give it; |path| is then unchanged.
bool GetKnownFolderPath(REFKNOWNFOLDERID folder_id,
                        DWORD flags,
                        base::FilePath* path,
                        bool create);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_KNOWN_FOLDERS_H_
