#ifndef DESKTOP_WINDOWS_INSTALLER_HOST_BESIDE_LIBRARY_H_
#define DESKTOP_WINDOWS_INSTALLER_HOST_BESIDE_LIBRARY_H_

#include <windows.h>

#include <string>

#include "desktop/windows/installer/host/host_handles.h"

namespace installer_host {

// An installer library lying beside installer.exe (in an unpacked package, in an installed
// copy), which the host may run instead of the one it carries: only when the library's
// Authenticode signature is valid and made with the very certificate that signed the host
// itself. Anyone can put a file beside a downloaded installer.exe; it must not run in the
// host's name. An unsigned host trusts no library beside it.
//
// Both files are checked on handles held during the check. The library's handle stays open
// without write or delete sharing for as long as this object lives, and so does a handle of
// the folder that holds it, which nobody can then rename, move or delete: the file that the
// loader maps by its path is the file that was checked. Not thread-safe.
class BesideLibrary {
 public:
  BesideLibrary() = default;
  BesideLibrary(const BesideLibrary&) = delete;
  BesideLibrary& operator=(const BesideLibrary&) = delete;

  // |host| and |library|: full paths of the running executable and of the library. True
  // when the library may be loaded from |library|; false, with why in |reason| (a line
  // without the program's name), otherwise.
  bool Open(const std::wstring& host, const std::wstring& library, std::string* reason);

 private:
  HostHandle folder_;
  HostHandle file_;
};

// Whether this process runs with an elevated token. True too when that cannot be told: an
// elevated process must never take a library that a user could have put beside it.
bool IsProcessElevated();

}  // namespace installer_host

#endif  // DESKTOP_WINDOWS_INSTALLER_HOST_BESIDE_LIBRARY_H_
