#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_

namespace installer {

// One undoable change of the file system or the registry, run through a Transaction.
//
// Do() makes the change and remembers what it replaced. Rollback() undoes whatever Do()
// managed to do, also after a Do() that failed half way, and may be called when Do() did
// nothing at all. Commit() makes the change final: it drops what was kept aside for an
// undo (a replaced or deleted file, for instance). An operation is either rolled back or
// committed, never both.
class Operation {
 public:
  virtual ~Operation() = default;

  // True when the change was made. On false the operation logs why.
  virtual bool Do() = 0;
  virtual void Rollback() = 0;
  virtual void Commit() {}

 protected:
  Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
