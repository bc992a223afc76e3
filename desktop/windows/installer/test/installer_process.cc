#include "desktop/windows/installer/test/installer_process.h"

#include <windows.h>

#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/win/executable_path.h"

namespace installer {
namespace test {

std::wstring GetTestBinFolder() {
  // Not the path registry: tests override its keys.
  base::FilePath program;
  if (!base::win::GetExecutablePath(&program))
    return std::wstring();
  return program.DirName().value();
}

ProcessResult RunInstallerExe(
    const std::wstring& arguments,
    const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  ProcessResult result;
  base::LaunchOptions options;
  options.environment = environment;
  DWORD exit_code = 0;
  const std::wstring command_line =
      L"\"" + GetTestBinFolder() + L"\\installer.exe\" " + arguments;
  result.started =
      base::GetAppOutputWithOptions(command_line, options, true, &result.output, &exit_code);
  result.exit_code = exit_code;
  return result;
}

std::string ReadInstallerLog(const std::wstring& temp_folder) {
  base::FileEnumerator logs(base::FilePath(temp_folder).Append(L"Tavro Installer"), false,
                            base::FileEnumerator::FILES, L"tavro_installer_*.log");
  std::string text;
  const base::FilePath log = logs.Next();
  if (log.empty() || !base::ReadFileToString(log, &text))
    return std::string();
  return text;
}

}  // namespace test
}  // namespace installer
