#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_WININET_TERMINATION_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_WININET_TERMINATION_H_

#include "desktop/windows/installer/wininet/scoped_internet_handle.h"

namespace installer {

// Closes a WinINet session on the process's thread "Wininet Termination". Closing an
// asynchronous session waits for WinINet's own threads to let go of it, which can take as
// long as a stuck connection attempt; the threads that own downloaders (the window's, the
// fetcher's) must not wait for that. The thread starts on first use and is stopped, after
// closing every session handed to it, when the installer's run ends.
void CloseWininetSessionInBackground(ScopedInternetHandle session);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_WININET_TERMINATION_H_
