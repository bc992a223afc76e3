#include "desktop/windows/installer/wininet/scoped_internet_handle.h"

#include <windows.h>

#include <wininet.h>

#include "base/logging.h"

namespace installer {

void ScopedInternetHandle::Close() {
  if (!handle_)
    return;
  if (!::InternetCloseHandle(handle_))
    PLOG(WARNING) << "InternetCloseHandle failed";
  handle_ = nullptr;
}

}  // namespace installer
