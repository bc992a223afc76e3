#include "desktop/windows/installer/service/transactions/preserve_file_operation.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"

namespace installer {

PreserveFileOperation::PreserveFileOperation(const base::FilePath& path) : path_(path) {}

PreserveFileOperation::~PreserveFileOperation() = default;

bool PreserveFileOperation::Do() {
  if (!base::PathExists(path_)) {
    owns_path_ = true;
    return true;
  }
  if (base::DirectoryExists(path_)) {
    LOG(ERROR) << "Cannot keep " << path_ << " for an undo: it is a folder";
    return false;
  }
  // The original itself is kept (with its times and attributes); a copy takes its place.
  if (!original_.SetAside(path_)) {
    PLOG(ERROR) << "Cannot keep " << path_ << " for an undo";
    return false;
  }
  owns_path_ = true;
  if (!::CopyFileW(original_.backup().value().c_str(), path_.value().c_str(), TRUE)) {
    PLOG(ERROR) << "Cannot copy " << original_.backup() << " back to " << path_;
    return false;
  }
  return true;
}

void PreserveFileOperation::Rollback() {
  // Without the original kept aside, the file at the path is still the original.
  if (!owns_path_)
    return;
  owns_path_ = false;
  if (!base::DeletePath(path_, false)) {
    LOG(ERROR) << "Cannot remove " << path_ << " to put the kept file back";
    return;
  }
  original_.Restore();
}

void PreserveFileOperation::Commit() {
  original_.Discard();
}

}  // namespace installer
