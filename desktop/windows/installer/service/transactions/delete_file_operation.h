#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_

#include <string_view>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Deletes a file, or a folder with everything in it. Nothing is deleted before the commit:
// the entry is moved aside under another name in its folder, the undo puts it back and
// the commit deletes it. A path that does not exist is success with nothing to undo.
//
// With |check_in_use| a file that another handle holds open for reading, writing or
// deleting (a running executable included) fails the operation and stays in place. A
// folder has no such check: the system refuses to move a folder aside while files below
// it are open without delete sharing, which fails the operation too.
//
// With |remove_empty_parents| the parent folders that the deletion empties go as well:
// going up from the entry's folder, every folder that holds nothing but the entry (or the
// folder below) is removed, up to the first folder that holds something else, and never a
// drive root. Entries kept aside by other operations do not count. The outermost emptied
// folder is moved aside in one piece, so the undo restores the whole chain; when the
// system refuses to move a folder (one that is a process's current folder, say), the next
// one down is tried, down to the entry itself.
class DeleteFileOperation : public Operation {
 public:
  DeleteFileOperation(const base::FilePath& path, bool check_in_use, bool remove_empty_parents);
  ~DeleteFileOperation() override;

  bool Do() override;
  void Rollback() override;
  void Commit() override;
  void GetLeftBehind(std::vector<base::FilePath>* paths) const override;

 private:
  // Whether |folder| holds |child_name| and nothing else but entries kept aside.
  static bool HoldsOnly(const base::FilePath& folder, std::wstring_view child_name);

  const base::FilePath path_;
  const bool check_in_use_;
  const bool remove_empty_parents_;
  FileBackup deleted_;
  // What the commit could not delete; empty when it all went.
  base::FilePath left_behind_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
