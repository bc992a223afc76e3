#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <windows.h>

namespace base {
namespace win {

// Closes a kernel handle that no ScopedHandle owns, through the handle verifier: closing a
// handle that a ScopedHandle still owns ends the process. Returns false, with an error
// log, when the system refuses to close it.
bool CloseTrackedHandle(HANDLE handle);

// Owns one kernel handle. Null and INVALID_HANDLE_VALUE are the invalid values. Every
// handle taken is registered with the handle verifier (base/win/handle_verifier.h) until
// it is closed or given up; closing an owned handle that the system no longer knows ends
// the process.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) { Set(handle); }
  ScopedHandle(ScopedHandle&& other) noexcept { Set(other.Take()); }
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other)
      Set(other.Take());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Close(); }

  static bool IsHandleValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }

  bool IsValid() const { return IsHandleValid(handle_); }
  HANDLE Get() const { return handle_; }

  // Takes ownership of |handle|, closing the previous valid one; keeps the thread's
  // last-error value.
  void Set(HANDLE handle);

  // Gives up ownership without closing.
  HANDLE Take();

  // Closes the handle, if any; keeps the thread's last-error value.
  void Close();

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
