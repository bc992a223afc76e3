#include "desktop/windows/installer/installer_paths.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/native_library.h"
#include "base/path_registry.h"
#include "base/process/launch.h"
#include "base/win/scoped_co_mem.h"
#include "base/win/scoped_handle.h"

namespace installer {

namespace {

// The user's Downloads folder. The function is looked up at run time: systems before
// Vista do not have it.
bool GetDownloadsFolder(base::FilePath* folder) {
  using GetKnownFolderPathFunction = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
  base::NativeLibrary shell32(base::FilePath(L"shell32.dll"));
  const auto get_known_folder_path = reinterpret_cast<GetKnownFolderPathFunction>(
      shell32.GetFunctionPointer("SHGetKnownFolderPath"));
  if (!get_known_folder_path)
    return false;
  for (DWORD flags : {0ul, static_cast<DWORD>(KF_FLAG_CREATE | KF_FLAG_INIT)}) {
    base::win::ScopedCoMem<wchar_t> path;
    if (SUCCEEDED(get_known_folder_path(FOLDERID_Downloads, flags, nullptr, path.Receive())) &&
        path.Get()) {
      *folder = base::FilePath(path.Get());
      return true;
    }
  }
  return false;
}

}  // namespace

bool PrepareInstallerFolder(const std::wstring& name,
                            const base::FilePath& probe_executable,
                            base::FilePath* folder) {
  *folder = folder->Append(name);
  if (!base::DirectoryExists(*folder) && !base::CreateDirectory(*folder)) {
    PLOG(WARNING) << "Cannot create installer folder " << *folder;
    return false;
  }
  if (probe_executable.empty())
    return true;
  if (CanRunExecutableIn(*folder, probe_executable))
    return true;
  // Removes the folder only when nothing else is in it.
  ::RemoveDirectoryW(folder->value().c_str());
  return false;
}

bool CanRunExecutableIn(const base::FilePath& folder, const base::FilePath& executable) {
  const base::FilePath copy = folder.Append(executable.BaseName());
  if (!base::CopySingleFile(executable, copy)) {
    PLOG(WARNING) << "Cannot copy " << executable << " to " << folder;
    return false;
  }
  base::CommandLine command_line(copy);
  command_line.AppendSwitch("version");
  // The copy's output means nothing here: it goes nowhere.
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const base::win::ScopedHandle null_output(::CreateFileW(
      L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
      0, nullptr));
  base::LaunchOptions options;
  options.wait = true;
  options.start_hidden = true;
  if (null_output.IsValid()) {
    options.stdout_handle = null_output.Get();
    options.stderr_handle = null_output.Get();
  }
  const bool started = base::LaunchProcess(command_line, options).IsValid();
  LOG_IF(WARNING, !started) << "Cannot run executables in " << folder;
  base::DeletePath(copy, false);
  return started;
}

bool GetInstallerFolderAt(const std::wstring& name,
                          const base::FilePath& probe_executable,
                          base::FilePath* folder,
                          int path_key) {
  if (!base::PathRegistry::Get(path_key, folder))
    return false;
  return PrepareInstallerFolder(name, probe_executable, folder);
}

bool GetTempInstallerFolder(const std::wstring& name,
                            const base::FilePath& probe_executable,
                            base::FilePath* folder) {
  if (GetInstallerFolderAt(name, probe_executable, folder, base::DIR_TEMP))
    return true;
  if (GetDownloadsFolder(folder) && PrepareInstallerFolder(name, probe_executable, folder))
    return true;
  if (GetInstallerFolderAt(name, probe_executable, folder, base::DIR_HOME))
    return true;
  return GetInstallerFolderAt(name, probe_executable, folder, base::DIR_EXE);
}

}  // namespace installer
