// The host executable: runs the installer library, tavro_installer.dll. A library beside
// the executable wins (the unpacked package and an installed copy run their own); a lone
// installer.exe runs the copy it carries (embedded_library.h). Installer processes wait on
// each other and take exit code 0 as success.

#include <windows.h>

#include <string>

#include "desktop/windows/installer/host/embedded_library.h"

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

// The user's temporary folder as an absolute path: a relative TMP must never turn the
// library's full path into one that the loader searches for.
std::wstring GetTempFolder() {
  std::wstring temp(MAX_PATH + 1, L'\0');
  DWORD length = ::GetTempPathW(static_cast<DWORD>(temp.size()), &temp[0]);
  if (length > temp.size()) {
    temp.resize(length);
    length = ::GetTempPathW(static_cast<DWORD>(temp.size()), &temp[0]);
  }
  if (length == 0 || length > temp.size())
    return std::wstring();
  temp.resize(length);
  std::wstring full(MAX_PATH + 1, L'\0');
  length = ::GetFullPathNameW(temp.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  if (length > full.size()) {
    full.resize(length);
    length = ::GetFullPathNameW(temp.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  }
  if (length == 0 || length > full.size())
    return std::wstring();
  full.resize(length);
  return full;
}

void ReportError(const std::string& message) {
  const std::string line = "installer: " + message + "\n";
  const HANDLE error_output = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error_output && error_output != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(error_output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
}

// Its imports are system DLLs only: they come from the system folder, never from the
// folder of the library or of the executable (a downloads folder, often).
HMODULE LoadLibraryByFullPath(const std::wstring& path) {
  HMODULE library = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Windows 7 without the update that brought the search flags refuses them.
  if (!library && ::GetLastError() == ERROR_INVALID_PARAMETER)
    library = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return library;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int) {
  using installer_host::DescribeError;
  using installer_host::ToUtf8;

  const std::wstring folder = GetOwnFolder();
  if (folder.empty()) {
    ReportError(DescribeError("cannot find its own folder", ::GetLastError()));
    return kExitFailure;
  }

  // Lives until the process ends: it keeps the extracted library from being changed.
  installer_host::EmbeddedLibrary embedded;
  std::wstring library_path = folder + installer_host::kLibraryFileName;
  const DWORD attributes = ::GetFileAttributesW(library_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const DWORD error = ::GetLastError();
    if (attributes == INVALID_FILE_ATTRIBUTES && error != ERROR_FILE_NOT_FOUND &&
        error != ERROR_PATH_NOT_FOUND) {
      ReportError(DescribeError("cannot examine " + ToUtf8(library_path), error));
      return kExitFailure;
    }
    const std::wstring temp = GetTempFolder();
    if (temp.empty()) {
      ReportError(DescribeError("cannot find the temporary folder", ::GetLastError()));
      return kExitFailure;
    }
    std::string message;
    if (!embedded.Prepare(instance, temp, &message)) {
      ReportError(message);
      return kExitFailure;
    }
    library_path = embedded.path();
  }

  const HMODULE library = LoadLibraryByFullPath(library_path);
  if (!library) {
    ReportError(DescribeError("cannot load " + ToUtf8(library_path), ::GetLastError()));
    return kExitFailure;
  }
  using RunInstallerFunction = unsigned char (*)();
  const auto run_installer =
      reinterpret_cast<RunInstallerFunction>(::GetProcAddress(library, "RunInstaller"));
  if (!run_installer) {
    ReportError(ToUtf8(library_path) + " has no RunInstaller");
    return kExitFailure;
  }
  return run_installer() == 1 ? kExitSuccess : kExitFailure;
}
