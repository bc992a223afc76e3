#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_

#include <string>
#include <utility>
#include <vector>

namespace installer {
namespace test {

// The folder of the running test executable (the build's bin folder, which also holds
// installer.exe and the library).
std::wstring GetTestBinFolder();

struct ProcessResult {
  bool started = false;
  unsigned long exit_code = 0;
  std::string output;  // Standard output and standard error together.
};

// Runs build/bin/installer.exe with |arguments| (already quoted) and waits for it; the
// environment changes are applied to the child only.
ProcessResult RunInstallerExe(
    const std::wstring& arguments,
    const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});

// The text of the first installer log file ("tavro_installer_*.log") in the installer
// folder below |temp_folder|, the TMP and TEMP of the run; empty when there is none.
std::string ReadInstallerLog(const std::wstring& temp_folder);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_
