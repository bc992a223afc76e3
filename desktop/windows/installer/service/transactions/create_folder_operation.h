#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Creates a folder with its missing parents. An existing folder is success and nothing to
// undo; a file in the way is failure. The undo removes the folders this operation created,
// deepest first, as long as they are empty: a folder in which something else has appeared
// is kept, and so are its parents.
class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path);
  ~CreateFolderOperation() override;

  bool Do() override;
  void Rollback() override;

 private:
  const base::FilePath path_;
  // The folders created, outermost first.
  std::vector<base::FilePath> created_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
