#include "base/win/known_folder.h"

#include <shlobj.h>

#include "base/win/scoped_co_mem.h"

namespace base {
namespace win {

HRESULT GetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, FilePath* path) {
  ScopedCoMem<wchar_t> text;
  const HRESULT hr = ::SHGetKnownFolderPath(id, flags, nullptr, text.Receive());
  if (FAILED(hr))
    return hr;
  if (!text.Get() || !text.Get()[0])
    return E_FAIL;
  *path = FilePath(text.Get());
  return S_OK;
}

}  // namespace win
}  // namespace base
