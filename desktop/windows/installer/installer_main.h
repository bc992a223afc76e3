#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_

#include "base/files/file_path.h"

namespace base {
class CommandLine;
}

// The only entry of the library that runs installer logic: the host executable calls it
// once and turns the byte into the process outcome (1 success, 0 failure).
extern "C" unsigned char RunInstaller();

namespace installer {

// printf-style output to the process's standard output, flushed at once.
void PrintOut(const char* format, ...);

// The log file of this run: "<product>_installer_YYYYMMDDhhmmss.log" (local time) in the
// installer's folder under the temporary folder, or the bare name when that folder cannot
// be made.
base::FilePath GetLogFilePath();

// The install folder an autoupdate of the older generation passes as the last argument:
// the last element of the argument vector when it is an absolute path, else empty.
base::FilePath RecoverInstallFolderFromArgs(const base::CommandLine& command_line);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_
