#include "desktop/windows/installer/service/transactions/create_folder_operation.h"

#include <windows.h>

#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/values.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

namespace {

CreateFolderOperation::CreationObserver& CreationObserverForTesting() {
  static CreateFolderOperation::CreationObserver* const observer =
      new CreateFolderOperation::CreationObserver();
  return *observer;
}

}  // namespace

// static
void CreateFolderOperation::SetCreationObserverForTesting(CreationObserver observer) {
  CreationObserverForTesting() = std::move(observer);
}

CreateFolderOperation::CreateFolderOperation(const base::FilePath& path,
                                             std::optional<Readers> protection)
    : path_(path), protection_(protection) {}

CreateFolderOperation::~CreateFolderOperation() = default;

bool CreateFolderOperation::Do() {
  DCHECK(created_.empty());
  if (path_.empty()) {
    LOG(ERROR) << "Cannot create a folder without a path";
    return false;
  }
  // The missing folders, innermost first. One look at each: a copy makes its folder
  // first, and a package has thousands of files, mostly in folders that exist by then.
  std::vector<base::FilePath> missing;
  base::FilePath current = path_;
  DWORD attributes;
  while ((attributes = ::GetFileAttributesW(current.value().c_str())) ==
         INVALID_FILE_ATTRIBUTES) {
    missing.push_back(current);
    const base::FilePath parent = current.DirName();
    if (parent == current)
      break;  // A missing root: creating it fails below with the system's reason.
    current = parent;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    LOG(ERROR) << "Cannot create folder " << path_ << ": " << current << " is a file";
    return false;
  }
  base::win::ScopedLocalAlloc security;
  if (protection_ && !missing.empty()) {
    security = MakeProtectedFolderSecurity(*protection_);
    if (!security.IsValid())
      return false;
  }
  SECURITY_ATTRIBUTES protected_attributes = {sizeof(protected_attributes), security.Get(),
                                              FALSE};
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!Journal(*undo_record::FolderCreated(*it)))
      return false;
    SECURITY_ATTRIBUTES* attributes =
        *it == path_ && security.IsValid() ? &protected_attributes : nullptr;
    if (CreationObserverForTesting())
      CreationObserverForTesting()(*it, attributes ? attributes->lpSecurityDescriptor : nullptr);
    if (::CreateDirectoryW(it->value().c_str(), attributes)) {
      created_.push_back(*it);
      continue;
    }
    const DWORD error = ::GetLastError();
    // Created by someone else in the meantime: not ours to remove.
    if (error == ERROR_ALREADY_EXISTS && base::DirectoryExists(*it))
      continue;
    ELOG(ERROR, error) << "Cannot create folder " << *it;
    return false;
  }
  return true;
}

void CreateFolderOperation::Rollback() {
  while (!created_.empty()) {
    const base::FilePath folder = created_.back();
    created_.pop_back();
    if (!::RemoveDirectoryW(folder.value().c_str())) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_DIR_NOT_EMPTY)
        LOG(INFO) << "Keeping folder " << folder << ": it is not empty";
      else
        ELOG(WARNING, error) << "Cannot remove folder " << folder;
      // Its parents are not empty either.
      created_.clear();
      return;
    }
  }
}

}  // namespace installer
