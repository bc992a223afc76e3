#include "desktop/windows/installer/service/transactions/preserve_file_operation.h"

#include <windows.h>

#include <stdint.h>

#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/values.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

namespace {

// The largest file kept: the loader of status files reads no more either.
constexpr int64_t kMaxKeptSize = 32 * 1024 * 1024;

}  // namespace

PreserveFileOperation::PreserveFileOperation(const base::FilePath& path) : path_(path) {}

PreserveFileOperation::~PreserveFileOperation() = default;

bool PreserveFileOperation::Do() {
  if (!base::PathExists(path_)) {
    if (!Journal(*undo_record::FileKept(path_, nullptr, base::FilePath())))
      return false;
    owns_path_ = true;
    return true;
  }
  if (base::DirectoryExists(path_)) {
    LOG(ERROR) << "Cannot keep " << path_ << " for an undo: it is a folder";
    return false;
  }
  // The journal holds the contents themselves: a copy cut short by a crash is never what
  // a later run puts back.
  std::string contents;
  int64_t size = 0;
  if (journal() && (!base::GetFileSize(path_, &size) || size > kMaxKeptSize ||
                    !base::ReadFileToString(path_, &contents))) {
    LOG(ERROR) << "Cannot keep " << path_ << " for an undo: it cannot be read whole";
    return false;
  }
  const auto record = [this, &contents](const base::FilePath& backup) {
    return Journal(*undo_record::FileKept(path_, &contents, backup));
  };
  if (!original_.KeepCopy(path_, record)) {
    PLOG(ERROR) << "Cannot keep " << path_ << " for an undo";
    return false;
  }
  owns_path_ = true;
  return true;
}

void PreserveFileOperation::Rollback() {
  if (!owns_path_)
    return;
  owns_path_ = false;
  if (original_.IsHeld()) {
    original_.Restore();
  } else if (!base::DeletePath(path_, false)) {
    LOG(ERROR) << "Cannot remove " << path_ << ", which was not there before";
  }
}

void PreserveFileOperation::Commit() {
  original_.Discard();
}

}  // namespace installer
