#include "base/path_registry.h"

#include <windows.h>

#include <knownfolders.h>

#include <map>
#include <string>

#include "base/files/file_util.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "base/win/executable_path.h"
#include "base/win/known_folder.h"

namespace base {

namespace {

struct Overrides {
  // The exit clean-up.
  void Clear() {
    AutoLock hold(lock);
    paths.clear();
  }

  Lock lock;
  std::map<int, FilePath> paths;  // Guarded by |lock|.
};

// Emptied by the exit clean-up, never destroyed: pool threads may still look paths up.
LazyInstance<Overrides>::Cleared g_overrides;

bool GetKnownFolder(REFKNOWNFOLDERID id, const char* name, FilePath* path) {
  const HRESULT hr = win::GetKnownFolderPath(id, 0, path);
  if (FAILED(hr)) {
    ELOG(WARNING, hr) << "Cannot get the known folder " << name;
    return false;
  }
  return true;
}

bool GetQuickLaunchFolder(FilePath* path) {
  if (SUCCEEDED(win::GetKnownFolderPath(FOLDERID_QuickLaunch, 0, path)))
    return true;
  // Wine knows no quick launch folder (E_INVALIDARG). Windows has kept it at this place below
  // the roaming application data folder since Vista, so the fallback is right there too.
  FilePath app_data;
  if (!GetKnownFolder(FOLDERID_RoamingAppData, "RoamingAppData", &app_data))
    return false;
  *path = app_data.Append(L"Microsoft\\Internet Explorer\\Quick Launch");
  return true;
}

// What the system says for |key|.
bool ProvidePath(int key, FilePath* path) {
  switch (key) {
    case DIR_EXE: {
      FilePath exe;
      if (!win::GetExecutablePath(&exe))
        return false;
      *path = exe.DirName();
      return true;
    }
    case DIR_TEMP:
      return GetTempDir(path);
    case DIR_HOME:
      return GetKnownFolder(FOLDERID_Profile, "Profile", path);
    case FILE_EXE:
      return win::GetExecutablePath(path);
    case DIR_USER_DESKTOP:
      return GetKnownFolder(FOLDERID_Desktop, "Desktop", path);
    case DIR_PROGRAM_FILESX86:
      return GetKnownFolder(FOLDERID_ProgramFilesX86, "ProgramFilesX86", path);
    case DIR_PROGRAM_FILES_X64:
      return GetKnownFolder(FOLDERID_ProgramFilesX64, "ProgramFilesX64", path);
    case DIR_COMMON_START_MENU:
      return GetKnownFolder(FOLDERID_CommonPrograms, "CommonPrograms", path);
    case DIR_START_MENU:
      return GetKnownFolder(FOLDERID_Programs, "Programs", path);
    case DIR_COMMON_DESKTOP:
      return GetKnownFolder(FOLDERID_PublicDesktop, "PublicDesktop", path);
    case DIR_USER_QUICK_LAUNCH:
      return GetQuickLaunchFolder(path);
    default:
      return false;
  }
}

}  // namespace

// static
bool PathRegistry::Get(int key, FilePath* path) {
  DCHECK(path);
  if (!path)
    return false;
  if (GetOverride(key, path))
    return true;
  FilePath provided;
  if (!ProvidePath(key, &provided) || provided.empty())
    return false;
  *path = provided.StripTrailingSeparators();
  return true;
}

// static
bool PathRegistry::OverrideAndCreateIfNeeded(int key,
                                             const FilePath& path,
                                             bool is_absolute,
                                             bool create) {
  if (path.empty()) {
    LOG(ERROR) << "Empty path for path key " << key;
    return false;
  }
  FilePath absolute = path;
  if (!is_absolute && !MakeAbsoluteFilePath(path, &absolute)) {
    LOG(ERROR) << "Cannot make " << path << " absolute for path key " << key;
    return false;
  }
  absolute = absolute.StripTrailingSeparators();
  if (create && !CreateDirectory(absolute)) {
    LOG(ERROR) << "Cannot create " << absolute << " for path key " << key;
    return false;
  }
  Overrides& overrides = g_overrides.Get();
  AutoLock lock(overrides.lock);
  overrides.paths[key] = absolute;
  return true;
}

// static
bool PathRegistry::Override(int key, const FilePath& path) {
  return OverrideAndCreateIfNeeded(key, path, false, false);
}

// static
bool PathRegistry::GetOverride(int key, FilePath* path) {
  Overrides& overrides = g_overrides.Get();
  AutoLock lock(overrides.lock);
  const auto found = overrides.paths.find(key);
  if (found == overrides.paths.end())
    return false;
  *path = found->second;
  return true;
}

// static
bool PathRegistry::RemoveOverride(int key) {
  Overrides& overrides = g_overrides.Get();
  AutoLock lock(overrides.lock);
  return overrides.paths.erase(key) != 0;
}

}  // namespace base
