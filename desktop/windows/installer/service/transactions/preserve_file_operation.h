#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PRESERVE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PRESERVE_FILE_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Keeps a file as it is now for code that then rewrites or replaces it, outside any
// operation (a preference store writing its file, the status file saved anew, for
// instance). The file stays where it is, untouched, for that code to read: a copy is kept
// beside it, and its contents go into the undo journal. The undo puts the kept copy back
// (or removes the file when there was none before), the commit deletes the copy. Files of
// more than 32 MB are not kept.
class PreserveFileOperation : public Operation {
 public:
  explicit PreserveFileOperation(const base::FilePath& path);
  ~PreserveFileOperation() override;

  bool Do() override;
  void Rollback() override;
  void Commit() override;

 private:
  const base::FilePath path_;
  FileBackup original_;
  // Whether the operation answers for what is at the path: it was missing, or a copy of
  // it is kept.
  bool owns_path_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PRESERVE_FILE_OPERATION_H_
