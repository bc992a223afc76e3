#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/values.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

namespace {

// |path| without empty components (doubled, leading or trailing backslashes).
std::wstring NormalizeKeyPath(const std::wstring& path) {
  return base::JoinString(
      base::SplitString(path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY), L"\\");
}

}  // namespace

DeleteRegistryKeyOperation::DeleteRegistryKeyOperation(HKEY root,
                                                       const std::wstring& key_path,
                                                       REGSAM access_flags)
    : root_(root), key_path_(NormalizeKeyPath(key_path)), access_flags_(access_flags) {}

DeleteRegistryKeyOperation::~DeleteRegistryKeyOperation() = default;

bool DeleteRegistryKeyOperation::Do() {
  DCHECK(!deleting_);
  // An empty path would name the root itself.
  if (key_path_.empty()) {
    LOG(ERROR) << "Cannot delete a registry key without a path";
    return false;
  }
  base::win::RegistryKey key;
  LONG result = key.Open(root_, key_path_.c_str(), KEY_READ | access_flags_);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "No registry key " << key_path_ << " to delete";
    return true;
  }
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot open the registry key " << key_path_;
    return false;
  }
  key.Close();

  const size_t separator = key_path_.rfind(L'\\');
  const std::wstring parent_path =
      separator == std::wstring::npos ? std::wstring() : key_path_.substr(0, separator);
  saved_ = RegistryTree();
  saved_.name = separator == std::wstring::npos ? key_path_ : key_path_.substr(separator + 1);
  // The name as stored, so that the undo brings back its exact spelling.
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  for (base::win::RegistryKeyIterator it(root_, parent_path.c_str(), view); it.Valid(); ++it) {
    if (base::FilePath::CompareEqualIgnoreCase(it.Name(), saved_.name)) {
      saved_.name = it.Name();
      break;
    }
  }
  if (!RegistryTree::Read(root_, key_path_, access_flags_, &saved_)) {
    LOG(ERROR) << "Not deleting the registry key " << key_path_ << ": it cannot be read whole";
    return false;
  }

  // The parent, opened in the view, deletes the tree in the same view.
  base::win::RegistryKey parent;
  result = parent.Open(root_, parent_path.c_str(), KEY_READ | access_flags_);
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot open the registry key " << parent_path;
    return false;
  }
  const std::wstring stored_path =
      parent_path.empty() ? saved_.name : parent_path + L"\\" + saved_.name;
  if (!Journal(*undo_record::RegistryKeyDeleted(root_, view, stored_path, saved_)))
    return false;
  deleting_ = true;
  result = parent.DeleteKey(saved_.name.c_str());
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot delete the registry key " << key_path_;
    return false;
  }
  return true;
}

void DeleteRegistryKeyOperation::Rollback() {
  if (!deleting_)
    return;
  deleting_ = false;
  const size_t separator = key_path_.rfind(L'\\');
  base::win::RegistryKey parent;
  LONG result = ERROR_SUCCESS;
  if (separator != std::wstring::npos) {
    result = parent.Create(root_, key_path_.substr(0, separator).c_str(),
                           KEY_CREATE_SUB_KEY | access_flags_);
  }
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot restore the registry key " << key_path_;
    return;
  }
  if (!saved_.Write(parent.Valid() ? parent.Handle() : root_, access_flags_))
    LOG(ERROR) << "The registry key " << key_path_ << " was not restored completely";
  saved_ = RegistryTree();
}

}  // namespace installer
