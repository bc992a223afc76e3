#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_NAMED_OBJECTS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_NAMED_OBJECTS_H_

#include <string>
#include <string_view>

#include "base/files/file_path.h"

namespace installer {

// The install folder as the names of the objects below carry it, so that every way of
// writing one folder ("C:\Program Files\Tavro", "c:\progra~1\TAVRO\", "C:/Program Files/x/..
// /Tavro") gives one name: the full path, in its long form (as far as the folder exists;
// the missing rest as written), without trailing separators except a root's, upper-cased
// as paths are compared. A path the system cannot make full is taken as it is, folded.
std::wstring NormalizeFolderForObjectNames(const base::FilePath& folder);

// The name of a kernel object (event, mutex...) that the installer processes working on
// one install folder share: "Global\" (all sessions) or "Local\" (this session), the base
// name, "/", and the normalised folder with every backslash turned into "/" (a backslash
// would start a namespace). Example: "Global\TavroInstaller/PackageReady/C:/PROGRAM
// FILES/TAVRO".
std::wstring MakeObjectName(const base::FilePath& folder,
                            std::wstring_view base_name,
                            bool global);

// The name, relative to "\\.\mailslot\", of the mailslot on which the backend working on
// |folder| reports to its front end: "tavro_installer\" and the normalised folder.
std::wstring MakeInstallerMailslotName(const base::FilePath& folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_NAMED_OBJECTS_H_
