#include "base/win/scoped_handle.h"

#include "base/logging.h"
#include "base/win/handle_verifier.h"

namespace base {
namespace win {

namespace {

// The code addresses that identify who takes or releases a handle: one inside the
// owner's method that calls the traits, and the one its caller resumes at.
__declspec(noinline) void GetCallerAddresses(void** pc1, void** pc2) {
  void* frames[2] = {nullptr, nullptr};
  ::RtlCaptureStackBackTrace(2, 2, frames, nullptr);
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

// static
__declspec(noinline) void HandleTraits::OnTake(HANDLE handle, const void* owner) {
  const DWORD last_error = ::GetLastError();
  void* pc1;
  void* pc2;
  GetCallerAddresses(&pc1, &pc2);
  GetActiveHandleVerifier()->StartTracking(handle, owner, pc1, pc2);
  ::SetLastError(last_error);
}

// static
__declspec(noinline) void HandleTraits::OnGiveUp(HANDLE handle, const void* owner) {
  const DWORD last_error = ::GetLastError();
  void* pc1;
  void* pc2;
  GetCallerAddresses(&pc1, &pc2);
  GetActiveHandleVerifier()->StopTracking(handle, owner, pc1, pc2);
  ::SetLastError(last_error);
}

// static
__declspec(noinline) void HandleTraits::Free(HANDLE handle) {
  const DWORD last_error = ::GetLastError();
  // An owned handle that cannot be closed was closed behind its owner's back (a double
  // close): the value may already name someone else's object.
  if (!::CloseHandle(handle)) {
    void* pc1;
    void* pc2;
    GetCallerAddresses(&pc1, &pc2);
    PLOG(ERROR) << "Handle verifier: CloseHandle failed for owned handle " << handle
                << " (closed twice?), code " << pc1 << " called from " << pc2;
    logging::ImmediateCrash();
  }
  ::SetLastError(last_error);
}

}  // namespace win
}  // namespace base
