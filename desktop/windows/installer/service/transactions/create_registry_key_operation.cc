#include "desktop/windows/installer/service/transactions/create_registry_key_operation.h"

#include "base/logging.h"
#include "base/strings/string_split.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

CreateRegistryKeyOperation::CreateRegistryKeyOperation(HKEY root,
                                                       const std::wstring& key_path,
                                                       REGSAM access_flags,
                                                       bool* existed)
    : root_(root),
      components_(
          base::SplitString(key_path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)),
      key_path_(JoinRegistryKeyPath(components_, components_.size())),
      access_flags_(access_flags),
      existed_(existed),
      created_keys_(root, access_flags) {}

CreateRegistryKeyOperation::~CreateRegistryKeyOperation() = default;

bool CreateRegistryKeyOperation::Do() {
  *existed_ = false;
  if (components_.empty()) {
    LOG(ERROR) << "Cannot create a registry key without a path";
    return false;
  }
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  base::win::RegistryKey key;
  DWORD disposition = 0;
  const LONG result = created_keys_.Create(
      components_, KEY_QUERY_VALUE,
      [this, view](const std::wstring& path) {
        return Journal(*undo_record::RegistryKeyCreated(root_, view, path));
      },
      &key, &disposition);
  // A key this process may not open is there all the same: another owner's.
  const bool denied_existing =
      result == ERROR_ACCESS_DENIED &&
      base::win::RegistryKey().Open(root_, key_path_.c_str(), KEY_QUERY_VALUE | access_flags_) !=
          ERROR_FILE_NOT_FOUND;
  if (result != ERROR_SUCCESS && !denied_existing) {
    ELOG(ERROR, result) << "Cannot create the registry key " << key_path_;
    return false;
  }
  if (denied_existing || disposition != REG_CREATED_NEW_KEY) {
    VLOG(1) << "The registry key " << key_path_ << " exists already";
    *existed_ = true;
    return false;
  }
  return true;
}

void CreateRegistryKeyOperation::Rollback() {
  created_keys_.RemoveEmpty();
}

}  // namespace installer
