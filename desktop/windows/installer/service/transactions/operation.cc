#include "desktop/windows/installer/service/transactions/operation.h"

#include "desktop/windows/installer/service/transactions/undo_journal.h"

namespace installer {

bool Operation::Journal(const base::DictionaryValue& record) const {
  return !journal_ || journal_->Append(record);
}

}  // namespace installer
