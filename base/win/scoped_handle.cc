#include "base/win/scoped_handle.h"

namespace base {
namespace win {

void CloseTrackedHandle(HANDLE handle) {
  ::CloseHandle(handle);
}

void ScopedHandle::Set(HANDLE handle) {
  if (handle == handle_)
    return;
  const DWORD last_error = ::GetLastError();
  Close();
  if (IsHandleValid(handle))
    handle_ = handle;
  ::SetLastError(last_error);
}

void ScopedHandle::Close() {
  if (IsHandleValid(handle_))
    CloseTrackedHandle(handle_);
  handle_ = nullptr;
}

}  // namespace win
}  // namespace base
