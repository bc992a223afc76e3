#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PRESERVE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PRESERVE_FILE_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Keeps a file as it is now for code that then rewrites it in place, outside any
// operation (a preference store writing its file, for instance). The file stays where it
// is, with the same contents, for that code to read; the undo puts the kept file back (or
// removes the file when there was none before), the commit deletes the kept file.
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
  // Whether what is at the path is no longer the original: it was missing, or is kept
  // aside.
  bool owns_path_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PRESERVE_FILE_OPERATION_H_
