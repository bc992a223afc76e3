#include "desktop/windows/installer/test/installer_process.h"

#include <windows.h>

#include "base/files/file_path.h"
#include "base/process/launch.h"

namespace installer {
namespace test {

std::wstring GetTestBinFolder() {
  // Not the path registry: tests override its keys.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return base::FilePath(path).DirName().value();
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

}  // namespace test
}  // namespace installer
