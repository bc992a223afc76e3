#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_LOCK_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_LOCK_H_

#include <windows.h>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

// One installer window per download folder. The lock is the file "installer.lck" in the
// folder, held open (for writing, shared for reading only, deleted when closed) by the
// installer whose window runs, and holding the id of that installer's main thread. A named
// mutex of the session makes the check-and-create atomic between installers.
//
// Takes the lock into |lock_file| and returns the calling thread's id; when another
// installer holds it, returns that installer's thread id (0 when the file cannot be read)
// and leaves |lock_file| empty. 0 also when the mutex cannot be made.
DWORD AcquireInstallerUILock(const base::FilePath& folder, base::win::ScopedHandle* lock_file);

// Brings the first enabled and visible window of the thread |thread_id| (another
// installer's window) to the foreground. False when there is none.
bool ActivateThreadWindow(DWORD thread_id);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_LOCK_H_
