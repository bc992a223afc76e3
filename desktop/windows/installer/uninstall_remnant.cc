#include "desktop/windows/installer/uninstall_remnant.h"

#include <windows.h>

#include <string>
#include <vector>

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

}  // namespace installer
