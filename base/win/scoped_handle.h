#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <windows.h>

namespace base {
namespace win {

// Closes a kernel handle (through the handle verifier once it tracks handles).
void CloseTrackedHandle(HANDLE handle);

// Owns one kernel handle. Null and INVALID_HANDLE_VALUE are the invalid values.
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
  HANDLE Take() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

  void Close();

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
