// The host executable: loads tavro_installer.dll from its own folder and runs it.
// Installer processes wait on each other and take exit code 0 as success.

#include <windows.h>

#include <string>

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

std::wstring GetOwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0)
      return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

void ReportError(const char* message) {
  const HANDLE error_output = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error_output && error_output != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(error_output, message, static_cast<DWORD>(strlen(message)), &written, nullptr);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  const std::wstring folder = GetOwnFolder();
  if (folder.empty()) {
    ReportError("installer: cannot find its own folder\n");
    return kExitFailure;
  }
  // A full path, so that only the library beside the executable is ever loaded.
  const std::wstring library_path = folder + L"tavro_installer.dll";
  const HMODULE library =
      ::LoadLibraryExW(library_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) {
    ReportError("installer: cannot load tavro_installer.dll\n");
    return kExitFailure;
  }
  using RunInstallerFunction = unsigned char (*)();
  const auto run_installer =
      reinterpret_cast<RunInstallerFunction>(::GetProcAddress(library, "RunInstaller"));
  if (!run_installer) {
    ReportError("installer: tavro_installer.dll has no RunInstaller\n");
    return kExitFailure;
  }
  return run_installer() == 1 ? kExitSuccess : kExitFailure;
}
