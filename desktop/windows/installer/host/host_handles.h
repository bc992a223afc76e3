#ifndef DESKTOP_WINDOWS_INSTALLER_HOST_HOST_HANDLES_H_
#define DESKTOP_WINDOWS_INSTALLER_HOST_HOST_HANDLES_H_

#include <windows.h>

#include "base/win/scoped_map_view.h"
#include "base/win/scoped_owner.h"

// Owners of the few kernel objects the host touches before the library is loaded. The host
// links nothing of the library's base code (the owner template is header-only): it must start
// with only system DLLs, and the handle verifier belongs to the library that it loads.

namespace installer_host {

// A kernel handle, closed with CloseHandle; null and INVALID_HANDLE_VALUE both mean none.
// Closing keeps the thread's last error.
struct HostHandleTraits : base::win::OwnerTraitsBase {
  using Value = HANDLE;
  static HANDLE InvalidValue() { return nullptr; }
  static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Free(HANDLE handle) {
    const DWORD last_error = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(last_error);
  }
};
using HostHandle = base::win::ScopedOwner<HostHandleTraits>;

// A mapped view of a file.
using HostMappedView = base::win::ScopedMapView;

}  // namespace installer_host

#endif  // DESKTOP_WINDOWS_INSTALLER_HOST_HOST_HANDLES_H_
