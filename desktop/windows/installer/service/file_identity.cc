#include "desktop/windows/installer/service/file_identity.h"

#include <windows.h>

#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"

namespace installer {

bool GetFileInfo(const base::FilePath& path, FileIdentity* identity) {
  // No data access is needed, and backup semantics let folders be opened too.
  base::win::ScopedHandle file(::CreateFileW(
      path.value().c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.IsValid()) {
    PLOG(WARNING) << "Cannot open " << path;
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(file.Get(), &info)) {
    PLOG(WARNING) << "GetFileInformationByHandle failed for " << path;
    return false;
  }
  identity->volume_serial_number = info.dwVolumeSerialNumber;
  identity->file_index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool IsShortcutTo(const base::FilePath& shortcut,
                  const base::FilePath& target,
                  const FileIdentity& target_identity) {
  base::FilePath shortcut_target;
  if (!base::win::ResolveShortcut(shortcut, &shortcut_target, nullptr))
    return false;
  if (base::FilePath::CompareEqualIgnoreCase(shortcut_target.value(), target.value()))
    return true;
  FileIdentity identity;
  return GetFileInfo(shortcut_target, &identity) && identity == target_identity;
}

}  // namespace installer
