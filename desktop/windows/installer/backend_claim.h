#ifndef DESKTOP_WINDOWS_INSTALLER_BACKEND_CLAIM_H_
#define DESKTOP_WINDOWS_INSTALLER_BACKEND_CLAIM_H_

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

// That an installer backend works on an install folder: a named event of the folder
// ("TavroInstaller/Backend") that exists for as long as any process holds a handle to it.
// Unlike the installer mutex, which belongs to the thread of the front end that took it,
// the claim stays while the backend runs on after its front end has gone, and ends with
// the last process that holds it, however that process ends.
//
// The front end makes the claim before it starts the backend and hands its handle down
// (inherited), so that the folder is claimed from the backend's first instant; every
// backend also opens it for itself, the ones that other backends start included.

// Opens the folder's claim, making it when there is none. |inheritable|: the handle can
// be handed to a child process. Invalid, logged, on failure.
base::win::ScopedHandle CreateBackendClaim(const base::FilePath& install_folder,
                                           bool inheritable);

// Whether a process holds the folder's claim. A claim that exists but cannot be opened
// counts as held.
bool IsBackendClaimHeld(const base::FilePath& install_folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_BACKEND_CLAIM_H_
