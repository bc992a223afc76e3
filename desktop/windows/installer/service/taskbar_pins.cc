#include "desktop/windows/installer/service/taskbar_pins.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <utility>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "base/win/shortcut.h"
#include "desktop/windows/installer/service/known_folders.h"

namespace installer {

namespace {

base::Lock g_override_lock;

base::FilePath& OverrideFolder() {
  static base::FilePath folder;
  return folder;
}

// The shortcuts (.lnk files) of the taskbar pins folder.
std::vector<base::FilePath> ListTaskbarPins() {
  std::vector<base::FilePath> pins;
  base::FilePath folder;
  if (!GetTaskbarPinsFolder(&folder)) {
    LOG(WARNING) << "Cannot find the taskbar pins folder";
    return pins;
  }
  base::FileEnumerator shortcuts(folder, false, base::FileEnumerator::FILES, L"*.lnk");
  for (base::FilePath shortcut = shortcuts.Next(); !shortcut.empty();
       shortcut = shortcuts.Next()) {
    // The pattern also matches longer extensions through their short names.
    if (base::FilePath::CompareEqualIgnoreCase(shortcut.Extension(), L".lnk"))
      pins.push_back(shortcut);
  }
  return pins;
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
  for (const base::FilePath& shortcut : ListTaskbarPins()) {
    if (IsShortcutTo(shortcut, target, target_identity))
      pins->push_back(shortcut);
  }
}

void SetTaskbarPinsFolderForTesting(const base::FilePath& folder) {
  base::AutoLock lock(g_override_lock);
  OverrideFolder() = folder;
}

PinToTaskbarOperation::PinToTaskbarOperation(const base::FilePath& shortcut, TaskbarPinner pin)
    : shortcut_(shortcut), pin_(std::move(pin)) {}

PinToTaskbarOperation::~PinToTaskbarOperation() = default;

bool PinToTaskbarOperation::Do() {
  const std::vector<base::FilePath> before = ListTaskbarPins();
  pinned_ = pin_(shortcut_);
  if (!pinned_)
    return false;
  for (const base::FilePath& pin : ListTaskbarPins()) {
    if (std::find(before.begin(), before.end(), pin) == before.end())
      added_.push_back(pin);
  }
  return true;
}

void PinToTaskbarOperation::Rollback() {
  if (!pinned_)
    return;
  pinned_ = false;
  if (added_.empty()) {
    if (!base::win::UnpinFromTaskbar(shortcut_))
      LOG(WARNING) << "Cannot unpin " << shortcut_ << " from the taskbar";
    return;
  }
  for (const base::FilePath& pin : added_) {
    base::win::UnpinFromTaskbar(pin);
    if (base::PathExists(pin) && !base::DeletePath(pin, false))
      PLOG(ERROR) << "Cannot remove the taskbar pin " << pin;
  }
  added_.clear();
}

UnpinFromTaskbarOperation::UnpinFromTaskbarOperation(const base::FilePath& pin_file,
                                                     TaskbarPinner pin)
    : pin_file_(pin_file), pin_(std::move(pin)), kept_(pin_file) {}

UnpinFromTaskbarOperation::~UnpinFromTaskbarOperation() = default;

bool UnpinFromTaskbarOperation::Do() {
  // Kept first: unpinning through the shell may delete the file itself.
  if (!kept_.Do())
    return false;
  unpin_attempted_ = true;
  unpinned_ = base::win::UnpinFromTaskbar(pin_file_);
  if (base::PathExists(pin_file_) && !base::DeletePath(pin_file_, false)) {
    PLOG(ERROR) << "Cannot remove the taskbar pin " << pin_file_;
    return false;
  }
  return true;
}

void UnpinFromTaskbarOperation::Rollback() {
  kept_.Rollback();
  if (!unpin_attempted_)
    return;
  unpin_attempted_ = false;
  if (base::PathExists(pin_file_) && !pin_(pin_file_))
    LOG(WARNING) << "Cannot pin " << pin_file_ << " to the taskbar again";
}

void UnpinFromTaskbarOperation::Commit() {
  kept_.Commit();
}

}  // namespace installer
