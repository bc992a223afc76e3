#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_INSTALL_PROGRAM_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_INSTALL_PROGRAM_OPERATION_H_

#include <windows.h>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/time/time.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Runs a program that installs something into |folder| (a component's installer), and
// waits for it to end, |limit| at most: one that runs longer is ended, with the processes it
// started, and counts as failed.
// When |folder| did not exist before, the undo runs |undo| (the program that removes it
// again, a signed program of the product in |folder|), waiting as long at most, and then
// removes |folder| with everything in it; an installation that was there before stays as
// the program left it. The commit does nothing.
//
// Do succeeds when the program ran and ended in time, whatever its exit code: what the
// code means is the caller's. The caller checks the program before it is run.
class InstallProgramOperation : public Operation {
 public:
  InstallProgramOperation(const base::CommandLine& install,
                          const base::CommandLine& undo,
                          const base::FilePath& folder,
                          base::TimeDelta limit);
  ~InstallProgramOperation() override;

  bool Do() override;
  void Rollback() override;

  // The program's exit code, once Do succeeded.
  DWORD exit_code() const { return exit_code_; }

 private:
  const base::CommandLine install_;
  const base::CommandLine undo_;
  const base::FilePath folder_;
  const base::TimeDelta limit_;
  // Whether the program was started, and whether the folder was made by it.
  bool started_ = false;
  bool folder_is_new_ = false;
  DWORD exit_code_ = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_INSTALL_PROGRAM_OPERATION_H_
