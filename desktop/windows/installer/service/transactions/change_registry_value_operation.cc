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

ChangeRegistryValueOperation::ChangeRegistryValueOperation(HKEY root,
                                                           const std::wstring& key_path,
                                                           const std::wstring& value_name,
                                                           std::vector<uint8_t> data,
                                                           DWORD type,
                                                           REGSAM access_flags)
    : root_(root),
      components_(
          base::SplitString(key_path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)),
      key_path_(JoinRegistryKeyPath(components_, components_.size())),
      value_name_(value_name),
      data_(std::move(data)),
      type_(type),
      access_flags_(access_flags),
      created_keys_(root, access_flags) {}

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
  DCHECK(!changed_);
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
  created_keys_.RemoveEmpty();
}

LONG ChangeRegistryValueOperation::CreateKey(base::win::RegistryKey* key) {
  const REGSAM view = access_flags_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  return created_keys_.Create(
      components_, KEY_QUERY_VALUE | KEY_SET_VALUE,
      [this, view](const std::wstring& path) {
        return Journal(*undo_record::RegistryKeyCreated(root_, view, path));
      },
      key, nullptr);
}

}  // namespace installer
