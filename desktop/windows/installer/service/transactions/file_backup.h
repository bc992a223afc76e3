#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_BACKUP_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_BACKUP_H_

#include <functional>
#include <string_view>

#include "base/files/file_path.h"

namespace installer {

// A file or folder kept aside for an undo: it is renamed to a unique name in its own
// folder, which is always possible on the same volume, keeps its contents, attributes and
// times, and works for an executable that is running. Or a file is copied to such a name
// and stays where it is. The owner then either puts it back (Restore) or deletes it
// (Discard); destroying the object does neither.
class FileBackup {
 public:
  FileBackup() = default;
  ~FileBackup() = default;

  FileBackup(const FileBackup&) = delete;
  FileBackup& operator=(const FileBackup&) = delete;

  // Renames |path| to a new unique name beside it. |before_rename|, when given, is told
  // that name first (to write it down for an undo), and the rename is made only when it
  // returns true. False when it does not, or when the system refuses (for instance when
  // another process has the file open without delete sharing); the thread's last-error
  // value then tells why, and logging is the caller's.
  bool SetAside(const base::FilePath& path,
                const std::function<bool(const base::FilePath& backup)>& before_rename = {});

  // Copies the file |path| to a new unique name beside it; |path| stays as it is.
  // |before_copy| is told the name first, as for SetAside. False when the copy fails.
  bool KeepCopy(const base::FilePath& path,
                const std::function<bool(const base::FilePath& backup)>& before_copy = {});

  // Whether something is held aside.
  bool IsHeld() const { return !backup_.empty(); }
  const base::FilePath& original() const { return original_; }
  // Where it is held.
  const base::FilePath& backup() const { return backup_; }

  // Renames the backup back to its original name (a copy replaces what is there). False,
  // logged, when it cannot be done (the backup is then still held).
  bool Restore();

  // Deletes the backup, with everything inside for a folder. A backup that cannot be
  // deleted is logged and left behind (false), what of it could go gone.
  bool Discard();

  // Whether |name| (a file name without folder) is one that SetAside gives.
  static bool IsBackupName(std::wstring_view name);

 private:
  // Picks a free backup name beside |path| and tells |before| of it; the name, or empty
  // when |before| refused or no name was free.
  static base::FilePath ChooseFreeName(
      const base::FilePath& path,
      const std::function<bool(const base::FilePath& backup)>& before);

  base::FilePath original_;
  base::FilePath backup_;
  // The backup is a copy: the original stayed in place.
  bool is_copy_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_BACKUP_H_
