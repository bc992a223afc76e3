#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_H_

#include <functional>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/file_identity.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/preserve_file_operation.h"

namespace installer {

// The folder that holds the current user's taskbar pins: the "TaskBar" folder of the
// user-pinned known folder, or the same folder below the roaming application data when
// the shell does not know the user-pinned folder. False when neither can be had.
bool GetTaskbarPinsFolder(base::FilePath* folder);

// Appends to |pins| the shortcuts (.lnk files) of the taskbar pins folder that point to
// |target| (IsShortcutTo with |target_identity|). The calling thread must have
// initialised COM.
void FindTaskbarPins(const base::FilePath& target,
                     const FileIdentity& target_identity,
                     std::vector<base::FilePath>* pins);

// Makes GetTaskbarPinsFolder give |folder| (tests); an empty path restores the real one.
void SetTaskbarPinsFolderForTesting(const base::FilePath& folder);

// Pins a shortcut to the taskbar; whether it did. How depends on the system (the shell's
// verb, or a helper program), which the installer knows.
using TaskbarPinner = std::function<bool(const base::FilePath& shortcut)>;

// Pins |shortcut| with |pin|; Do tells whether it was pinned. The undo unpins what the pin
// added: the pins that appeared in the taskbar pins folder meanwhile (unpinned through the
// shell and deleted), or the shortcut itself when none did.
class PinToTaskbarOperation : public Operation {
 public:
  PinToTaskbarOperation(const base::FilePath& shortcut, TaskbarPinner pin);
  ~PinToTaskbarOperation() override;

  bool Do() override;
  void Rollback() override;

 private:
  const base::FilePath shortcut_;
  const TaskbarPinner pin_;
  bool pinned_ = false;
  std::vector<base::FilePath> added_;
};

// Unpins the taskbar pin |pin_file| (a shortcut of the pins folder) through the shell and
// deletes the file; Do tells whether the file went. The undo puts the file back as it was
// and pins it again with |pin|.
class UnpinFromTaskbarOperation : public Operation {
 public:
  UnpinFromTaskbarOperation(const base::FilePath& pin_file, TaskbarPinner pin);
  ~UnpinFromTaskbarOperation() override;

  bool Do() override;
  void Rollback() override;
  void Commit() override;

  // Whether the shell unpinned it (Windows 7 to 8.1); the file goes in any case.
  bool unpinned() const { return unpinned_; }

 private:
  const base::FilePath pin_file_;
  const TaskbarPinner pin_;
  PreserveFileOperation kept_;
  bool unpin_attempted_ = false;
  bool unpinned_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_H_
