#ifndef DESKTOP_WINDOWS_INSTALLER_VERIFIED_PACKAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_VERIFIED_PACKAGE_H_

#include <windows.h>

#include <string>

#include "base/files/file_path.h"

namespace installer {

// The installer file whose full-package payload was unpacked into |package_folder|, the
// folder of a package's installer: the downloaded installer that the front end names after
// the folder ("<folder>.exe" beside it), or else the front end's own program (|front_end|,
// a process handle with query access; may be null), which carries the package itself.
// Empty, logged, when neither can be found. Nothing about the file is trusted here: it is
// only where to look.
base::FilePath FindUnpackedPackage(const base::FilePath& package_folder, HANDLE front_end);

// Unpacks the 7z archive that the installer file |package| carries as its full-package
// payload into |destination| (an existing folder that only administrators can change).
// The file is opened once, denying writes and deletion, and held until the last entry is
// written; with |check_signer| its signature must be the product's expected signer's,
// checked on the held handle before anything is read from it. The archive is written out
// into a protected folder of its own for the unpacking and removed with it. False when the
// file cannot be opened, is not signed as expected, carries no package or does not unpack
// whole; |*error| then says which, and |destination| may hold part of the package.
bool UnpackVerifiedPackage(const base::FilePath& package,
                           bool check_signer,
                           const base::FilePath& destination,
                           std::string* error);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_VERIFIED_PACKAGE_H_
