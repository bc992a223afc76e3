#ifndef DESKTOP_WINDOWS_INSTALLER_HOST_HOST_HANDLES_H_
#define DESKTOP_WINDOWS_INSTALLER_HOST_HOST_HANDLES_H_

#include <windows.h>

// Owners of the few kernel objects the host touches before the library is loaded. The host
// links nothing of the library's base code: it must start with only system DLLs, and the
// handle verifier belongs to the library that it loads.

namespace installer_host {

// Owns one kernel handle; null and INVALID_HANDLE_VALUE both mean none. Move-only.
class HostHandle {
 public:
  HostHandle() = default;
  explicit HostHandle(HANDLE handle) { Reset(handle); }
  HostHandle(HostHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  HostHandle& operator=(HostHandle&& other) noexcept {
    if (this != &other) {
      Reset(other.handle_);
      other.handle_ = nullptr;
    }
    return *this;
  }
  HostHandle(const HostHandle&) = delete;
  HostHandle& operator=(const HostHandle&) = delete;
  ~HostHandle() { Reset(nullptr); }

  bool IsValid() const { return handle_ != nullptr; }
  HANDLE Get() const { return handle_; }

  // Closes the handle held, if any, and takes |handle|; keeps the thread's last error.
  void Reset(HANDLE handle) {
    const DWORD last_error = ::GetLastError();
    if (handle_)
      ::CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    ::SetLastError(last_error);
  }

 private:
  HANDLE handle_ = nullptr;
};

// Owns a mapped view of a file.
class HostMappedView {
 public:
  explicit HostMappedView(const void* view) : view_(view) {}
  HostMappedView(const HostMappedView&) = delete;
  HostMappedView& operator=(const HostMappedView&) = delete;
  ~HostMappedView() {
    if (view_)
      ::UnmapViewOfFile(view_);
  }

  const void* Get() const { return view_; }

 private:
  const void* view_;
};

}  // namespace installer_host

#endif  // DESKTOP_WINDOWS_INSTALLER_HOST_HOST_HANDLES_H_
