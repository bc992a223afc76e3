#include "desktop/windows/installer/service/known_folders.h"

#include <shlobj.h>

#include "base/logging.h"
#include "base/win/known_folder.h"

namespace installer {

bool GetKnownFolderPath(REFKNOWNFOLDERID folder_id,
                        DWORD flags,
                        base::FilePath* path,
                        bool create) {
  if (create)
    flags |= KF_FLAG_CREATE;
  const HRESULT result = base::win::GetKnownFolderPath(folder_id, flags, path);
  if (FAILED(result)) {
    ELOG(WARNING, static_cast<DWORD>(result)) << "SHGetKnownFolderPath failed";
    return false;
  }
  return true;
}

}  // namespace installer
