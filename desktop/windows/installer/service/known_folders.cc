#include "desktop/windows/installer/service/known_folders.h"

#include <shlobj.h>

#include "base/logging.h"
#include "base/win/scoped_co_mem.h"

namespace installer {

bool GetKnownFolderPath(REFKNOWNFOLDERID folder_id,
                        DWORD flags,
                        base::FilePath* path,
                        bool create) {
  if (create)
    flags |= KF_FLAG_CREATE;
  base::win::ScopedCoMem<wchar_t> folder;
  const HRESULT result = ::SHGetKnownFolderPath(folder_id, flags, nullptr, folder.Receive());
  if (FAILED(result) || !folder.Get()) {
    ELOG(WARNING, static_cast<DWORD>(result)) << "SHGetKnownFolderPath failed";
    return false;
  }
  *path = base::FilePath(folder.Get());
  return true;
}

}  // namespace installer
