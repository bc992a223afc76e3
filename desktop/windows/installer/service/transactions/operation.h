#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_

#include <vector>

#include "base/files/file_path.h"

namespace base {
class DictionaryValue;
}

namespace installer {

class UndoJournal;

// One undoable change of the file system or the registry, run through a Transaction.
//
// Do() makes the change and remembers what it replaced. Rollback() undoes whatever Do()
// managed to do, also after a Do() that failed half way, and may be called when Do() did
// nothing at all. Commit() makes the change final: it drops what was kept aside for an
// undo (a replaced or deleted file, for instance). An operation is either rolled back or
// committed, never both.
//
// With a journal (set before Do), Do() writes how to undo each change into it before the
// change is made (undo_records.h), so that a later run can undo it should this process
// never get to Rollback or Commit; a change whose record cannot be written is not made.
class Operation {
 public:
  virtual ~Operation() = default;

  // True when the change was made. On false the operation logs why.
  virtual bool Do() = 0;
  virtual void Rollback() = 0;
  virtual void Commit() {}
  // After Commit: adds to |paths| what the commit could not delete of what it kept aside
  // (a running program set aside, say), so that the caller can leave it to a later deletion.
  virtual void GetLeftBehind(std::vector<base::FilePath>* paths) const {}

  // Not owned; null (the default) for no journal. Operations made of others pass it on.
  virtual void set_journal(UndoJournal* journal) { journal_ = journal; }

 protected:
  Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  UndoJournal* journal() const { return journal_; }
  // Writes |record| into the journal, if any. False when it could not be written: the
  // change it undoes must not be made.
  bool Journal(const base::DictionaryValue& record) const;

 private:
  UndoJournal* journal_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
