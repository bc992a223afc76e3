#ifndef DESKTOP_WINDOWS_INSTALLER_UNINSTALL_REMNANT_H_
#define DESKTOP_WINDOWS_INSTALLER_UNINSTALL_REMNANT_H_

#include "base/files/file_path.h"

namespace installer {

// An uninstallation that passed its point of no return has removed everything of the
// installation but what its own process held; its clean-up batch deletes that once the
// process has ended. A process ended before it started the batch leaves the installer it
// ran from, with its library, in the installation's version folder: the user runs the same
// uninstallation again, and that run finishes the work.

// Whether |installer|, the running program, is what such an uninstallation left: it runs
// from a folder directly in an install folder, named after its own version, that holds no
// browser any more; the install folder has neither status file nor launcher, but the
// installer preferences that every installation leaves behind.
bool IsUninstallRemnant(const base::FilePath& installer);

// Finishes such an uninstallation: deletes the user profile as the installer preferences
// record it when |delete_profile|, then starts a clean-up batch that deletes |installer|,
// the library beside it and their folder once this process has ended. False, logged,
// when the batch could not be started.
bool FinishUninstallRemnant(const base::FilePath& installer, bool delete_profile);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UNINSTALL_REMNANT_H_
