#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <windows.h>

#include "base/win/scoped_owner.h"

namespace base {
namespace win {

// Closes a kernel handle that no ScopedHandle owns, through the handle verifier: closing a
// handle that a ScopedHandle still owns ends the process. Returns false, with an error
// log, when the system refuses to close it.
bool CloseTrackedHandle(HANDLE handle);

// A kernel handle. Null and INVALID_HANDLE_VALUE are the invalid values. Every handle
// owned is registered with the handle verifier (base/win/handle_verifier.h) until it is
// closed or given up; closing an owned handle that the system no longer knows ends the
// process. Owning, giving up and closing keep the thread's last-error value.
struct HandleTraits {
  using Value = HANDLE;
  static HANDLE InvalidValue() { return nullptr; }
  static bool IsValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static void OnTake(HANDLE handle, const void* owner);
  static void OnGiveUp(HANDLE handle, const void* owner);
  static void Free(HANDLE handle);
};

using ScopedHandle = ScopedOwner<HandleTraits>;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
