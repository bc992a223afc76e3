#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

#include <windows.h>

#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

namespace {

// Whether no other handle has the file open: an exclusive open fails against any handle
// with read, write or delete access, and asking for write access also fails for a running
// executable. A read-only file cannot be opened for writing, so it is tested without.
bool IsFileFree(const base::FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  DWORD access = DELETE | FILE_READ_DATA;
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY))
    access |= FILE_WRITE_DATA;
  base::win::ScopedHandle file(::CreateFileW(path.value().c_str(), access, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    // The caller decides what a file in use means (an uninstallation leaves it to its
    // clean-up batch).
    PLOG(WARNING) << "Cannot delete " << path << ": it cannot be opened for exclusive access";
    return false;
  }
  return true;
}

}  // namespace

DeleteFileOperation::DeleteFileOperation(const base::FilePath& path,
                                         bool check_in_use,
                                         bool remove_empty_parents)
    : path_(path), check_in_use_(check_in_use), remove_empty_parents_(remove_empty_parents) {}

DeleteFileOperation::~DeleteFileOperation() = default;

bool DeleteFileOperation::Do() {
  DCHECK(!deleted_.IsHeld());
  if (!base::PathExists(path_)) {
    VLOG(1) << "Nothing to delete at " << path_;
    return true;
  }
  if (check_in_use_ && !base::DirectoryExists(path_) && !IsFileFree(path_))
    return false;

  // What may be moved aside, innermost first: the entry, then the folders it empties.
  std::vector<base::FilePath> candidates(1, path_);
  if (remove_empty_parents_) {
    base::FilePath child = path_;
    for (;;) {
      const base::FilePath parent = child.DirName();
      if (parent == child || parent.DirName() == parent)
        break;  // Never a root.
      if (!HoldsOnly(parent, child.BaseName().value()))
        break;
      candidates.push_back(parent);
      child = parent;
    }
  }
  for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
    const base::FilePath& candidate = *it;
    const auto record = [this, &candidate](const base::FilePath& backup) {
      return Journal(*undo_record::SetAside(candidate, backup));
    };
    if (deleted_.SetAside(candidate, record)) {
      if (*it != path_)
        VLOG(1) << "Removing " << *it << ", emptied by the deletion of " << path_;
      return true;
    }
    if (*it != path_)
      PLOG(WARNING) << "Cannot remove the emptied folder " << *it;
  }
  PLOG(ERROR) << "Cannot delete " << path_;
  return false;
}

void DeleteFileOperation::Rollback() {
  deleted_.Restore();
}

void DeleteFileOperation::Commit() {
  const base::FilePath backup = deleted_.backup();
  if (!deleted_.Discard())
    left_behind_ = backup;
}

void DeleteFileOperation::GetLeftBehind(std::vector<base::FilePath>* paths) const {
  if (!left_behind_.empty())
    paths->push_back(left_behind_);
}

// static
bool DeleteFileOperation::HoldsOnly(const base::FilePath& folder, std::wstring_view child_name) {
  // An unreadable folder lists nothing: it counts as empty only when the child was seen.
  bool seen_child = false;
  base::FileEnumerator entries(folder, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    const std::wstring name = entry.BaseName().value();
    if (base::FilePath::CompareEqualIgnoreCase(name, child_name))
      seen_child = true;
    else if (!FileBackup::IsBackupName(name))
      return false;
  }
  return seen_child;
}

}  // namespace installer
