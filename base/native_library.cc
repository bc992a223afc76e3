#include "base/native_library.h"

#include <string>

#include "base/logging.h"

namespace base {

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 is understood from Windows 8 on, and on Windows 7 with the
// update that added AddDllDirectory.
bool CanSearchSystem32Only() {
  static const bool supported =
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
  return supported;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (CanSearchSystem32Only())
    return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without the search flags, only a full path keeps the other folders out.
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    if (length != 0)
      ::SetLastError(ERROR_BUFFER_OVERFLOW);
    return nullptr;
  }
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

NativeLibrary::NativeLibrary(const FilePath& path) {
  const std::wstring& value = path.value();
  if (value.empty()) {
    load_error_ = ERROR_INVALID_PARAMETER;
  } else {
    module_ = value.find_first_of(L"\\/") == std::wstring::npos
                  ? LoadSystemLibrary(value.c_str())
                  : ::LoadLibraryExW(value.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module_)
      load_error_ = ::GetLastError();
  }
  if (!module_)
    ELOG(WARNING, load_error_) << "Cannot load " << value;
}

NativeLibrary::NativeLibrary(NativeLibrary&& other) noexcept
    : module_(other.module_), load_error_(other.load_error_) {
  other.module_ = nullptr;
}

NativeLibrary& NativeLibrary::operator=(NativeLibrary&& other) noexcept {
  if (this != &other) {
    Reset();
    module_ = other.module_;
    load_error_ = other.load_error_;
    other.module_ = nullptr;
  }
  return *this;
}

NativeLibrary::~NativeLibrary() {
  Reset();
}

void* NativeLibrary::GetFunctionPointer(const char* name) const {
  if (!module_)
    return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(module_, name));
}

void NativeLibrary::Reset() {
  if (module_)
    ::FreeLibrary(module_);
  module_ = nullptr;
}

}  // namespace base
