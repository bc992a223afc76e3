#include "desktop/windows/installer/service/user_names.h"

#include <windows.h>

#include <lmcons.h>
#define SECURITY_WIN32
#include <security.h>

#include "base/logging.h"

namespace installer {

namespace {

// GetUserNameExW for |format|; empty on failure.
std::wstring GetUserNameInFormat(EXTENDED_NAME_FORMAT format) {
  ULONG size = UNLEN + 1;
  std::wstring name;
  for (int attempt = 0; attempt < 2; ++attempt) {
    name.resize(size);
    if (::GetUserNameExW(format, &name[0], &size)) {
      name.resize(size);  // |size| excludes the terminator on success.
      return name;
    }
    if (::GetLastError() != ERROR_MORE_DATA)
      break;
  }
  PLOG(WARNING) << "GetUserNameEx(" << static_cast<int>(format) << ") failed";
  return std::wstring();
}

}  // namespace

std::wstring GetCurrentUserName() {
  std::wstring name = GetUserNameInFormat(NameSamCompatible);
  if (!name.empty())
    return name;
  wchar_t buffer[UNLEN + 1];
  DWORD size = UNLEN + 1;
  if (!::GetUserNameW(buffer, &size) || size == 0) {
    PLOG(ERROR) << "GetUserName failed";
    return std::wstring();
  }
  return std::wstring(buffer, size - 1);  // |size| counts the terminator.
}

std::wstring GetCurrentUserDisplayName() {
  return GetUserNameInFormat(NameDisplay);
}

}  // namespace installer
