#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_GROUP_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_GROUP_H_

#include <stddef.h>

#include <memory>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Operations that are done as one: all of them, or none. Do performs them in the order
// added and fails at the first that fails; the undo (also after such a failure) undoes
// every one attempted, the last first; the commit commits them all.
class OperationGroup : public Operation {
 public:
  OperationGroup();
  ~OperationGroup() override;

  // Adds an operation; before Do only.
  void Add(std::unique_ptr<Operation> operation);
  bool empty() const { return operations_.empty(); }

  bool Do() override;
  void Rollback() override;
  void Commit() override;
  void GetLeftBehind(std::vector<base::FilePath>* paths) const override;
  void set_journal(UndoJournal* journal) override;

 private:
  std::vector<std::unique_ptr<Operation>> operations_;
  // How many operations Do has started.
  size_t attempted_ = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_GROUP_H_
