#include "desktop/windows/installer/service/transactions/transaction.h"

#include <utility>

#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"

namespace installer {

Transaction::Transaction() : thread_id_(::GetCurrentThreadId()) {}

Transaction::~Transaction() {
  Commit();
}

void Transaction::Commit(std::vector<base::FilePath>* left_behind) {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  // A crash while the backups go must not bring back half of them.
  if (journal_ && !journal_->MarkPointOfNoReturn())
    LOG(ERROR) << "The commit is not recorded: an interruption now would undo it";
  for (const Performed& performed : operations_) {
    performed.operation->Commit();
    if (left_behind)
      performed.operation->GetLeftBehind(left_behind);
  }
  operations_.clear();
  unjournaled_ = 0;
  if (journal_) {
    journal_->Discard();
    journal_.reset();
  }
}

bool Transaction::Do(std::unique_ptr<Operation> operation) {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  if (!operation) {
    LOG(ERROR) << "No operation to perform";
    return false;
  }
  const size_t mark = journal_ ? journal_->size() : 0;
  operation->set_journal(journal_.get());
  if (!operation->Do()) {
    operation->Rollback();
    if (journal_)
      journal_->TruncateTo(mark);
    return false;
  }
  operations_.push_back(Performed{std::move(operation), mark});
  return true;
}

void Transaction::Rollback() {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  if (journal_)
    journal_->RevokePointOfNoReturn();
  while (!operations_.empty()) {
    // The journal goes before what was done without it: it may lie in a folder that one
    // of those operations made.
    if (journal_ && operations_.size() == unjournaled_) {
      journal_->Discard();
      journal_.reset();
    }
    // Taken out first, so that the transaction never holds an undone operation.
    Performed performed = std::move(operations_.back());
    operations_.pop_back();
    performed.operation->Rollback();
    if (journal_)
      journal_->TruncateTo(performed.journal_mark);
  }
  unjournaled_ = 0;
  if (journal_) {
    journal_->Discard();
    journal_.reset();
  }
}

void Transaction::AttachJournal(std::unique_ptr<UndoJournal> journal) {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  DCHECK(!journal_);
  journal_ = std::move(journal);
  unjournaled_ = operations_.size();
}

void Transaction::DetachJournal() {
  DCHECK(thread_id_ == ::GetCurrentThreadId());
  if (!journal_)
    return;
  journal_->Discard();
  journal_.reset();
  for (Performed& performed : operations_)
    performed.operation->set_journal(nullptr);
  unjournaled_ = operations_.size();
}

bool Transaction::PassPointOfNoReturn() {
  return !journal_ || journal_->MarkPointOfNoReturn();
}

}  // namespace installer
