#ifndef BASE_WIN_HANDLE_VERIFIER_H_
#define BASE_WIN_HANDLE_VERIFIER_H_

#include <windows.h>

namespace base {
namespace win {

// Records which owner holds each kernel handle that a ScopedHandle has taken, and stops the
// process (after logging the details) when a handle is taken by a second owner while still
// tracked, released by an owner that does not hold it, or closed behind its owner's back.
//
// The interface is shared between modules: when the host executable exports its own
// GetHandleVerifier, this library uses that verifier instead of its own, so that handles
// passed between the two are checked against one record. Its layout must therefore stay
// stable; add new methods only at the end.
class HandleVerifier {
 public:
  // |owner| takes |handle|. |pc1| is a code address inside the taking code, |pc2| the
  // address its caller resumes at.
  virtual void StartTracking(HANDLE handle,
                             const void* owner,
                             const void* pc1,
                             const void* pc2) = 0;
  // |owner| gives |handle| up (before closing it or handing it over).
  virtual void StopTracking(HANDLE handle,
                            const void* owner,
                            const void* pc1,
                            const void* pc2) = 0;
  // Stops all checking for the rest of the process and forgets every tracked handle.
  virtual void Disable() = 0;
  // |handle| is about to be closed by code that does not own it through a ScopedHandle:
  // fatal when a ScopedHandle still owns it.
  virtual void OnHandleBeingClosed(HANDLE handle) = 0;
  // The module whose verifier this is.
  virtual HMODULE GetModule() const = 0;

 protected:
  // Never destroyed through the interface: the verifier lives as long as the process.
  ~HandleVerifier() = default;
};

// The process's verifier: the host executable's when it exports GetHandleVerifier,
// otherwise this module's own, created on first use. The choice is made once.
HandleVerifier* GetActiveHandleVerifier();

}  // namespace win
}  // namespace base

// The DLL export: the process's verifier (a base::win::HandleVerifier) as an opaque pointer.
extern "C" void* GetHandleVerifier();

#endif  // BASE_WIN_HANDLE_VERIFIER_H_
