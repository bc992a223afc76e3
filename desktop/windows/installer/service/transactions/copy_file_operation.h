#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_

#include <memory>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Copies one file, creating the destination's missing folders. A file already at the
// destination (read-only or running, too) is kept aside under another name in its folder
// and put back by the undo; the commit deletes it. The copy itself is never read-only.
class CopyFileOperation : public Operation {
 public:
  CopyFileOperation(const base::FilePath& source, const base::FilePath& destination);
  ~CopyFileOperation() override;

  bool Do() override;
  void Rollback() override;
  void Commit() override;
  void set_journal(UndoJournal* journal) override;

 private:
  const base::FilePath source_;
  const base::FilePath destination_;
  CreateFolderOperation create_folder_;
  FileBackup replaced_;
  // Whether the copy was attempted: from then on the destination is this operation's.
  bool copying_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
