#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_NAMED_OBJECTS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_NAMED_OBJECTS_H_

#include <string>
#include <string_view>

#include "base/files/file_path.h"

namespace installer {

// The name of a kernel object (event, mutex...) that the installer processes working on
// one install folder share: "Global\" (all sessions) or "Local\" (this session), the base
// name, "/", and the folder path with every backslash turned into "/" (a backslash would
// start a namespace). Example: "Global\TavroInstaller/PackageReady/C:/Program Files/Tavro".
std::wstring MakeObjectName(const base::FilePath& folder,
                            std::wstring_view base_name,
                            bool global);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_NAMED_OBJECTS_H_
