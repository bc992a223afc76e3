#include "desktop/windows/installer/service/known_folders.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>

#include "base/logging.h"

namespace installer {

namespace {

struct CoTaskMemDeleter {
  void operator()(wchar_t* memory) const { ::CoTaskMemFree(memory); }
};

}  // namespace

bool GetKnownFolderPath(REFKNOWNFOLDERID folder_id,
                        DWORD flags,
                        base::FilePath* path,
                        bool create) {
  if (create)
    flags |= KF_FLAG_CREATE;
  wchar_t* raw_path = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(folder_id, flags, nullptr, &raw_path);
  // The shell may hand out memory even when it fails.
  std::unique_ptr<wchar_t, CoTaskMemDeleter> folder(raw_path);
  if (FAILED(result) || !folder) {
    ELOG(WARNING, static_cast<DWORD>(result)) << "SHGetKnownFolderPath failed";
    return false;
  }
  *path = base::FilePath(folder.get());
  return true;
}

}  // namespace installer
