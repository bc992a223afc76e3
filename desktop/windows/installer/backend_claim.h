#ifndef DESKTOP_WINDOWS_INSTALLER_BACKEND_CLAIM_H_
#define DESKTOP_WINDOWS_INSTALLER_BACKEND_CLAIM_H_

#include <string>

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

// The claim is a named object, made with the installer's access list; one that another
// user made, or that others may change, is never taken for a claim (see
// service/secure_named_object.h).

// Opens the folder's claim, making it when there is none. |inheritable|: the handle can
// be handed to a child process. Invalid, logged, on failure and when the claim found is
// refused.
base::win::ScopedHandle CreateBackendClaim(const base::FilePath& install_folder,
                                           bool inheritable);

enum class BackendClaimState {
  kFree,
  // A process of an installer holds it. A claim that exists but cannot be opened counts as
  // held.
  kHeld,
  // An object of the claim's name exists that is not an installer's: the folder cannot be
  // claimed (the error names the object).
  kRefused,
};

// Whether a process holds the folder's claim.
BackendClaimState GetBackendClaimState(const base::FilePath& install_folder);

// GetBackendClaimState is not kFree.
bool IsBackendClaimHeld(const base::FilePath& install_folder);

// The name of the folder's claim, for messages.
std::wstring GetBackendClaimName(const base::FilePath& install_folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_BACKEND_CLAIM_H_
