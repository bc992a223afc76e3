#ifndef DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_
#define DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_

#include <windows.h>

#include <string>

#include "base/time/time.h"

namespace base {
class CommandLine;
class FilePath;
}  // namespace base

namespace installer {

// How long the helper keeps a temporary grant after the installer has asked to undo it.
constexpr base::TimeDelta kUndoGrantDelay = base::TimeDelta::FromMilliseconds(10000);

// The elevated helper role ("set-folder-permission"): grants the user named by
// "permissions-for-user" full access to the folder for the duration of an installation, or
// for good with "permanent-permissions". It runs elevated on a command line that anybody
// may have written, so it grants only what an installer run can need: the requesting
// installer ("parent-pid") must run as that user, and the folder must be one that an
// installation can own (GetGrantRefusal). A temporary grant ends when the installer asks
// for it or ends. The installer's events it opens are used only when the user of the
// requesting installer, SYSTEM or Administrators made them and nobody else may signal them.
// With "run-uninstall-bat" it then runs, as a batch of its own, the
// clean-up of what the uninstallation could not delete below the folder. With
// "wait-for-package" it first waits for the package and then hands over to the package's
// installer, once that carries the product's signature. It reports nothing: each failed
// step ends it; the installer waiting for its events decides what that means.
void RunFolderPermissionHelper(const base::CommandLine& command_line,
                               base::TimeDelta undo_delay = kUndoGrantDelay);

// Why the helper must not grant a user full access to |folder|: it is a folder the system
// or the user keeps (GetKeptFolderReason), it lies in the Windows folder, it is a new folder
// anywhere but directly in a program-files folder or the user's programs folder, or an
// existing folder that holds no installation of this browser (its launcher beside a status
// file that names a version folder holding the browser, or, when that file is damaged,
// beside nothing that loads but named as the install location by an uninstall entry of
// this product in the machine's registry; the user's own entries prove nothing). Empty when
// it may. Loading the status file needs COM on the calling thread.
std::string GetGrantRefusal(const base::FilePath& folder);

// The package folder that "wait-for-package" names. False, with an error logged, when the
// value is empty or not an absolute path: the installer there would be looked for in the
// current folder or along the search path.
bool GetWaitForPackageFolder(const base::CommandLine& command_line, base::FilePath* folder);

// The grant of the helper once the installer's two events are open: grants |user| full
// access to |folder| and everything in it, then signals |give_permission|. The folder is
// held open meanwhile, so that its path keeps naming it, and must be a folder of its own
// (no link to another one). Unless
// |permanent|, waits until |undo| is signalled (and |undo_delay| more) or the process
// |requester| (may be null) has ended, and then puts the folder's old list back and gives
// the folder and what |user| came to own below it (owner and own access entries) back to
// Administrators (GiveBackToAdministrators); a temporary grant that could not be announced
// is taken back at once. A permanent grant stays in every case. Returns whether the grant was
// made; what could not be taken back is logged as an error.
bool GrantFolderPermission(const base::FilePath& folder,
                           const std::wstring& user,
                           bool permanent,
                           HANDLE give_permission,
                           HANDLE undo,
                           HANDLE requester,
                           base::TimeDelta undo_delay);

// Gives back to Administrators what a grant on |folder| (held open by |pinned|, with
// WRITE_OWNER access) let |user| own: the folder, and each entry below it that |user| owns
// or whose access list shuts Administrators out, which also loses its own access entries
// (keeping what it inherits). What the user owns keeps its list in the user's hands
// otherwise, whatever the folder's list says. Links are not followed, and an entry whose
// final path has left |folder| is not touched. Call it with the privileges to take
// ownership and to restore enabled (ScopedTokenPrivileges), or what shuts Administrators out
// stays out. False when an entry could not be opened or given back: each is logged with
// its path.
bool GiveBackToAdministrators(HANDLE pinned, const base::FilePath& folder, PSID user);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_FOLDER_PERMISSION_HELPER_H_
