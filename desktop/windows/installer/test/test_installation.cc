#include "desktop/windows/installer/test/test_installation.h"

#include <utility>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/protected_folder.h"

namespace installer {
namespace test {

bool WriteTestFile(const base::FilePath& path, std::string_view contents) {
  const int size = static_cast<int>(contents.size());
  return base::WriteFileFromBuffer(path, contents.data(), size) == size;
}

std::set<base::FilePath> ListSystemTempFolders(const wchar_t* pattern) {
  std::set<base::FilePath> folders;
  base::FileEnumerator entries(SystemTempFolder(), false, base::FileEnumerator::DIRECTORIES,
                               pattern);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next())
    folders.insert(entry);
  return folders;
}

bool MakeTestInstallation(const base::FilePath& folder,
                          InstallStatus status,
                          std::string_view installer_prefs_json) {
  if (!base::CreateDirectory(folder) || !WriteTestFile(folder.Append(kLauncherExeName), "MZ"))
    return false;
  if (!status.subfolder.empty()) {
    const base::FilePath subfolder = folder.Append(status.subfolder);
    if (!base::CreateDirectory(subfolder) ||
        !WriteTestFile(subfolder.Append(GetBrowserExeName()), "MZ")) {
      return false;
    }
  }
  if (!installer_prefs_json.empty() &&
      !WriteTestFile(folder.Append(kInstallerPrefsFileName), installer_prefs_json)) {
    return false;
  }
  status.install_folder = folder;
  return SaveInstallStatus(folder.Append(kInstallStatusFileName), status);
}

}  // namespace test
}  // namespace installer
