#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Moves a file or folder (a file is copied and then deleted across volumes). The target
// folder must exist. Something already at the target is kept aside under another name
// in its folder; the undo moves the file back and restores what it replaced, the commit
// deletes what was replaced.
class MoveFileOperation : public Operation {
 public:
  MoveFileOperation(const base::FilePath& from, const base::FilePath& to);
  ~MoveFileOperation() override;

  bool Do() override;
  void Rollback() override;
  void Commit() override;

 private:
  const base::FilePath from_;
  const base::FilePath to_;
  // A change of case only: the entry is renamed in place and nothing is replaced.
  const bool same_entry_;
  FileBackup replaced_;
  // Whether the move was attempted (from then on the target is this operation's), and
  // whether it succeeded.
  bool attempted_ = false;
  bool moved_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
