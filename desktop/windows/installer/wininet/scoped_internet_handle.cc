#include "desktop/windows/installer/wininet/scoped_internet_handle.h"

#include <windows.h>

#include <wininet.h>

#include "base/logging.h"

namespace installer {

// static
void InternetHandleTraits::Free(void* handle) {
  if (!::InternetCloseHandle(handle))
    PLOG(WARNING) << "InternetCloseHandle failed";
}

}  // namespace installer
