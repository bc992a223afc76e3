#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_

#include <string>
#include <utility>
#include <vector>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// The folder of the running test executable (the build's bin folder, which also holds
// installer.exe and the library).
std::wstring GetTestBinFolder();

struct ProcessResult {
  bool started = false;
  // The process did not end before the deadline and was terminated.
  bool timed_out = false;
  unsigned long exit_code = 0;
  std::string output;  // Standard output and standard error together.
};

// How long a test lets an installer process run before it terminates it.
constexpr unsigned long kInstallerProcessDeadlineMs = 60000;

// Runs |command_line| and waits for it, at most |deadline_ms|; the environment changes are
// applied to the child only.
ProcessResult RunProcess(
    const std::wstring& command_line,
    const std::vector<std::pair<std::wstring, std::wstring>>& environment = {},
    unsigned long deadline_ms = kInstallerProcessDeadlineMs);

// Runs build/bin/installer.exe with |arguments| (already quoted) and waits for it.
ProcessResult RunInstallerExe(
    const std::wstring& arguments,
    const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});

// Copies the host and the library of the build into |folder| (made when missing), the host
// under |exe_name|. Returns the path of the host's copy, empty on failure.
base::FilePath CopyInstallerTo(const base::FilePath& folder, const wchar_t* exe_name);

// The text of the installer log that a run with TMP and TEMP set to |temp| wrote into its
// working folder there; empty when there is none.
std::string ReadInstallerLog(const base::FilePath& temp);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_
