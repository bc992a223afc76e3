#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_

#include <windows.h>

#include <memory>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// A sequence of performed operations that can be undone together. Destroying the
// transaction commits the operations it still holds, in the order they were done.
// A transaction belongs to the thread that created it.
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
  void Commit();

 private:
  const DWORD thread_id_;
  std::vector<std::unique_ptr<Operation>> operations_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
