#include "desktop/windows/installer/uninstall_remnant.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/cleanup_batch.h"
#include "desktop/windows/installer/profile_deletion.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace installer {

namespace {

constexpr wchar_t kLibraryName[] = L"tavro_installer.dll";
constexpr wchar_t kInstallerName[] = L"installer.exe";

// Whether |name| is that of a version folder: four numbers, and "_" and a number for a
// second copy of a version.
bool IsVersionFolderName(const std::wstring& name) {
  const size_t underscore = name.find(L'_');
  const std::wstring version = name.substr(0, underscore);
  if (underscore != std::wstring::npos) {
    const std::wstring copy = name.substr(underscore + 1);
    if (copy.empty() || copy.size() > 6 ||
        copy.find_first_not_of(L"0123456789") != std::wstring::npos) {
      return false;
    }
  }
  size_t dots = 0;
  for (size_t i = 0; i < version.size(); ++i) {
    if (version[i] == L'.') {
      // No empty number.
      if (i == 0 || version[i - 1] == L'.' || i + 1 == version.size())
        return false;
      ++dots;
    } else if (version[i] < L'0' || version[i] > L'9') {
      return false;
    }
  }
  return dots == 3;
}

// Whether |name| is a version folder of this installer's version: the version, or the
// version, "_" and a number (the folder of a second copy of the same version).
bool IsOwnVersionFolderName(const std::wstring& name) {
  const std::wstring version = base::AsciiToUtf16(ProductInfo::GetVersion());
  if (name.compare(0, version.size(), version) != 0)
    return false;
  const std::wstring rest = name.substr(version.size());
  return rest.empty() || (rest.size() > 1 && rest.size() <= 7 && rest[0] == L'_' &&
                          rest.find_first_not_of(L"0123456789", 1) == std::wstring::npos);
}

}  // namespace

bool IsUninstallRemnant(const base::FilePath& installer) {
  const base::FilePath version_folder = installer.DirName();
  const base::FilePath install_folder = version_folder.DirName();
  if (install_folder == version_folder || !IsOwnVersionFolderName(version_folder.BaseName().value()))
    return false;
  return !base::PathExists(version_folder.Append(GetBrowserExeName())) &&
         !base::PathExists(install_folder.Append(kInstallStatusFileName)) &&
         !base::PathExists(install_folder.Append(kLauncherExeName)) &&
         base::PathExists(install_folder.Append(kInstallerPrefsFileName));
}

bool FinishUninstallRemnant(const base::FilePath& installer, bool delete_profile) {
  const base::FilePath version_folder = installer.DirName();
  const base::FilePath install_folder = version_folder.DirName();
  LOG(INFO) << "Finishing the uninstallation of " << install_folder
            << ": only its uninstaller is left";
  if (delete_profile)
    DeleteRecordedUserProfile(Installation(install_folder));
  std::vector<base::FilePath> files_left = {installer};
  const base::FilePath library = version_folder.Append(kLibraryName);
  if (base::PathExists(library))
    files_left.push_back(library);
  const std::string batch =
      MakeCleanupBatch({::GetCurrentProcessId()}, install_folder, files_left);
  const base::FilePath path = install_folder.Append(kCleanupBatchName);
  if (base::WriteFileFromBuffer(path, batch.data(), static_cast<int>(batch.size())) !=
      static_cast<int>(batch.size())) {
    PLOG(ERROR) << "Cannot write " << path;
    return false;
  }
  LOG(INFO) << "Starting final cleanup batch file.";
  return StartCleanupBatch(path);
}

std::vector<base::FilePath> FindUninstallRemnants(const base::FilePath& install_folder) {
  std::vector<base::FilePath> remnants;
  // The preferences that every installation leaves mark the folder as one that held one.
  if (!base::PathExists(install_folder.Append(kInstallerPrefsFileName)))
    return remnants;
  base::FileEnumerator folders(install_folder, false, base::FileEnumerator::DIRECTORIES);
  for (base::FilePath folder = folders.Next(); !folder.empty(); folder = folders.Next()) {
    if (!IsVersionFolderName(folder.BaseName().value()))
      continue;
    bool only_installer = true;
    bool any = false;
    base::FileEnumerator entries(folder, false,
                                 base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
    for (base::FilePath entry = entries.Next(); !entry.empty() && only_installer;
         entry = entries.Next()) {
      const std::wstring name = entry.BaseName().value();
      any = true;
      only_installer = !base::DirectoryExists(entry) &&
                       (base::FilePath::CompareEqualIgnoreCase(name, kInstallerName) ||
                        base::FilePath::CompareEqualIgnoreCase(name, kLibraryName));
    }
    if (any && only_installer)
      remnants.push_back(folder);
  }
  return remnants;
}

}  // namespace installer
