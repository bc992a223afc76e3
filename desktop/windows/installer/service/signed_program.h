#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNED_PROGRAM_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNED_PROGRAM_H_

#include <windows.h>

#include "base/command_line.h"
#include "base/time/time.h"

namespace installer {

// Runs the program of |command_line| when it carries a valid signature of the product
// configuration's expected signer, and waits for it to end, |limit| at most; the file stays
// open (shared for reading only) from the check to the start, so the program started is the
// one checked. A program still running at the limit is ended. True with its exit code when
// it ran and ended in time; false, logged, otherwise.
bool RunSignedProgram(const base::CommandLine& command_line, base::TimeDelta limit,
                      DWORD* exit_code);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNED_PROGRAM_H_
