#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_ELEVATED_RUN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_ELEVATED_RUN_H_

#include <string>

#include "base/files/file_path.h"
#include "base/logging.h"

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

// The processes that the installer starts elevated, and where they write their logs and
// crash files. The user's temporary folder, and any folder the user's environment names, is
// the user's to change: a link put there would have an elevated process write wherever it
// leads. Such a process writes into a folder only administrators can change instead (and
// starts nothing that should run as the user: it would run elevated too).
//
//   base::FilePath folder;
//   if (IsElevatedRun(command_line) && GetElevatedLogFolder(&folder)) ...

// Whether |command_line| is that of a process the installer starts elevated: the restarted
// installer ("run-elevated") and the folder-permission helper ("set-folder-permission"),
// and the crash reporters they start, which run with their switches.
bool IsElevatedRun(const base::CommandLine& command_line);

// |parent|\|name| when it can be made now with an access list only administrators can
// change, or is such a folder already (a folder of its own, no link, whose list and owner
// leave it to them); otherwise a new folder made so below |parent|, named |name| followed by
// a blank and digits. False, logged, when neither can be had.
bool OpenElevatedLogFolder(const base::FilePath& parent,
                           const std::wstring& name,
                           base::FilePath* folder);

// OpenElevatedLogFolder in the system's temporary folder (never the environment's), named
// after the product's installer; chosen once per process, so that all its files go together.
bool GetElevatedLogFolder(base::FilePath* folder);

// Whether a process of |command_line| is elevated without the installer having started it
// so (a run the user elevated by hand): it still has the user's temporary folder and
// environment, and writes there only through no link (base/files/file_without_links.h).
bool IsElevatedByHand(const base::CommandLine& command_line);

// Opens the log file of |settings| as logging::InitLogging does. For a process whose token
// is elevated but that the installer did not start elevated (a run the user elevated by
// hand, whose folders are still the user's), the file is opened only through no link
// (refuse_links), and a link found sends it to a file of the same name in
// GetElevatedLogFolder. False when no file could be opened; for such a process that is
// also said on standard error and to the debugger, where its lines go then.
bool InitLoggingWithoutLinks(const base::CommandLine& command_line,
                             logging::LoggingSettings settings);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_ELEVATED_RUN_H_
