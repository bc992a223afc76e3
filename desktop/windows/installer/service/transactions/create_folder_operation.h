#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include <functional>
#include <optional>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Creates a folder with its missing parents. An existing folder is success and nothing to
// undo; a file in the way is failure. The undo removes the folders this operation created,
// deepest first, as long as they are empty: a folder in which something else has appeared
// is kept, and so are its parents.
//
// With |protection|, the folder |path| itself, when this operation creates it, gets the
// protected access list of protected_folder.h instead of inheriting its parent's (which,
// outside the system's program folders, lets every user change what is inside); a folder
// that exists keeps its own.
class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path,
                                 std::optional<Readers> protection = std::nullopt);
  ~CreateFolderOperation() override;

  bool Do() override;
  void Rollback() override;

  // For tests, which cannot read it back (the test system makes up the security of files
  // from their modes): |observer| (null to stop) is told each folder an operation is about to
  // create and the security descriptor it asks for (null: inherited).
  using CreationObserver = std::function<void(const base::FilePath& folder,
                                              PSECURITY_DESCRIPTOR security)>;
  static void SetCreationObserverForTesting(CreationObserver observer);

 private:
  const base::FilePath path_;
  const std::optional<Readers> protection_;
  // The folders created, outermost first.
  std::vector<base::FilePath> created_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
