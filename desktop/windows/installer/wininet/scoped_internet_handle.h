#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_SCOPED_INTERNET_HANDLE_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_SCOPED_INTERNET_HANDLE_H_

namespace installer {

// Owns a WinINet handle (HINTERNET, kept as void* so that this header does not pull in
// <wininet.h>, which cannot share a translation unit with <winhttp.h>) and closes it with
// InternetCloseHandle.
class ScopedInternetHandle {
 public:
  ScopedInternetHandle() = default;
  explicit ScopedInternetHandle(void* handle) : handle_(handle) {}
  ScopedInternetHandle(ScopedInternetHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedInternetHandle& operator=(ScopedInternetHandle&& other) noexcept {
    if (this != &other)
      Set(other.Release());
    return *this;
  }
  ScopedInternetHandle(const ScopedInternetHandle&) = delete;
  ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;
  ~ScopedInternetHandle() { Close(); }

  bool IsValid() const { return handle_ != nullptr; }
  void* Get() const { return handle_; }

  // Closes the current handle and takes |handle|.
  void Set(void* handle) {
    Close();
    handle_ = handle;
  }
  // Gives the handle up without closing it.
  void* Release() {
    void* handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void Close();

 private:
  void* handle_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_SCOPED_INTERNET_HANDLE_H_
