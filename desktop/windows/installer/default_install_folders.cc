#include "desktop/windows/installer/default_install_folders.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <winioctl.h>

#include <algorithm>
#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/known_folder.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_thread_error_mode.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/folder_path_check.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace installer {

namespace {

constexpr wchar_t kProductWord[] = L"Tavro";
constexpr wchar_t kPublisherPrefix[] = L"Tavro Software";
constexpr wchar_t kDisplayNamePrefix[] = L"Tavro ";
// From this priority on a drive is suggested only when it is the best there is.
constexpr unsigned kLastResortPriority = 5;

// Whether the drive |letter| answers with its media present.
bool IsDriveReady(wchar_t letter) {
  const std::wstring device = std::wstring(L"\\\\.\\") + letter + L":";
  const std::wstring root = std::wstring(1, letter) + L":\\";
  base::win::ScopedHandle volume(::CreateFileW(device.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  if (!volume.IsValid()) {
    VLOG(1) << "The drive " << root << " cannot be opened: "
            << logging::SystemErrorCodeToString(::GetLastError());
    return false;
  }
  DWORD bytes = 0;
  if (::DeviceIoControl(volume.Get(), IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0, nullptr, 0,
                        &bytes, nullptr)) {
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_MEDIA_CHANGED)
    return true;
  if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
    // Wine's volumes answer no storage requests. The file system of the drive answers only
    // with media present, on Windows as well. A network drive answers the same way where
    // its volume opens at all, and is no place for a stand-alone copy: the media check would
    // not have passed it.
    if (::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE) {
      VLOG(1) << "The drive " << root << " is a network drive";
      return false;
    }
    return ::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                   nullptr, 0) != FALSE;
  }
  VLOG(1) << "The drive " << root << " is not ready: " << logging::SystemErrorCodeToString(error);
  return false;
}

// Whether an uninstall registration's stream word names |stream|.
bool StreamWordMatches(int stream, const std::wstring& word) {
  switch (stream) {
    case STREAM_STABLE:
      return word == L"Stable";
    case STREAM_NEXT:
      return word == L"beta" || word == L"Next";
    case STREAM_DEVELOPER:
      return word == L"developer" || word == L"Developer";
    case STREAM_NIGHTLY:
      return word == L"nightly";
    default:
      return false;
  }
}

// Whether the uninstall key |name| below |root| (in |view|) registers |stream|.
bool IsRegistrationOf(HKEY root, REGSAM view, const std::wstring& name, int stream) {
  if (!base::StartsWith(name, kProductWord, base::CompareCase::SENSITIVE))
    return false;
  const std::wstring path = GetUninstallRegistryKey() + L"\\" + name;
  base::win::RegistryKey key(root, path.c_str(), KEY_QUERY_VALUE | view);
  std::wstring publisher;
  if (key.ReadValue(L"Publisher", &publisher) != ERROR_SUCCESS) {
    VLOG(1) << "Cannot read Publisher in an uninstall key";
    return false;
  }
  if (!base::StartsWith(publisher, kPublisherPrefix, base::CompareCase::SENSITIVE))
    return false;
  std::wstring display_name;
  if (key.ReadValue(L"DisplayName", &display_name) != ERROR_SUCCESS) {
    VLOG(1) << "Cannot read Display Name in an uninstall key";
    return false;
  }
  if (!base::StartsWith(display_name, kDisplayNamePrefix, base::CompareCase::SENSITIVE)) {
    VLOG(1) << "DisplayName does not start with Tavro";
    return false;
  }
  const std::wstring rest = display_name.substr(std::char_traits<wchar_t>::length(
      kDisplayNamePrefix));
  const size_t space = rest.find(L' ');
  return space != std::wstring::npos && StreamWordMatches(stream, rest.substr(0, space));
}

// |path| as IsInsideFolder compares it: backslashes only, no trailing separator.
base::FilePath MakeComparable(const base::FilePath& path) {
  return path.NormalizePathSeparators().StripTrailingSeparators();
}

}  // namespace

std::wstring GetDefaultInstallFolderName() {
  return base::Utf8ToUtf16(ProductInfo::GetVisibleNameWithStream());
}

bool GetProgramFilesFolder(uint32_t architecture, base::FilePath* folder) {
  const int key = architecture == INSTALLER_ARCH_X64 ? base::DIR_PROGRAM_FILES_X64
                                                     : base::DIR_PROGRAM_FILESX86;
  if (base::PathRegistry::Get(key, folder))
    return true;
  LOG(ERROR) << "Cannot find the program files folder for "
             << (architecture == INSTALLER_ARCH_X64 ? "x64" : "x86");
  return false;
}

bool GetUserProgramsFolder(base::FilePath* folder) {
  if (base::win::GetWindowsVersion() >= base::win::VERSION_WIN7 &&
      SUCCEEDED(base::win::GetKnownFolderPath(FOLDERID_UserProgramFiles, KF_FLAG_DONT_VERIFY,
                                              folder))) {
    return true;
  }
  // Before Windows 7 there is no such known folder, and Wine knows none either
  // (E_INVALIDARG); Windows keeps it at this very place.
  base::FilePath local_app_data;
  const HRESULT hr =
      base::win::GetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, &local_app_data);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot find the local application data folder";
    return false;
  }
  *folder = local_app_data.Append(L"Programs");
  return true;
}

base::FilePath ReadLastInstallPath(uint32_t architecture) {
  base::win::RegistryKey key(HKEY_CURRENT_USER, GetCompanyRegistryKey().c_str(), KEY_READ);
  const std::wstring stream = base::Utf8ToUtf16(ProductInfo::GetStream());
  struct Candidate {
    std::wstring value_name;
    const char* label;
  };
  std::vector<Candidate> candidates;
  if (architecture == INSTALLER_ARCH_X64)
    candidates.push_back({L"Last " + stream + L" Install Path x64", "[legacy x64]"});
  candidates.push_back({L"Last " + stream + L" Install Path", "[standard]"});
  candidates.push_back(
      {L"Last " + base::Utf8ToUtf16(GetStreamName()) + L" Install Path", "[beta=next]"});
  if (GetCurrentStream() == STREAM_STABLE)
    candidates.push_back({L"Last install path", "[primordial]"});

  base::FilePath result;
  for (const Candidate& candidate : candidates) {
    std::wstring value;
    if (!key.Valid() || key.ReadValue(candidate.value_name.c_str(), &value) != ERROR_SUCCESS)
      continue;
    VLOG(1) << "Install folder reg value " << candidate.label << ": " << value;
    const base::FilePath path = base::FilePath(value).StripTrailingSeparators();
    // The value is anyone's to write: a folder that the installer could not use as given
    // is not taken.
    const std::string problem = GetInstallFolderPathProblem(path);
    if (!problem.empty())
      LOG(WARNING) << "Ignoring the remembered install folder " << path << ": " << problem;
    else if (base::DirectoryExists(path))
      result = path;
    break;
  }
  VLOG(1) << "Install folder from reg value " << result;
  return result;
}

unsigned GetDriveTypePriority(UINT drive_type) {
  switch (drive_type) {
    case DRIVE_REMOVABLE:
      return 0;
    case DRIVE_REMOTE:
      return 1;
    case DRIVE_FIXED:
      return 3;
    case DRIVE_RAMDISK:
      return 4;
    case DRIVE_CDROM:
      return 5;
    case DRIVE_UNKNOWN:
      return 6;
    default:  // DRIVE_NO_ROOT_DIR
      return 7;
  }
}

std::vector<StandaloneCandidate> FindStandaloneCandidates() {
  std::vector<StandaloneCandidate> candidates;
  const DWORD drives = ::GetLogicalDrives();
  if (!drives) {
    PLOG(ERROR) << "GetLogicalDrives failed";
    return candidates;
  }
  base::win::ScopedFailCriticalErrors no_disk_prompts;
  const std::wstring name = GetDefaultInstallFolderName();
  for (int index = 0; index < 26; ++index) {
    if (!(drives & (1u << index)))
      continue;
    const wchar_t letter = static_cast<wchar_t>(L'A' + index);
    if (!IsDriveReady(letter))
      continue;
    const std::wstring root = std::wstring(1, letter) + L":\\";
    candidates.push_back(
        {base::FilePath(root + name), GetDriveTypePriority(::GetDriveTypeW(root.c_str()))});
  }
  return candidates;
}

std::vector<base::FilePath> OrderStandaloneCandidates(std::vector<StandaloneCandidate> candidates) {
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const StandaloneCandidate& a, const StandaloneCandidate& b) {
                     return a.priority < b.priority;
                   });
  std::vector<base::FilePath> folders;
  for (const StandaloneCandidate& candidate : candidates) {
    if (!folders.empty() && candidate.priority >= kLastResortPriority)
      continue;
    folders.push_back(candidate.folder);
  }
  return folders;
}

int CountStreamRegistrations(int stream, int enough) {
  struct Place {
    HKEY root;
    REGSAM view;
  };
  std::vector<Place> places = {{HKEY_CURRENT_USER, 0}};
  if (base::win::OsInfo::GetInstance()->architecture() != base::win::OsInfo::X86_ARCHITECTURE)
    places.push_back({HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY});
  places.push_back({HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY});

  const std::wstring uninstall_key = GetUninstallRegistryKey();
  int count = 0;
  for (const Place& place : places) {
    for (base::win::RegistryKeyIterator it(place.root, uninstall_key.c_str(), place.view);
         it.Valid(); ++it) {
      if (IsRegistrationOf(place.root, place.view, it.Name(), stream) && ++count >= enough)
        return count;
    }
  }
  return count;
}

bool IsInsideFolder(const base::FilePath& path, const base::FilePath& folder) {
  return MakeComparable(folder).IsParentIgnoreCase(MakeComparable(path));
}

}  // namespace installer
