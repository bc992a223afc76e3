#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_PATHS_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_PATHS_H_

#include <string>
#include <string_view>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

// The base name of the copy that CanRunExecutableIn runs.
extern const wchar_t kProbeCopyBaseName[];  // "installer_probe"

// "<base_name>_<YYYYMMDDhhmmss>_<process id>-<creation time>.exe" for the local time now
// (DownloadFolderClaim::MakeRunOwnerText): a name of this run's own in a folder that every
// installer of the session uses (the id keeps apart two that start in the same second, the
// creation time tells a run's leftovers from a later process that got the same id).
std::wstring MakeRunExecutableName(std::wstring_view base_name);

// The installer's working folder ("<product> Installer") under a candidate location, where
// it keeps its log and its download.

// Appends |name| to |*folder| and creates that folder (with missing parents) when it is not
// one yet. With a non-empty |probe_executable| the folder must also be able to run it
// (CanRunExecutableIn); otherwise the folder is removed again (only when empty) and the
// result is false. |*folder| changes only on success, here and in the functions below.
bool PrepareInstallerFolder(const std::wstring& name,
                            const base::FilePath& probe_executable,
                            base::FilePath* folder);

// Copies |executable| into |folder| under a name of this run's own (MakeRunExecutableName
// of kProbeCopyBaseName: installers that start together share the folder), runs the copy
// with "--version" and waits for it; true when a process could be started. The copy is
// deleted afterwards; one that cannot be is left to the download folder's clean-up.
bool CanRunExecutableIn(const base::FilePath& folder, const base::FilePath& executable);

// |copy| opened for reading and held, sharing reading only (nobody can change, replace or
// rename it while the handle lives), when it is no link and holds the same bytes as
// |original|. Invalid, logged, otherwise.
base::win::ScopedHandle HoldIfCopyOf(const base::FilePath& copy, const base::FilePath& original);

// PrepareInstallerFolder under the path registry's folder for |path_key|.
bool GetInstallerFolderAt(const std::wstring& name,
                          const base::FilePath& probe_executable,
                          base::FilePath* folder,
                          int path_key);

// The first candidate that works, in order: the temporary folder, the user's Downloads
// folder, the user's home folder, the folder of the running executable.
bool GetTempInstallerFolder(const std::wstring& name,
                            const base::FilePath& probe_executable,
                            base::FilePath* folder);

// The folder of a run's logs and of what it keeps beside them (a damaged status file): for a
// process of |command_line| that the installer started elevated (IsElevatedRun) a folder
// only administrators can change (GetElevatedLogFolder), never one the user's environment
// names; otherwise the installer's working folder in the temporary folder. A process
// whose token is elevated uses that folder only when neither it nor a folder above it is a
// link (base::HoldFolderWithoutLinks), else GetElevatedLogFolder too. False when there is
// none.
bool GetLogFolder(const base::CommandLine& command_line, base::FilePath* folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_PATHS_H_
