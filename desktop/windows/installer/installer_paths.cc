#include "desktop/windows/installer/installer_paths.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <string.h>

#include <memory>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/file_without_links.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/process/launch.h"
#include "base/strings/stringprintf.h"
#include "base/time/time.h"
#include "base/win/known_folder.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/download_folder_claim.h"
#include "desktop/windows/installer/installer_help.h"
#include "desktop/windows/installer/service/elevated_run.h"
#include "desktop/windows/installer/service/user_rights.h"

namespace installer {

const wchar_t kProbeCopyBaseName[] = L"installer_probe";

namespace {

// The user's Downloads folder, made when the profile does not have it yet.
bool GetDownloadsFolder(base::FilePath* folder) {
  return SUCCEEDED(base::win::GetKnownFolderPath(FOLDERID_Downloads, 0, folder)) ||
         SUCCEEDED(base::win::GetKnownFolderPath(FOLDERID_Downloads,
                                                 KF_FLAG_CREATE | KF_FLAG_INIT, folder));
}

}  // namespace

std::wstring MakeRunExecutableName(std::wstring_view base_name) {
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  return std::wstring(base_name) +
         base::WideStringPrintf(L"_%04d%02d%02d%02d%02d%02d_", now.year, now.month,
                                now.day_of_month, now.hour, now.minute, now.second) +
         DownloadFolderClaim::MakeRunOwnerText() + L".exe";
}

bool PrepareInstallerFolder(const std::wstring& name,
                            const base::FilePath& probe_executable,
                            base::FilePath* folder) {
  const base::FilePath candidate = folder->Append(name);
  // The candidate lies in a folder its user may change, and an installer run as
  // administrator makes it too: it is made, or found, only where no link leads elsewhere.
  if ((!base::DirectoryExists(*folder) && !base::CreateDirectory(*folder)) ||
      !base::MakeFolderWithoutLinks(candidate).IsValid()) {
    PLOG(WARNING) << "Cannot create installer folder " << candidate;
    return false;
  }
  if (!probe_executable.empty() && !CanRunExecutableIn(candidate, probe_executable)) {
    // Removes the folder only when nothing else is in it.
    ::RemoveDirectoryW(candidate.value().c_str());
    return false;
  }
  *folder = candidate;
  return true;
}

base::win::ScopedHandle HoldIfCopyOf(const base::FilePath& copy,
                                     const base::FilePath& original) {
  base::win::ScopedHandle held(::CreateFileW(
      copy.value().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  const base::win::ScopedHandle source(::CreateFileW(original.value().c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  LARGE_INTEGER copy_size = {}, source_size = {};
  if (!held.IsValid() || !source.IsValid() ||
      !::GetFileInformationByHandle(held.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !::GetFileSizeEx(held.Get(), &copy_size) || !::GetFileSizeEx(source.Get(), &source_size) ||
      copy_size.QuadPart != source_size.QuadPart) {
    LOG(WARNING) << copy << " is not a copy of " << original << " that can be held";
    return base::win::ScopedHandle();
  }
  static constexpr DWORD kChunk = 64 * 1024;
  const std::unique_ptr<char[]> copy_bytes(new char[kChunk]);
  const std::unique_ptr<char[]> source_bytes(new char[kChunk]);
  for (;;) {
    DWORD copy_read = 0, source_read = 0;
    if (!::ReadFile(held.Get(), copy_bytes.get(), kChunk, &copy_read, nullptr) ||
        !::ReadFile(source.Get(), source_bytes.get(), kChunk, &source_read, nullptr) ||
        copy_read != source_read || memcmp(copy_bytes.get(), source_bytes.get(), copy_read)) {
      LOG(WARNING) << copy << " is not a copy of " << original;
      return base::win::ScopedHandle();
    }
    if (copy_read == 0)
      return held;
  }
}

bool CanRunExecutableIn(const base::FilePath& folder, const base::FilePath& executable) {
  const base::FilePath copy = folder.Append(MakeRunExecutableName(kProbeCopyBaseName));
  // The folder may be one its user can change while an elevated installer runs the copy
  // with its own rights: the copy is made through no link, and run only as held and found
  // to be the same bytes.
  if (!base::CopyToNewFileWithoutLinks(executable, copy)) {
    LOG(WARNING) << "Cannot copy " << executable << " to " << folder;
    return false;
  }
  bool started = false;
  if (const base::win::ScopedHandle held = HoldIfCopyOf(copy, executable); held.IsValid()) {
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
    started = base::LaunchProcess(command_line, options).IsValid();
  }
  LOG_IF(WARNING, !started) << "Cannot run executables in " << folder;
  if (!base::DeletePath(copy, false))
    LOG(WARNING) << "Could not remove " << copy;
  return started;
}

bool GetInstallerFolderAt(const std::wstring& name,
                          const base::FilePath& probe_executable,
                          base::FilePath* folder,
                          int path_key) {
  base::FilePath candidate;
  if (!base::PathRegistry::Get(path_key, &candidate) ||
      !PrepareInstallerFolder(name, probe_executable, &candidate)) {
    return false;
  }
  *folder = candidate;
  return true;
}

bool GetTempInstallerFolder(const std::wstring& name,
                            const base::FilePath& probe_executable,
                            base::FilePath* folder) {
  if (GetInstallerFolderAt(name, probe_executable, folder, base::DIR_TEMP))
    return true;
  base::FilePath downloads;
  if (GetDownloadsFolder(&downloads) &&
      PrepareInstallerFolder(name, probe_executable, &downloads)) {
    *folder = downloads;
    return true;
  }
  if (GetInstallerFolderAt(name, probe_executable, folder, base::DIR_HOME))
    return true;
  return GetInstallerFolderAt(name, probe_executable, folder, base::DIR_EXE);
}

bool GetLogFolder(const base::CommandLine& command_line, base::FilePath* folder) {
  if (IsElevatedRun(command_line))
    return GetElevatedLogFolder(folder);
  if (!IsProcessElevated())
    return GetInstallerFolderAt(GetInstallerFolderName(), base::FilePath(), folder, base::DIR_TEMP);
  // A run the user elevated by hand: the temporary folder is still the user's, and a link
  // in it would lead an administrator's writes anywhere. Held while the working folder is
  // made in it, so that it stays what was checked.
  base::FilePath candidate;
  if (base::PathRegistry::Get(base::DIR_TEMP, &candidate)) {
    const base::win::ScopedHandle temp = base::HoldFolderWithoutLinks(candidate);
    if (temp.IsValid() && PrepareInstallerFolder(GetInstallerFolderName(), base::FilePath(),
                                                 &candidate) &&
        base::HoldFolderWithoutLinks(candidate).IsValid()) {
      *folder = candidate;
      return true;
    }
  }
  LOG(WARNING) << "An elevated run writes nothing through a link in the temporary folder: "
                  "its files go to a folder only administrators can change";
  return GetElevatedLogFolder(folder);
}

}  // namespace installer
