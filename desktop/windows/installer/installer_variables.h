#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_VARIABLES_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_VARIABLES_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {

// The value of the installer variable |name| of the registry tables (given without
// braces) for the installation in |install_folder| whose uninstall entry is the key
// |uninstall_key|: {InstallFolder}, {Version}, {Executable}, {Product}, {Company},
// {CompanyRegistryKey}, {Stream}, {Uninstall}, {HelpURL}, {CompanyURL}, {DownloadsURL};
// any other name stands for itself.
std::wstring ResolveInstallerVariable(const std::wstring& name,
                                      const base::FilePath& install_folder,
                                      const std::wstring& uninstall_key);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_VARIABLES_H_
