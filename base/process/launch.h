#ifndef BASE_PROCESS_LAUNCH_H_
#define BASE_PROCESS_LAUNCH_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace base {

class CommandLine;

struct LaunchOptions {
  // Wait for the child to end before LaunchProcess returns.
  bool wait = false;

  // The child's current folder; empty for this process's.
  FilePath current_directory;

  // Start the child's first window hidden.
  bool start_hidden = false;

  // The only handles the child inherits (besides the standard handles below); each must be
  // inheritable. Empty: the child inherits nothing.
  std::vector<HANDLE> handles_to_inherit;

  // The child's standard handles. When any is set, the unset ones are this process's own
  // standard handles; a handle that is not inheritable is passed as an inheritable copy.
  HANDLE stdin_handle = nullptr;
  HANDLE stdout_handle = nullptr;
  HANDLE stderr_handle = nullptr;

  // Changes to this process's environment for the child: each name is set to its value,
  // or removed when the value is empty. None: the child gets this process's environment.
  std::vector<std::pair<std::wstring, std::wstring>> environment;

  // Added to the process creation flags (e.g. CREATE_BREAKAWAY_FROM_JOB,
  // CREATE_NEW_CONSOLE, CREATE_NO_WINDOW).
  DWORD creation_flags = 0;

  // A job object to put the child in before it runs its first instruction, so that
  // everything it starts belongs to the job too. The child is not started when it cannot
  // be put there.
  HANDLE job_handle = nullptr;
};

// Starts a child process, holding the launch lock (base/process/launch_lock.h) meanwhile.
// The result is invalid, with an error logged, when the process cannot be started (when
// CreateProcess refused, GetLastError() tells why). With
// |options.wait| the child has ended when this returns.
Process LaunchProcess(const CommandLine& command_line, const LaunchOptions& options);
Process LaunchProcess(std::wstring_view command_line, const LaunchOptions& options);

// Runs the program with its standard output on a pipe, reads everything it writes there
// until it ends and returns that in |output|. True when the program could be started and
// waited for, whatever its exit code.
bool GetAppOutput(const CommandLine& command_line, std::string* output);
bool GetAppOutput(std::wstring_view command_line, std::string* output);

// GetAppOutput with |options| for the child (their standard output is replaced by the pipe,
// and so is standard error when |include_stderr|; |options.wait| does not matter), and the
// child's exit code through |exit_code| (may be null).
bool GetAppOutputWithOptions(std::wstring_view command_line,
                             const LaunchOptions& options,
                             bool include_stderr,
                             std::string* output,
                             DWORD* exit_code);

}  // namespace base

#endif  // BASE_PROCESS_LAUNCH_H_
