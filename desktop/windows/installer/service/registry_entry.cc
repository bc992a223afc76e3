#include "desktop/windows/installer/service/registry_entry.h"

#include <stdint.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"
#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"

namespace installer {

static_assert(kRegistryRowDeleteValue == ChangeRegistryValueOperation::kDeleteValue,
              "a value-deleting row is a value change of the deleting type");

namespace {

// Registry names compare without regard to case.
bool SameRegistryName(const std::wstring& a, const std::wstring& b) {
  return base::FilePath::CompareEqualIgnoreCase(a, b);
}

}  // namespace

RegistryEntry::RegistryEntry(const RegistryTemplateRow& row, RegistryVariableResolver* resolver)
    : row_(row), resolver_(resolver) {
  DCHECK(resolver_);
}

RegistryEntry::~RegistryEntry() = default;

bool RegistryEntry::CreateOperation(HKEY root, std::unique_ptr<Operation>* operation) {
  operation->reset();
  if (static_cast<int32_t>(base::win::GetWindowsVersion()) < row_.min_windows_version ||
      (row_.root && row_.root != root) || GetCurrentStream() < row_.min_stream) {
    return true;
  }

  std::wstring key_path;
  if (!row_.key || !Expand(row_.key, &key_path) ||
      base::SplitString(key_path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)
          .empty()) {
    LOG(ERROR) << "Cannot convert the registry row of key " << (row_.key ? row_.key : L"(none)")
               << ": no valid key";
    return false;
  }
  std::wstring value_name;
  if (row_.value_name && !Expand(row_.value_name, &value_name)) {
    LOG(ERROR) << "Cannot convert the registry row of key " << row_.key << ": bad value name "
               << row_.value_name;
    return false;
  }

  std::vector<uint8_t> data;
  std::wstring data_text;
  const wchar_t* type_name = nullptr;
  switch (row_.type) {
    case kRegistryRowDeleteKey:
      *operation = std::make_unique<DeleteRegistryKeyOperation>(root, key_path, row_.access_flags);
      return true;
    case kRegistryRowDeleteValue:
      *operation = std::make_unique<ChangeRegistryValueOperation>(
          root, key_path, value_name, std::vector<uint8_t>(),
          ChangeRegistryValueOperation::kDeleteValue, row_.access_flags);
      return true;
    case REG_SZ:
    case REG_EXPAND_SZ:
      if (row_.data.text && !Expand(row_.data.text, &data_text)) {
        LOG(ERROR) << "Cannot convert the registry row of key " << row_.key
                   << ": bad data template " << row_.data.text;
        return false;
      }
      data = ChangeRegistryValueOperation::TextData(data_text);
      type_name = row_.type == REG_SZ ? L"REG_SZ" : L"REG_EXPAND_SZ";
      break;
    case REG_DWORD:
      data = ChangeRegistryValueOperation::DwordData(row_.data.number);
      data_text = base::UintToWideString(row_.data.number);
      type_name = L"REG_DWORD";
      break;
    case REG_BINARY:
      if (row_.data.text &&
          (!Expand(row_.data.text, &data_text) ||
           (!data_text.empty() && !base::HexStringToBytes(base::Utf16ToUtf8(data_text), &data)))) {
        LOG(ERROR) << "Cannot convert the registry row of key " << row_.key << ": bad binary data "
                   << row_.data.text;
        return false;
      }
      type_name = L"REG_BINARY";
      break;
    case REG_NONE:
      type_name = L"REG_NONE";
      break;
    default:
      LOG(ERROR) << "Cannot convert the registry row of key " << row_.key << ": unknown type "
                 << row_.type;
      return false;
  }
  Record(root, key_path, value_name, type_name, data_text);
  *operation = std::make_unique<ChangeRegistryValueOperation>(
      root, key_path, value_name, std::move(data), row_.type, row_.access_flags);
  return true;
}

bool RegistryEntry::Expand(const wchar_t* text, std::wstring* expanded) {
  expanded->clear();
  const std::wstring_view source(text);
  size_t position = 0;
  while (position < source.size()) {
    const size_t open = source.find(L'{', position);
    if (open == std::wstring_view::npos) {
      expanded->append(source.substr(position));
      break;
    }
    expanded->append(source.substr(position, open - position));
    // The name ends at the first brace; another "{" before the "}" is malformed.
    const size_t close = source.find_first_of(L"{}", open + 1);
    if (close == std::wstring_view::npos || source[close] != L'}' || close == open + 1)
      return false;
    expanded->append(
        resolver_->ResolveVariable(std::wstring(source.substr(open + 1, close - open - 1))));
    position = close + 1;
  }
  return true;
}

void RegistryEntry::Record(HKEY root,
                           const std::wstring& key_path,
                           const std::wstring& value_name,
                           const wchar_t* type_name,
                           const std::wstring& data) {
  RegistryRecord* record = resolver_->GetRegistryRecord(root);
  if (!record)
    return;
  auto key = std::find_if(record->begin(), record->end(), [&](const RegistryKeyRecord& entry) {
    return SameRegistryName(entry.key_path, key_path);
  });
  if (key == record->end()) {
    record->push_back(RegistryKeyRecord{row_.clean_depth, key_path, {}});
    key = record->end() - 1;
  } else {
    // Rows of one key may disagree: the installation owns the most any of them claims.
    key->clean_depth = std::max<unsigned>(key->clean_depth, row_.clean_depth);
  }
  RegistryValueRecord value{value_name, type_name, data};
  auto existing = std::find_if(
      key->values.begin(), key->values.end(),
      [&](const RegistryValueRecord& entry) { return SameRegistryName(entry.name, value_name); });
  if (existing == key->values.end())
    key->values.push_back(std::move(value));
  else
    *existing = std::move(value);
}

}  // namespace installer
