#include "desktop/windows/installer/service/transactions/operation_group.h"

#include <utility>

#include "base/logging.h"

namespace installer {

OperationGroup::OperationGroup() = default;

OperationGroup::~OperationGroup() = default;

void OperationGroup::Add(std::unique_ptr<Operation> operation) {
  DCHECK_EQ(attempted_, 0u);
  operation->set_journal(journal());
  operations_.push_back(std::move(operation));
}

void OperationGroup::set_journal(UndoJournal* journal) {
  Operation::set_journal(journal);
  for (const std::unique_ptr<Operation>& operation : operations_)
    operation->set_journal(journal);
}

bool OperationGroup::Do() {
  for (const std::unique_ptr<Operation>& operation : operations_) {
    ++attempted_;
    if (!operation->Do())
      return false;
  }
  return true;
}

void OperationGroup::Rollback() {
  while (attempted_ > 0) {
    --attempted_;
    operations_[attempted_]->Rollback();
  }
}

void OperationGroup::Commit() {
  for (size_t i = 0; i < attempted_; ++i)
    operations_[i]->Commit();
}

void OperationGroup::GetLeftBehind(std::vector<base::FilePath>* paths) const {
  for (size_t i = 0; i < attempted_; ++i)
    operations_[i]->GetLeftBehind(paths);
}

}  // namespace installer
