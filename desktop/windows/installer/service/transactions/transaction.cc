#include "desktop/windows/installer/service/transactions/transaction.h"

#include <utility>

#include "base/logging.h"

namespace installer {

Transaction::Transaction() : thread_id_(::GetCurrentThreadId()) {}

Transaction::~Transaction() {
  Commit();
}

void Transaction::Commit() {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  for (const std::unique_ptr<Operation>& operation : operations_)
    operation->Commit();
  operations_.clear();
}

bool Transaction::Do(std::unique_ptr<Operation> operation) {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  if (!operation) {
    LOG(ERROR) << "No operation to perform";
    return false;
  }
  if (!operation->Do()) {
    operation->Rollback();
    return false;
  }
  operations_.push_back(std::move(operation));
  return true;
}

void Transaction::Rollback() {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  while (!operations_.empty()) {
    // Taken out first, so that the transaction never holds an undone operation.
    std::unique_ptr<Operation> operation = std::move(operations_.back());
    operations_.pop_back();
    operation->Rollback();
  }
}

}  // namespace installer
