#include "desktop/windows/installer/test/installer_process.h"

#include <windows.h>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/win/executable_path.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

namespace {

// Appends what the pipe holds now to |output|, without blocking. False once the pipe is
// broken (every writer has closed it).
bool ReadAvailable(HANDLE pipe, std::string* output) {
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
      return false;
    if (available == 0)
      return true;
    char buffer[4096];
    DWORD read = 0;
    if (!::ReadFile(pipe, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &read,
                    nullptr)) {
      return false;
    }
    output->append(buffer, read);
  }
}

}  // namespace

std::wstring GetTestBinFolder() {
  // Not the path registry: tests override its keys.
  base::FilePath program;
  if (!base::win::GetExecutablePath(&program))
    return std::wstring();
  return program.DirName().value();
}

ProcessResult RunProcess(const std::wstring& command_line,
                         const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                         unsigned long deadline_ms) {
  ProcessResult result;
  HANDLE read_handle = nullptr;
  HANDLE write_handle = nullptr;
  if (!::CreatePipe(&read_handle, &write_handle, nullptr, 0))
    return result;
  base::win::ScopedHandle read_end(read_handle);
  base::win::ScopedHandle write_end(write_handle);
  base::LaunchOptions options;
  options.environment = environment;
  options.stdout_handle = write_end.Get();
  options.stderr_handle = write_end.Get();
  const base::Process process = base::LaunchProcess(command_line, options);
  write_end.Close();
  if (!process.IsValid())
    return result;
  result.started = true;

  // The pipe is polled rather than read to its end: a process the child started may hold
  // it open after the child has ended.
  const ULONGLONG deadline = ::GetTickCount64() + deadline_ms;
  DWORD exit_code = 0;
  for (;;) {
    const bool open = ReadAvailable(read_end.Get(), &result.output);
    if (process.WaitForExitWithTimeout(open ? 20 : 0, &exit_code))
      break;
    if (!open)
      ::Sleep(20);
    if (::GetTickCount64() >= deadline) {
      result.timed_out = true;
      process.Terminate(STATUS_TIMEOUT);
      process.WaitForExitWithTimeout(10000, &exit_code);
      break;
    }
  }
  ReadAvailable(read_end.Get(), &result.output);
  result.exit_code = exit_code;
  return result;
}

ProcessResult RunInstallerExe(
    const std::wstring& arguments,
    const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  return RunProcess(L"\"" + GetTestBinFolder() + L"\\installer.exe\" " + arguments, environment);
}

base::FilePath CopyInstallerTo(const base::FilePath& folder, const wchar_t* exe_name) {
  const base::FilePath bin(GetTestBinFolder());
  const base::FilePath exe = folder.Append(exe_name);
  if (!base::CreateDirectory(folder) ||
      !base::CopySingleFile(bin.Append(L"installer.exe"), exe) ||
      !base::CopySingleFile(bin.Append(L"tavro_installer.dll"),
                            folder.Append(L"tavro_installer.dll"))) {
    return base::FilePath();
  }
  return exe;
}

std::string ReadInstallerLog(const base::FilePath& temp) {
  base::FileEnumerator logs(temp.Append(L"Tavro Installer"), false, base::FileEnumerator::FILES,
                            L"tavro_installer_*.log");
  std::string text;
  const base::FilePath log = logs.Next();
  if (!log.empty())
    base::ReadFileToString(log, &text);
  return text;
}

}  // namespace test
}  // namespace installer
