#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"

#include <string.h>

#include <utility>

#include "base/logging.h"
#include "base/values.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

namespace {

std::wstring JoinKeyPath(const std::vector<std::wstring>& components, size_t count) {
  return base::JoinString(std::vector<std::wstring>(components.begin(), components.begin() + count),
                          L"\\");
}

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

ChangeRegistryValueOperation::ChangeRegistryValueOperation(HKEY root,
                                                           const std::wstring& key_path,
                                                           const std::wstring& value_name,
                                                           std::vector<uint8_t> data,
                                                           DWORD type,
                                                           REGSAM access_flags)
    : root_(root),
      components_(
          base::SplitString(key_path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)),
      key_path_(JoinKeyPath(components_, components_.size())),
      value_name_(value_name),
      data_(std::move(data)),
      type_(type),
      access_flags_(access_flags) {}

ChangeRegistryValueOperation::~ChangeRegistryValueOperation() = default;

// static
std::vector<uint8_t> ChangeRegistryValueOperation::TextData(std::wstring_view text) {
  std::vector<uint8_t> data((text.size() + 1) * sizeof(wchar_t), 0);
  if (!text.empty())
    memcpy(data.data(), text.data(), text.size() * sizeof(wchar_t));
  return data;
}

// static
std::vector<uint8_t> ChangeRegistryValueOperation::DwordData(DWORD value) {
  std::vector<uint8_t> data(sizeof(value));
  memcpy(data.data(), &value, sizeof(value));
  return data;
}

bool ChangeRegistryValueOperation::Do() {
  DCHECK(!changed_ && created_keys_.empty());
  if (components_.empty()) {
    LOG(ERROR) << "Cannot change the registry value " << value_name_ << ": no key";
    return false;
  }
  if (data_.size() > MAXDWORD) {
    LOG(ERROR) << "Cannot write the registry value " << value_name_ << ": too much data";
    return false;
  }
  base::win::RegistryKey key;
  LONG result = key.Open(root_, key_path_.c_str(), KEY_QUERY_VALUE | KEY_SET_VALUE | access_flags_);
  if (result == ERROR_FILE_NOT_FOUND) {
    if (type_ == kDeleteValue) {
      VLOG(1) << "No value " << value_name_ << " to delete: no key " << key_path_;
      return true;
    }
    result = CreateKey(&key);
  }
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot open or create the registry key " << key_path_;
    return false;
  }

  result = key.ReadRawValue(value_name_.c_str(), &previous_type_, &previous_data_);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    ELOG(ERROR, result) << "Cannot read the registry value " << value_name_ << " of " << key_path_;
    return false;
  }
  had_previous_ = result == ERROR_SUCCESS;

  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (type_ == kDeleteValue && !had_previous_)
    return true;
  if (!Journal(*undo_record::RegistryValueChanged(root_, view, key_path_, value_name_,
                                                  had_previous_, previous_type_,
                                                  previous_data_))) {
    return false;
  }
  if (type_ == kDeleteValue) {
    changed_ = true;
    result = key.DeleteValue(value_name_.c_str());
  } else {
    changed_ = true;
    result =
        key.WriteValue(value_name_.c_str(), data_.data(), static_cast<DWORD>(data_.size()), type_);
  }
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot " << (type_ == kDeleteValue ? "delete" : "write")
                        << " the registry value " << value_name_ << " of " << key_path_;
    return false;
  }
  return true;
}

void ChangeRegistryValueOperation::Rollback() {
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (changed_) {
    changed_ = false;
    base::win::RegistryKey key;
    LONG result = key.Open(root_, key_path_.c_str(), KEY_SET_VALUE | access_flags_);
    if (result == ERROR_SUCCESS) {
      if (had_previous_) {
        result = key.WriteValue(value_name_.c_str(), previous_data_.data(),
                                static_cast<DWORD>(previous_data_.size()), previous_type_);
      } else {
        result = key.DeleteValue(value_name_.c_str());
        if (result == ERROR_FILE_NOT_FOUND)
          result = ERROR_SUCCESS;
      }
    }
    if (result != ERROR_SUCCESS) {
      ELOG(ERROR, result) << "Cannot restore the registry value " << value_name_ << " of "
                          << key_path_;
    }
  }
  while (!created_keys_.empty()) {
    const std::wstring path = created_keys_.back();
    created_keys_.pop_back();
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
  created_keys_.clear();
}

LONG ChangeRegistryValueOperation::CreateKey(base::win::RegistryKey* key) {
  // The deepest existing ancestor; creation starts below it.
  base::win::RegistryKey current;
  size_t existing = components_.size() - 1;
  for (; existing > 0; --existing) {
    const LONG result = current.Open(root_, JoinKeyPath(components_, existing).c_str(),
                                     KEY_CREATE_SUB_KEY | access_flags_);
    if (result == ERROR_SUCCESS)
      break;
    if (result != ERROR_FILE_NOT_FOUND)
      return result;
  }
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  for (size_t i = existing; i < components_.size(); ++i) {
    if (!Journal(*undo_record::RegistryKeyCreated(root_, view, JoinKeyPath(components_, i + 1))))
      return ERROR_CANNOT_MAKE;
    const bool last = i + 1 == components_.size();
    const REGSAM access = last ? KEY_QUERY_VALUE | KEY_SET_VALUE : KEY_CREATE_SUB_KEY;
    DWORD disposition = 0;
    const LONG result =
        current.Create(current.Valid() ? current.Handle() : root_, components_[i].c_str(),
                       access | access_flags_, &disposition);
    if (result != ERROR_SUCCESS)
      return result;
    if (disposition == REG_CREATED_NEW_KEY)
      created_keys_.push_back(JoinKeyPath(components_, i + 1));
  }
  *key = std::move(current);
  return ERROR_SUCCESS;
}

}  // namespace installer
