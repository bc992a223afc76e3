#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TEST_INSTALLATION_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TEST_INSTALLATION_H_

#include <set>
#include <string_view>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/install_status.h"

namespace installer {
namespace test {

// Writes |contents| to |path|, replacing it. False on failure.
bool WriteTestFile(const base::FilePath& path, std::string_view contents);

// The folders of the system's temporary folder whose names match |pattern| ("tavro_pin_*"):
// what elevated runs make there for a while.
std::set<base::FilePath> ListSystemTempFolders(const wchar_t* pattern);

// Makes |folder| (created when missing) look like an installation of this browser:
// "launcher.exe", the browser executable in |status|'s subfolder (when it names one), the
// status file written by SaveInstallStatus with |status| (its install folder set to
// |folder|), and "installer_prefs.json" holding |installer_prefs_json| unless that is
// empty. The calling thread must have initialised COM.
bool MakeTestInstallation(const base::FilePath& folder,
                          InstallStatus status,
                          std::string_view installer_prefs_json);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TEST_INSTALLATION_H_
