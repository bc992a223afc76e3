#include "desktop/windows/installer/service/transactions/created_registry_keys.h"

#include <utility>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/win/registry.h"

namespace installer {

namespace {

// Whether the key has neither values nor subkeys. False when it cannot be queried.
bool IsKeyEmpty(HKEY root, const std::wstring& path, REGSAM view) {
  base::win::RegistryKey key;
  if (key.Open(root, path.c_str(), KEY_QUERY_VALUE | view) != ERROR_SUCCESS)
    return false;
  DWORD subkeys = 0;
  DWORD values = 0;
  return ::RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

}  // namespace

std::wstring JoinRegistryKeyPath(const std::vector<std::wstring>& components, size_t count) {
  return base::JoinString(std::vector<std::wstring>(components.begin(), components.begin() + count),
                          L"\\");
}

CreatedRegistryKeys::CreatedRegistryKeys(HKEY root, REGSAM access_flags)
    : root_(root), access_flags_(access_flags) {}

CreatedRegistryKeys::~CreatedRegistryKeys() = default;

LONG CreatedRegistryKeys::Create(const std::vector<std::wstring>& components,
                                 REGSAM access,
                                 const JournalCallback& journal,
                                 base::win::RegistryKey* key,
                                 DWORD* disposition) {
  DCHECK(!components.empty());
  // The deepest existing ancestor; creation starts below it.
  base::win::RegistryKey current;
  size_t existing = components.size() - 1;
  for (; existing > 0; --existing) {
    const LONG result = current.Open(root_, JoinRegistryKeyPath(components, existing).c_str(),
                                     KEY_CREATE_SUB_KEY | access_flags_);
    if (result == ERROR_SUCCESS)
      break;
    if (result != ERROR_FILE_NOT_FOUND)
      return result;
  }
  DWORD last_disposition = 0;
  for (size_t i = existing; i < components.size(); ++i) {
    const std::wstring path = JoinRegistryKeyPath(components, i + 1);
    if (!journal(path))
      return ERROR_CANNOT_MAKE;
    const bool last = i + 1 == components.size();
    // Each key is created through its parent's handle: the path cannot change under it.
    const LONG result =
        current.Create(current.Valid() ? current.Handle() : root_, components[i].c_str(),
                       (last ? access : KEY_CREATE_SUB_KEY) | access_flags_, &last_disposition);
    if (result != ERROR_SUCCESS)
      return result;
    if (last_disposition == REG_CREATED_NEW_KEY)
      created_.push_back(path);
  }
  if (disposition)
    *disposition = last_disposition;
  *key = std::move(current);
  return ERROR_SUCCESS;
}

void CreatedRegistryKeys::RemoveEmpty() {
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  while (!created_.empty()) {
    const std::wstring path = created_.back();
    created_.pop_back();
    if (!IsKeyEmpty(root_, path, view)) {
      LOG(INFO) << "Keeping the registry key " << path << ": it is not empty";
      break;  // Its parents are not empty either.
    }
    const LONG result = ::RegDeleteKeyExW(root_, path.c_str(), view, 0);
    if (result != ERROR_SUCCESS) {
      ELOG(WARNING, result) << "Cannot delete the registry key " << path;
      break;
    }
  }
  created_.clear();
}

}  // namespace installer
