#include "base/win/scoped_handle.h"

#include "base/logging.h"
#include "base/win/handle_verifier.h"

namespace base {
namespace win {

namespace {

// The code addresses that identify who takes or releases a handle: one inside the
// ScopedHandle method that calls this, and the one its caller resumes at.
__declspec(noinline) void GetCallerAddresses(void** pc1, void** pc2) {
  void* frames[2] = {nullptr, nullptr};
  ::RtlCaptureStackBackTrace(1, 2, frames, nullptr);
  *pc1 = frames[0];
  *pc2 = frames[1];
}

}  // namespace

bool CloseTrackedHandle(HANDLE handle) {
  GetActiveHandleVerifier()->OnHandleBeingClosed(handle);
  if (::CloseHandle(handle))
    return true;
  PLOG(ERROR) << "CloseHandle failed for handle " << handle;
  return false;
}

void ScopedHandle::Set(HANDLE handle) {
  if (handle == handle_)
    return;
  const DWORD last_error = ::GetLastError();
  Close();
  if (IsHandleValid(handle)) {
    void* pc1;
    void* pc2;
    GetCallerAddresses(&pc1, &pc2);
    GetActiveHandleVerifier()->StartTracking(handle, this, pc1, pc2);
    handle_ = handle;
  }
  ::SetLastError(last_error);
}

HANDLE ScopedHandle::Take() {
  HANDLE handle = handle_;
  if (IsHandleValid(handle)) {
    void* pc1;
    void* pc2;
    GetCallerAddresses(&pc1, &pc2);
    GetActiveHandleVerifier()->StopTracking(handle, this, pc1, pc2);
  }
  handle_ = nullptr;
  return handle;
}

void ScopedHandle::Close() {
  if (!IsHandleValid(handle_))
    return;
  const DWORD last_error = ::GetLastError();
  void* pc1;
  void* pc2;
  GetCallerAddresses(&pc1, &pc2);
  HANDLE handle = handle_;
  handle_ = nullptr;
  GetActiveHandleVerifier()->StopTracking(handle, this, pc1, pc2);
  // An owned handle that cannot be closed was closed behind its owner's back (a double
  // close): the value may already name someone else's object.
  if (!::CloseHandle(handle)) {
    PLOG(ERROR) << "Handle verifier: CloseHandle failed for owned handle " << handle
                << " (closed twice?), owner " << this << ", code " << pc1
                << " called from " << pc2;
    logging::ImmediateCrash();
  }
  ::SetLastError(last_error);
}

}  // namespace win
}  // namespace base
