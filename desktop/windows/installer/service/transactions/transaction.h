#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_

#include <windows.h>

#include <stddef.h>

#include <memory>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class UndoJournal;

// A sequence of performed operations that can be undone together. Destroying the
// transaction commits the operations it still holds, in the order they were done.
// A transaction belongs to the thread that created it.
//
// With an undo journal attached, every operation done from then on writes its undo into the
// journal first (operation.h), so that what a crash leaves can be undone by a later run;
// the rollback takes each operation's records off the journal as it undoes it, and the
// journal is deleted when the transaction has rolled back or committed.
class Transaction {
 public:
  Transaction();
  ~Transaction();

  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Performs |operation| and keeps it. When it fails, its own partial work is undone
  // at once, it is dropped, and false is returned; the operations done before stay.
  bool Do(std::unique_ptr<Operation> operation);

  // Undoes every kept operation, the last one first, and forgets them.
  void Rollback();

  // Makes every kept operation final, in the order they were done, and forgets them.
  // |left_behind| (may be null) receives what the operations kept aside for an undo and
  // could not delete (operation.h).
  void Commit(std::vector<base::FilePath>* left_behind = nullptr);

  // Journals the operations done from now on (see above).
  void AttachJournal(std::unique_ptr<UndoJournal> journal);
  // Stops journaling: the journal is deleted, and what was done stays undoable by this
  // transaction only.
  void DetachJournal();
  UndoJournal* journal() const { return journal_.get(); }

  // Nothing that follows can fail the run: should the process end before the transaction
  // does, a later run finishes it (deletes what was kept for an undo) rather than undoing
  // it. A rollback still undoes everything. False when the journal could not record it.
  bool PassPointOfNoReturn();

 private:
  struct Performed {
    std::unique_ptr<Operation> operation;
    // The journal's size before the operation wrote into it.
    size_t journal_mark = 0;
  };

  const DWORD thread_id_;
  std::vector<Performed> operations_;
  std::unique_ptr<UndoJournal> journal_;
  // The operations performed before the journal was attached.
  size_t unjournaled_ = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
