#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_BACKUP_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_BACKUP_H_

#include <string_view>

#include "base/files/file_path.h"

namespace installer {

// A file or folder kept aside for an undo: it is renamed to a unique name in its own
// folder, which is always possible on the same volume, keeps its contents, attributes and
// times, and works for an executable that is running. The owner then either puts it back
// (Restore) or deletes it (Discard); destroying the object does neither.
class FileBackup {
 public:
  FileBackup() = default;
  ~FileBackup() = default;

  FileBackup(const FileBackup&) = delete;
  FileBackup& operator=(const FileBackup&) = delete;

  // Renames |path| to a new unique name beside it. False when the system refuses (for
  // instance when another process has the file open without delete sharing); the thread's
  // last-error value then tells why, and logging is the caller's.
  bool SetAside(const base::FilePath& path);

  // Whether something is held aside.
  bool IsHeld() const { return !backup_.empty(); }
  const base::FilePath& original() const { return original_; }
  // Where it is held.
  const base::FilePath& backup() const { return backup_; }

  // Renames the backup back to its original name. False, logged, when it cannot be done
  // (the backup is then still held).
  bool Restore();

  // Deletes the backup, with everything inside for a folder. A backup that cannot be
  // deleted is logged and left behind.
  void Discard();

  // Whether |name| (a file name without folder) is one that SetAside gives.
  static bool IsBackupName(std::wstring_view name);

 private:
  base::FilePath original_;
  base::FilePath backup_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_BACKUP_H_
