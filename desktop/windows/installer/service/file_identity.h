#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_FILE_IDENTITY_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_FILE_IDENTITY_H_

#include <stdint.h>

#include "base/files/file_path.h"

namespace installer {

// What makes a file or folder the same one whatever path leads to it (short or long name,
// another letter case, a hard link): the volume's serial number and the file's index on
// that volume.
struct FileIdentity {
  uint32_t volume_serial_number = 0;
  uint64_t file_index = 0;

  bool operator==(const FileIdentity& other) const {
    return volume_serial_number == other.volume_serial_number &&
           file_index == other.file_index;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The identity of the existing file or folder at |path|. False when it cannot be opened.
bool GetFileInfo(const base::FilePath& path, FileIdentity* identity);

// Whether the shortcut |shortcut| points to |target|: its stored target is |target|
// (compared without regard to case), or a file whose identity is |target_identity|; when
// the stored target names no file (its text narrowed to the ANSI code page), the target
// its ID list names must be. False when the shortcut cannot be read. The calling thread must have initialised COM.
bool IsShortcutTo(const base::FilePath& shortcut,
                  const base::FilePath& target,
                  const FileIdentity& target_identity);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_FILE_IDENTITY_H_
