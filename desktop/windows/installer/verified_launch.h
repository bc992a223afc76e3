#ifndef DESKTOP_WINDOWS_INSTALLER_VERIFIED_LAUNCH_H_
#define DESKTOP_WINDOWS_INSTALLER_VERIFIED_LAUNCH_H_

#include "base/files/file_path.h"
#include "base/process/launch.h"
#include "base/process/process.h"

namespace base {
class CommandLine;
}

namespace installer {

// How LaunchVerifiedProgram judges the program's signature.
enum class SignerCheck {
  // It must carry the product's signature.
  kRequired,
  // The same, unless the running installer carries no signature at all: a build made for
  // development and tests, whose packages are unsigned too (the package fetcher decides so).
  kAsThisInstaller,
};

// Starts |command| as |options| say when its program is a file below |folder| (normalised
// paths) with the product's signature: the file is held open, so that nobody can change,
// replace or rename it, from the check until the process has started. An invalid process,
// with the reason logged, otherwise.
base::Process LaunchVerifiedProgram(const base::FilePath& folder,
                                    const base::CommandLine& command,
                                    const base::LaunchOptions& options,
                                    SignerCheck check);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_VERIFIED_LAUNCH_H_
