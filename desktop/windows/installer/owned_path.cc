#include "desktop/windows/installer/owned_path.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "base/files/file_util.h"
#include "base/win/known_folder.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace installer {

namespace {

// The folders that the system and the user keep, whatever an installation recorded.
const KNOWNFOLDERID* const kKeptKnownFolders[] = {
    &FOLDERID_Profile,
    &FOLDERID_UserProfiles,
    &FOLDERID_RoamingAppData,
    &FOLDERID_LocalAppData,
    &FOLDERID_LocalAppDataLow,
    &FOLDERID_Documents,
    &FOLDERID_Desktop,
    &FOLDERID_PublicDesktop,
    &FOLDERID_Downloads,
    &FOLDERID_Music,
    &FOLDERID_Pictures,
    &FOLDERID_Videos,
    &FOLDERID_Favorites,
    &FOLDERID_StartMenu,
    &FOLDERID_Programs,
    &FOLDERID_Startup,
    &FOLDERID_CommonStartMenu,
    &FOLDERID_CommonPrograms,
    &FOLDERID_CommonStartup,
    &FOLDERID_SendTo,
    &FOLDERID_Templates,
    &FOLDERID_Public,
    &FOLDERID_PublicDocuments,
    &FOLDERID_ProgramData,
    &FOLDERID_ProgramFiles,
    &FOLDERID_ProgramFilesX86,
    &FOLDERID_ProgramFilesX64,
    &FOLDERID_ProgramFilesCommon,
    &FOLDERID_ProgramFilesCommonX86,
    &FOLDERID_Windows,
    &FOLDERID_System,
    &FOLDERID_SystemX86,
    &FOLDERID_Fonts,
};

// Whether the normalised |child| is |folder| (unless |strictly|) or lies below it, component
// by component without regard to case.
bool IsSameOrBelow(const base::FilePath& child, const base::FilePath& folder, bool strictly) {
  const std::vector<std::wstring> folder_parts = folder.GetComponents();
  const std::vector<std::wstring> child_parts = child.GetComponents();
  if (folder_parts.empty() || child_parts.size() < folder_parts.size() ||
      (strictly && child_parts.size() == folder_parts.size())) {
    return false;
  }
  for (size_t i = 0; i < folder_parts.size(); ++i) {
    if (!base::FilePath::CompareEqualIgnoreCase(folder_parts[i], child_parts[i]))
      return false;
  }
  return true;
}

// The long form of an existing |path|; the path itself when the system has none.
base::FilePath GetLongForm(const base::FilePath& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetLongPathNameW(path.value().c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0)
      return path;
    if (length < buffer.size()) {
      buffer.resize(length);
      return base::FilePath(buffer);
    }
    buffer.resize(length);
  }
}

// Whether |path| is the root of its volume: a drive, a share, or a volume mounted in a
// folder.
bool IsVolumeRoot(const base::FilePath& path) {
  if (path.DirName() == path)
    return true;
  wchar_t volume[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameW(path.value().c_str(), volume, MAX_PATH + 1))
    return false;
  return base::FilePath::CompareEqualIgnoreCase(
      base::FilePath(volume).StripTrailingSeparators().value(), path.value());
}

// The kept folders, normalised; those the system cannot name are left out.
std::vector<base::FilePath> GetKeptFolders() {
  std::vector<base::FilePath> folders;
  auto add = [&folders](const base::FilePath& folder) {
    base::FilePath normalized;
    if (!folder.empty() && NormalizePath(folder, &normalized))
      folders.push_back(normalized);
  };
  for (const KNOWNFOLDERID* id : kKeptKnownFolders) {
    base::FilePath folder;
    if (SUCCEEDED(base::win::GetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, &folder)))
      add(folder);
  }
  base::FilePath temp;
  if (base::GetTempDir(&temp))
    add(temp);
  // The company's folders hold the browser profiles of every stream and installation.
  const std::wstring company = ProductNaming::GetInstance().GetCompanyName();
  for (const KNOWNFOLDERID* id : {&FOLDERID_RoamingAppData, &FOLDERID_LocalAppData}) {
    base::FilePath folder;
    if (!company.empty() &&
        SUCCEEDED(base::win::GetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, &folder))) {
      add(folder.Append(company));
    }
  }
  return folders;
}

}  // namespace

bool NormalizePath(const base::FilePath& path, base::FilePath* normalized) {
  base::FilePath full;
  if (path.empty() || !path.IsAbsolute() || !base::MakeAbsoluteFilePath(path, &full))
    return false;
  full = full.StripTrailingSeparators();
  // The long form of the part that exists; what follows it is taken as written.
  std::vector<std::wstring> missing;
  base::FilePath existing = full;
  while (!base::PathExists(existing)) {
    const base::FilePath parent = existing.DirName();
    if (parent == existing)
      break;
    missing.push_back(existing.BaseName().value());
    existing = parent;
  }
  base::FilePath result = GetLongForm(existing).StripTrailingSeparators();
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    result = result.Append(*it);
  *normalized = result;
  return true;
}

bool IsSamePath(const base::FilePath& a, const base::FilePath& b) {
  base::FilePath normalized_a;
  base::FilePath normalized_b;
  return NormalizePath(a, &normalized_a) && NormalizePath(b, &normalized_b) &&
         IsSameOrBelow(normalized_a, normalized_b, false) &&
         IsSameOrBelow(normalized_b, normalized_a, false);
}

bool IsPathInside(const base::FilePath& path, const base::FilePath& folder) {
  base::FilePath normalized_path;
  base::FilePath normalized_folder;
  return NormalizePath(path, &normalized_path) && NormalizePath(folder, &normalized_folder) &&
         IsSameOrBelow(normalized_path, normalized_folder, true);
}

std::string GetKeptFolderReason(const base::FilePath& folder) {
  base::FilePath normalized;
  if (!NormalizePath(folder, &normalized))
    return "it is not a full path";
  if (IsVolumeRoot(normalized))
    return "it is the root of a drive";
  for (const base::FilePath& kept : GetKeptFolders()) {
    if (IsSameOrBelow(kept, normalized, false)) {
      return (IsSameOrBelow(normalized, kept, false) ? "it is the folder "
                                                     : "it holds the folder ") +
             kept.ToUtf8();
    }
  }
  return std::string();
}

std::string GetProfileDeletionRefusal(const base::FilePath& profile,
                                      const base::FilePath& install_folder) {
  const std::string kept = GetKeptFolderReason(profile);
  if (!kept.empty())
    return kept;
  base::FilePath normalized_profile;
  base::FilePath normalized_install;
  if (!NormalizePath(install_folder, &normalized_install) ||
      !NormalizePath(profile, &normalized_profile)) {
    return "the install folder is not a full path";
  }
  if (IsSameOrBelow(normalized_install, normalized_profile, false))
    return "it is the install folder or holds it";
  return std::string();
}

std::string GetElevatedProfileDeletionRefusal(const base::FilePath& profile,
                                              const base::FilePath& install_folder) {
  const std::string refusal = GetProfileDeletionRefusal(profile, install_folder);
  if (!refusal.empty() || IsPathInside(profile, install_folder))
    return refusal;
  const ProductNaming& naming = ProductNaming::GetInstance();
  for (const KNOWNFOLDERID* id : {&FOLDERID_RoamingAppData, &FOLDERID_LocalAppData}) {
    base::FilePath data;
    if (SUCCEEDED(base::win::GetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, &data)) &&
        IsSamePath(profile, data.Append(naming.GetCompanyName())
                                .Append(naming.GetVisibleNameWithStream()))) {
      return std::string();
    }
  }
  return "it is neither inside the install folder nor the user's own profile folder";
}

}  // namespace installer
