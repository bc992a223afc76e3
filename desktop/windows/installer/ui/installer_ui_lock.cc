#include "desktop/windows/installer/ui/installer_ui_lock.h"

#include <string>
#include <utility>

#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/secure_named_object.h"

namespace installer {

namespace {

constexpr wchar_t kLockFileName[] = L"installer.lck";

// Holds a mutex that this thread waited for.
class ScopedMutexOwnership {
 public:
  explicit ScopedMutexOwnership(HANDLE mutex) : mutex_(mutex) {}
  ScopedMutexOwnership(const ScopedMutexOwnership&) = delete;
  ScopedMutexOwnership& operator=(const ScopedMutexOwnership&) = delete;
  ~ScopedMutexOwnership() { ::ReleaseMutex(mutex_); }

 private:
  const HANDLE mutex_;
};

// The thread id written into a lock file held by another installer; 0 when it cannot be read.
DWORD ReadLockOwner(const base::FilePath& path) {
  base::win::ScopedHandle file(::CreateFileW(path.value().c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
  DWORD owner = 0;
  DWORD read = 0;
  if (!file.IsValid() || !::ReadFile(file.Get(), &owner, sizeof(owner), &read, nullptr) ||
      read != sizeof(owner)) {
    LOG(WARNING) << "Existing installer UI lock file is invalid";
    return 0;
  }
  return owner;
}

BOOL CALLBACK ActivateFirstWindow(HWND window, LPARAM found) {
  if (!::IsWindowEnabled(window) || !::IsWindowVisible(window))
    return TRUE;
  ::SetForegroundWindow(window);
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

}  // namespace

DWORD AcquireInstallerUILock(const base::FilePath& folder, base::win::ScopedHandle* lock_file) {
  LOG(INFO) << "Getting installer UI mutex";
  const std::wstring name = base::WideStringPrintf(
      L"Local\\%ls/Installer/UI_lock", base::Utf8ToUtf16(ProductInfo::GetProductName()).c_str());
  // One that another user made could be held for ever: it is not waited for.
  NamedObject made = CreateNamedMutex(name, IfExists::kUseWhenTrusted, false, false);
  const base::win::ScopedHandle mutex(std::move(made.handle));
  if (!mutex.IsValid()) {
    LOG(WARNING) << "Failed to create installer UI mutex.";
    return 0;
  }
  // An installer that died holding the mutex leaves it abandoned: it is ours then.
  const DWORD wait = ::WaitForSingleObject(mutex.Get(), INFINITE);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    PLOG(WARNING) << "Failed to wait for the installer UI mutex";
    return 0;
  }
  ScopedMutexOwnership owned(mutex.Get());

  const base::FilePath path = folder.Append(kLockFileName);
  base::win::ScopedHandle file(::CreateFileW(path.value().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                             nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                                             nullptr));
  if (!file.IsValid()) {
    VLOG(1) << "Didn't obtain installer UI lock";
    return ReadLockOwner(path);
  }
  const DWORD thread_id = ::GetCurrentThreadId();
  DWORD written = 0;
  if (!::WriteFile(file.Get(), &thread_id, sizeof(thread_id), &written, nullptr) ||
      written != sizeof(thread_id)) {
    // The lock holds all the same; another installer only cannot switch to this window.
    PLOG(WARNING) << "Cannot write the installer UI lock file";
  }
  VLOG(1) << "Obtained installer UI lock";
  *lock_file = std::move(file);
  return thread_id;
}

bool ActivateThreadWindow(DWORD thread_id) {
  bool found = false;
  ::EnumThreadWindows(thread_id, &ActivateFirstWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace installer
