#include "desktop/windows/crash_reporter/module_file.h"

#include <windows.h>

#include <string_view>

#include "base/logging.h"

namespace crash_reporter {

namespace {

bool EqualsIgnoreCase(std::wstring_view a, const wchar_t* b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b, -1, TRUE) ==
         CSTR_EQUAL;
}

// "nul", "com1.txt", "con .dll" open the device in any folder.
bool IsDeviceName(std::wstring_view component) {
  const std::wstring_view base = component.substr(0, component.find_first_of(L". "));
  for (const wchar_t* name : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (EqualsIgnoreCase(base, name))
      return true;
  }
  if (base.size() != 4 ||
      !(EqualsIgnoreCase(base.substr(0, 3), L"COM") ||
        EqualsIgnoreCase(base.substr(0, 3), L"LPT"))) {
    return false;
  }
  const wchar_t digit = base[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' ||
         digit == L'\x00B3';
}

// A component the system would not change or read as something else: trailing dots and
// spaces are dropped by path parsing, ":" names a stream, wildcards and controls are not
// file names.
bool IsPlainComponent(std::wstring_view component) {
  if (component.empty() || component.back() == L'.' || component.back() == L' ' ||
      IsDeviceName(component)) {
    return false;
  }
  for (const wchar_t c : component) {
    if (c < 0x20 || c == 0x7F || std::wstring_view(L"<>:\"/|?*").find(c) != std::wstring_view::npos)
      return false;
  }
  return true;
}

}  // namespace

bool IsLocalModulePath(const std::wstring& path) {
  if (path.size() < 4 || path[1] != L':' || path[2] != L'\\' ||
      !((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    return false;
  }
  const std::wstring_view rest = std::wstring_view(path).substr(3);
  size_t start = 0;
  for (;;) {
    const size_t end = rest.find(L'\\', start);
    if (!IsPlainComponent(rest.substr(start, end == std::wstring_view::npos ? end : end - start)))
      return false;
    if (end == std::wstring_view::npos)
      break;
    start = end + 1;
  }
  // A mapped network drive or removable media is refused like a share.
  return ::GetDriveTypeW(path.substr(0, 3).c_str()) == DRIVE_FIXED;
}

base::win::ScopedHandle OpenModuleFile(const std::wstring& path) {
  if (!IsLocalModulePath(path)) {
    LOG(WARNING) << "Not opening module file " << path << ": not a full path on a local disk";
    return base::win::ScopedHandle();
  }
  base::win::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING,
                                             SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS,
                                             nullptr));
  if (!file.IsValid())
    PLOG(ERROR) << "CreateFile failed for " << path;
  return file;
}

}  // namespace crash_reporter
