#ifndef DESKTOP_WINDOWS_INSTALLER_OWNED_PATH_H_
#define DESKTOP_WINDOWS_INSTALLER_OWNED_PATH_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {

// Proofs that a path read back from a switch, a file or the registry names what an
// installation owns, before anything is deleted, started or granted there. Every proof
// works on normalised paths and compares them without regard to case: path text as read
// proves nothing ("..", ".", a trailing dot or blank, an 8.3 name, another letter case all
// name the same folder differently).
//
//   NormalizePath("C:\Apps\Tavro\..\TAVRO~1\.")  ->  "C:\Apps\Tavro" (when it exists)
//   IsPathInside("C:\apps\tavro\7.4\x.dll", "C:\Apps\Tavro")  ->  true
//   IsPathInside("C:\Apps\Tavro\..\victim", "C:\Apps\Tavro")  ->  false
//   GetKeptFolderReason("C:\Users\me\AppData")  ->  "it holds the known folder ..."

// The full form of |path| as the system resolves it ("." and ".." removed, separators
// unified, trailing dots and blanks of components dropped), with the long name of every
// component that exists, without a trailing separator (except a drive root). False for a
// relative or empty path, or one the system cannot resolve.
bool NormalizePath(const base::FilePath& path, base::FilePath* normalized);

// Whether the normalised forms of |a| and |b| are the same path.
bool IsSamePath(const base::FilePath& a, const base::FilePath& b);

// Whether |path| lies strictly below |folder| (both normalised). False when either cannot
// be normalised.
bool IsPathInside(const base::FilePath& path, const base::FilePath& folder);

// Why |folder| must not be deleted with everything below it, or be handed to a user: it is
// a drive root (or a share), a folder the system or the user keeps (the user's profile,
// its Roaming, Local and LocalLow application data, Documents, Desktop, Downloads, the
// start menus, the temporary folder, the profiles folder, Program Files, ProgramData,
// Windows and the system folders, the company's own folders of the browser profiles) or a
// folder that holds one of them. Empty when there is no such reason; a folder that cannot
// be normalised has one.
std::string GetKeptFolderReason(const base::FilePath& folder);

// Why the user profile |profile| of the installation in |install_folder| must not be
// deleted: GetKeptFolderReason, or it is the install folder or a folder that holds it.
// Empty when it may be.
std::string GetProfileDeletionRefusal(const base::FilePath& profile,
                                      const base::FilePath& install_folder);

// GetProfileDeletionRefusal for an elevated process, which takes the profile's place from
// a file that a user may have written: it may delete a profile only inside the install
// folder or in the product's own folders of the user's roaming and local application data
// (the places an installation keeps its profile in when it names none).
std::string GetElevatedProfileDeletionRefusal(const base::FilePath& profile,
                                              const base::FilePath& install_folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_OWNED_PATH_H_
