// The host executable: runs the installer library, tavro_installer.dll. A library beside
// the executable (the unpacked package, an installed copy) runs when it is signed with the
// host's own certificate and the host is not elevated (beside_library.h); otherwise the host
// runs the copy it carries (embedded_library.h). Installer processes wait on each other and
// take exit code 0 as success.

#include <windows.h>

#include <string>

#include "desktop/windows/installer/host/beside_library.h"
#include "desktop/windows/installer/host/embedded_library.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Every library that the process loads by name, the system's own included (one system DLL
// loading another), comes from the system folder only: never from the folder of the
// executable, which is often a downloads folder where anybody's files lie.
void RestrictLibrarySearch() {
  // Windows 7 has it only with the update that brought the search flags: looked up.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto set_default_directories =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
          kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (set_default_directories) {
    set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    // Without it, at least the current folder leaves the search.
    ::SetDllDirectoryW(L"");
  }
}

// The executable's full path; empty on failure, with the last error set.
std::wstring GetOwnPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0)
      return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
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

  RestrictLibrarySearch();
  const std::wstring own_path = GetOwnPath();
  const size_t separator = own_path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) {
    ReportError(DescribeError("cannot find its own folder", ::GetLastError()));
    return kExitFailure;
  }

  // Both live until the process ends: they keep the library loaded from being changed.
  installer_host::BesideLibrary beside;
  installer_host::EmbeddedLibrary embedded;
  std::wstring library_path = own_path.substr(0, separator + 1) + installer_host::kLibraryFileName;
  const DWORD attributes = ::GetFileAttributesW(library_path.c_str());
  const bool library_beside = attributes != INVALID_FILE_ATTRIBUTES;
  // An elevated host runs only what it carries: a user may have put the library beside it.
  // Otherwise a library beside it that is not the host signer's own is passed over too: the
  // host's own copy does the same work (so why is not reported).
  std::string passed_over;
  if (!library_beside || installer_host::IsProcessElevated() ||
      !beside.Open(own_path, library_path, &passed_over)) {
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
