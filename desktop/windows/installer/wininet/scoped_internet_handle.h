#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_SCOPED_INTERNET_HANDLE_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_SCOPED_INTERNET_HANDLE_H_

#include "base/win/scoped_owner.h"

namespace installer {

// A WinINet handle (HINTERNET, kept as void* so that this header does not pull in
// <wininet.h>, which cannot share a translation unit with <winhttp.h>), closed with
// InternetCloseHandle.
struct InternetHandleTraits : base::win::NullIsInvalid<void*> {
  static void Free(void* handle);
};

using ScopedInternetHandle = base::win::ScopedOwner<InternetHandleTraits>;

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_SCOPED_INTERNET_HANDLE_H_
