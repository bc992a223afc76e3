#include "desktop/windows/installer/service/taskbar_pins.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "base/files/file_enumerator.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/installer/service/known_folders.h"

namespace installer {

namespace {

base::Lock g_override_lock;

base::FilePath& OverrideFolder() {
  static base::FilePath folder;
  return folder;
}

}  // namespace

bool GetTaskbarPinsFolder(base::FilePath* folder) {
  {
    base::AutoLock lock(g_override_lock);
    if (!OverrideFolder().empty()) {
      *folder = OverrideFolder();
      return true;
    }
  }
  base::FilePath pinned;
  if (GetKnownFolderPath(FOLDERID_UserPinned, 0, &pinned, false)) {
    *folder = pinned.Append(L"TaskBar");
    return true;
  }
  // Where the user-pinned folder lives on every Windows version that pins to the taskbar.
  base::FilePath roaming;
  if (!GetKnownFolderPath(FOLDERID_RoamingAppData, 0, &roaming, false))
    return false;
  *folder = roaming.Append(L"Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar");
  return true;
}

void FindTaskbarPins(const base::FilePath& target,
                     const FileIdentity& target_identity,
                     std::vector<base::FilePath>* pins) {
  base::FilePath folder;
  if (!GetTaskbarPinsFolder(&folder)) {
    LOG(WARNING) << "Cannot find the taskbar pins folder";
    return;
  }
  base::FileEnumerator shortcuts(folder, false, base::FileEnumerator::FILES, L"*.lnk");
  for (base::FilePath shortcut = shortcuts.Next(); !shortcut.empty();
       shortcut = shortcuts.Next()) {
    // The pattern also matches longer extensions through their short names.
    if (!base::FilePath::CompareEqualIgnoreCase(shortcut.Extension(), L".lnk"))
      continue;
    if (IsShortcutTo(shortcut, target, target_identity))
      pins->push_back(shortcut);
  }
}

void SetTaskbarPinsFolderForTesting(const base::FilePath& folder) {
  base::AutoLock lock(g_override_lock);
  OverrideFolder() = folder;
}

}  // namespace installer
