#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/values.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

MoveFileOperation::MoveFileOperation(const base::FilePath& from, const base::FilePath& to)
    : from_(from),
      to_(to),
      same_entry_(base::FilePath::CompareEqualIgnoreCase(from.value(), to.value())) {}

MoveFileOperation::~MoveFileOperation() = default;

bool MoveFileOperation::Do() {
  if (!base::PathExists(from_)) {
    LOG(ERROR) << "Cannot move " << from_ << ": it does not exist";
    return false;
  }
  const auto record = [this](const base::FilePath& backup) {
    return Journal(*undo_record::SetAside(to_, backup));
  };
  if (!same_entry_ && base::PathExists(to_) && !replaced_.SetAside(to_, record)) {
    PLOG(ERROR) << "Cannot move " << from_ << " to " << to_
                << ": what is there cannot be moved aside";
    return false;
  }
  if (!Journal(*undo_record::Moved(from_, to_)))
    return false;
  attempted_ = true;
  // MovePath logs its failures.
  moved_ = base::MovePath(from_, to_);
  return moved_;
}

void MoveFileOperation::Rollback() {
  if (moved_) {
    if (!base::MovePath(to_, from_)) {
      LOG(ERROR) << "Cannot move " << to_ << " back to " << from_;
      return;  // |to_| is still taken: what it replaced cannot go back.
    }
  } else if (attempted_ && !same_entry_ && base::PathExists(to_)) {
    // A move to another volume that copied the file but could not delete the source:
    // the copy is this operation's.
    if (!base::DeletePath(to_, false))
      LOG(ERROR) << "Cannot remove the copy " << to_;
  }
  attempted_ = false;
  moved_ = false;
  replaced_.Restore();
}

void MoveFileOperation::Commit() {
  replaced_.Discard();
}

}  // namespace installer
