#include "desktop/windows/installer/test/installer_process.h"

#include <windows.h>

namespace installer {
namespace test {

namespace {

// Closes a handle when it goes out of scope.
class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  HANDLE get() const { return handle_; }
  void reset() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::wstring GetTestBinFolder() {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

ProcessResult RunInstallerExe(const std::wstring& arguments) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &inheritable, 0))
    return result;
  HandleCloser reader(read_end);
  HandleCloser writer(write_end);
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  const std::wstring exe = GetTestBinFolder() + L"\\installer.exe";
  std::wstring command_line = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(exe.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return result;
  }
  HandleCloser process_handle(process.hProcess);
  HandleCloser thread_handle(process.hThread);
  writer.reset();
  result.started = true;

  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    result.output.append(buffer, read);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::GetExitCodeProcess(process.hProcess, &result.exit_code);
  return result;
}

}  // namespace test
}  // namespace installer
