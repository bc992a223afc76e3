#ifndef DESKTOP_WINDOWS_INSTALLER_VERIFIED_LAUNCH_H_
#define DESKTOP_WINDOWS_INSTALLER_VERIFIED_LAUNCH_H_

#include <memory>
#include <vector>

#include "base/files/file_path.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/win/scoped_handle.h"

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

// The library an installer program loads from its own folder, when it lies beside it.
extern const wchar_t kInstallerLibraryName[];

class SignatureCheck;

// An installer program and, when there is one, the library beside it that it loads
// (kInstallerLibraryName), checked as |check| says and held open, shared for reading only:
// nobody can change, replace or rename them while this object lives. Keep it from the check
// until the process started from the program has ended, so that the library it loads late is
// the one checked too.
//
// Example: a program that runs elevated is started only as it was checked.
//   HeldInstallerFiles held(program, SignerCheck::kAsThisInstaller);
//   if (!held.IsValid())
//     return false;
//   base::Process process = base::LaunchProcess(command, options);  // then wait for it
class HeldInstallerFiles {
 public:
  HeldInstallerFiles(const base::FilePath& program, SignerCheck check);
  HeldInstallerFiles(const HeldInstallerFiles&) = delete;
  HeldInstallerFiles& operator=(const HeldInstallerFiles&) = delete;
  ~HeldInstallerFiles();

  // Whether the files are held and passed the check; the reason is logged otherwise.
  bool IsValid() const { return valid_; }

 private:
  bool Hold(const base::FilePath& file, bool check_signer);

  // Checks hold their files themselves; the handles hold the files not checked.
  std::vector<std::unique_ptr<SignatureCheck>> checks_;
  std::vector<base::win::ScopedHandle> handles_;
  bool valid_ = false;
};

// Whether the running installer carries no certificate table: a build not meant to be
// trusted, whose packages carry none either.
bool IsThisInstallerUnsigned();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_VERIFIED_LAUNCH_H_
