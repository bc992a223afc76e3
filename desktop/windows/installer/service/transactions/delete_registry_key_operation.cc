#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/win/registry.h"

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
  saved_ = SavedKey();
  saved_.name = separator == std::wstring::npos ? key_path_ : key_path_.substr(separator + 1);
  // The name as stored, so that the undo brings back its exact spelling.
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  for (base::win::RegistryKeyIterator it(root_, parent_path.c_str(), view); it.Valid(); ++it) {
    if (base::FilePath::CompareEqualIgnoreCase(it.Name(), saved_.name)) {
      saved_.name = it.Name();
      break;
    }
  }
  if (!SaveKey(key_path_, &saved_)) {
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
  if (!RestoreKey(parent.Valid() ? parent.Handle() : root_, saved_))
    LOG(ERROR) << "The registry key " << key_path_ << " was not restored completely";
  saved_ = SavedKey();
}

bool DeleteRegistryKeyOperation::SaveKey(const std::wstring& path, SavedKey* saved) const {
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  base::win::RegistryKey key;
  const LONG result = key.Open(root_, path.c_str(), KEY_READ | access_flags_);
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot open the registry key " << path;
    return false;
  }
  // The iterators stop quietly on an error: the counts tell whether all was read.
  base::win::RegistryValueIterator values(root_, path.c_str(), view);
  const DWORD value_count = values.ValueCount();
  for (; values.Valid(); ++values)
    saved->values.push_back(SavedValue{values.Name(), values.Type(), values.Data()});
  if (saved->values.size() != value_count) {
    LOG(ERROR) << "Read " << saved->values.size() << " of " << value_count
               << " values of the registry key " << path;
    return false;
  }
  base::win::RegistryKeyIterator subkeys(root_, path.c_str(), view);
  const DWORD subkey_count = subkeys.SubkeyCount();
  for (; subkeys.Valid(); ++subkeys) {
    saved->subkeys.emplace_back();
    saved->subkeys.back().name = subkeys.Name();
  }
  if (saved->subkeys.size() != subkey_count) {
    LOG(ERROR) << "Read " << saved->subkeys.size() << " of " << subkey_count
               << " subkeys of the registry key " << path;
    return false;
  }
  for (SavedKey& subkey : saved->subkeys) {
    if (!SaveKey(path + L"\\" + subkey.name, &subkey))
      return false;
  }
  return true;
}

bool DeleteRegistryKeyOperation::RestoreKey(HKEY parent, const SavedKey& saved) const {
  base::win::RegistryKey key;
  LONG result =
      key.Create(parent, saved.name.c_str(), KEY_SET_VALUE | KEY_CREATE_SUB_KEY | access_flags_);
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot create the registry key " << saved.name;
    return false;
  }
  bool complete = true;
  for (const SavedValue& value : saved.values) {
    result = key.WriteValue(value.name.c_str(), value.data.data(),
                            static_cast<DWORD>(value.data.size()), value.type);
    if (result != ERROR_SUCCESS) {
      ELOG(ERROR, result) << "Cannot restore the registry value " << value.name << " of "
                          << saved.name;
      complete = false;
    }
  }
  for (const SavedKey& subkey : saved.subkeys)
    complete = RestoreKey(key.Handle(), subkey) && complete;
  return complete;
}

}  // namespace installer
