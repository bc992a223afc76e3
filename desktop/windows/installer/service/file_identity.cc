#include "desktop/windows/installer/service/file_identity.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"

namespace installer {

namespace {

// Whether |path| is |target| by its text (without regard to case) or leads to the same file.
bool NamesTarget(const base::FilePath& path,
                 const base::FilePath& target,
                 const FileIdentity& target_identity) {
  if (base::FilePath::CompareEqualIgnoreCase(path.value(), target.value()))
    return true;
  FileIdentity identity;
  return base::PathExists(path) && GetFileInfo(path, &identity) && identity == target_identity;
}

}  // namespace

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
  base::FilePath stored;
  if (!base::win::ResolveShortcut(shortcut, &stored, nullptr))
    return false;
  if (NamesTarget(stored, target, target_identity))
    return true;
  // Wine keeps the stored target only in the ANSI code page: under a folder named outside
  // it the text reads back with other letters and names no file. The ID list keeps the
  // full names, and is asked only then, so that a shortcut whose text names another
  // existing file is never taken for the target's.
  if (base::PathExists(stored))
    return false;
  base::FilePath from_id_list;
  return base::win::ResolveShortcutIdListTarget(shortcut, &from_id_list) &&
         NamesTarget(from_id_list, target, target_identity);
}

}  // namespace installer
