#include "desktop/windows/crash_reporter/module_file.h"

#include <windows.h>

#include <string_view>

#include "base/files/file_util.h"
#include "base/logging.h"

namespace crash_reporter {

bool IsLocalModulePath(const std::wstring& path) {
  if (path.size() < 4 || path[1] != L':' || path[2] != L'\\' ||
      !((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    return false;
  }
  const std::wstring_view rest = std::wstring_view(path).substr(3);
  size_t start = 0;
  for (;;) {
    const size_t end = rest.find(L'\\', start);
    const size_t length = end == std::wstring_view::npos ? end : end - start;
    if (!base::IsPlainFileName(rest.substr(start, length)))
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
