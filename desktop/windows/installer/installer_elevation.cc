// How the Installer hands work to another installer process: the elevated restart, the
// folder-permission helper, the package's own installer once the package is ready, and
// what the user's process does after an elevated installation. None of these hand-overs
// is part of this build yet: each reports that it could not be done, and the run fails with
// the error its caller gives that result.

#include "base/logging.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

int Installer::RunElevated() {
  LOG(ERROR) << "Running the installer elevated is not available in this build";
  return 1;
}

int Installer::ObtainFolderPermission(const base::FilePath& /*folder*/, bool /*permanent*/) {
  LOG(ERROR) << "The folder-permission helper is not available in this build";
  return 1;
}

void Installer::WaitForPackage(bool /*post_elevated*/) {
  LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                            "Waiting for the package is not available in this build");
}

void Installer::RunPostElevationTasks() {
  LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                            "Post elevation installation tasks are not available in this build");
}

}  // namespace installer
