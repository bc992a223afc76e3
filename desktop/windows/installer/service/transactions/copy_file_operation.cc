#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"

namespace installer {

CopyFileOperation::CopyFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : source_(source), destination_(destination), create_folder_(destination.DirName()) {}

CopyFileOperation::~CopyFileOperation() = default;

bool CopyFileOperation::Do() {
  if (!base::PathExists(source_) || base::DirectoryExists(source_)) {
    LOG(ERROR) << "Cannot copy " << source_ << ": no such file";
    return false;
  }
  if (!create_folder_.Do())
    return false;
  if (base::DirectoryExists(destination_)) {
    LOG(ERROR) << "Cannot copy " << source_ << " to " << destination_ << ": a folder is in the way";
    return false;
  }
  if (base::PathExists(destination_) && !replaced_.SetAside(destination_)) {
    PLOG(ERROR) << "Cannot copy " << source_ << " over " << destination_
                << ": the old file cannot be moved aside";
    return false;
  }
  copying_ = true;
  // CopySingleFile logs its failures.
  return base::CopySingleFile(source_, destination_);
}

void CopyFileOperation::Rollback() {
  if (copying_) {
    copying_ = false;
    if (!base::DeletePath(destination_, false))
      LOG(ERROR) << "Cannot remove the copy " << destination_;
  }
  replaced_.Restore();
  create_folder_.Rollback();
}

void CopyFileOperation::Commit() {
  replaced_.Discard();
}

}  // namespace installer
