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

RegistryRecord::iterator FindKey(RegistryRecord* record, const std::wstring& key_path) {
  return std::find_if(record->begin(), record->end(), [&](const RegistryKeyRecord& entry) {
    return SameRegistryName(entry.key_path, key_path);
  });
}

std::vector<RegistryValueRecord>::iterator FindValue(RegistryKeyRecord* key,
                                                     const std::wstring& name) {
  return std::find_if(key->values.begin(), key->values.end(),
                      [&](const RegistryValueRecord& entry) {
                        return SameRegistryName(entry.name, name);
                      });
}

// A value change that keeps an installation's registry record true to the registry: the
// value enters the record when the change has been made and leaves it (the record back as
// it was) when the change is undone. The record must outlive the operation.
class RecordedValueChange : public Operation {
 public:
  RecordedValueChange(std::unique_ptr<Operation> change,
                      RegistryRecord* record,
                      unsigned clean_depth,
                      std::wstring key_path,
                      RegistryValueRecord value)
      : change_(std::move(change)),
        record_(record),
        clean_depth_(clean_depth),
        key_path_(std::move(key_path)),
        value_(std::move(value)) {}

  bool Do() override {
    if (!change_->Do())
      return false;
    Record();
    return true;
  }

  void Rollback() override {
    change_->Rollback();
    if (recorded_)
      Unrecord();
  }

  void Commit() override { change_->Commit(); }

  void set_journal(UndoJournal* journal) override {
    Operation::set_journal(journal);
    change_->set_journal(journal);
  }

  // Enters the value into the record, its key with it.
  void Record() {
    auto key = FindKey(record_, key_path_);
    added_key_ = key == record_->end();
    if (added_key_) {
      record_->push_back(RegistryKeyRecord{clean_depth_, key_path_, {}});
      key = record_->end() - 1;
    }
    previous_clean_depth_ = key->clean_depth;
    // Rows of one key may disagree: the installation owns the most any of them claims.
    key->clean_depth = std::max(key->clean_depth, clean_depth_);
    auto value = FindValue(&*key, value_.name);
    had_value_ = value != key->values.end();
    if (had_value_) {
      previous_value_ = *value;
      *value = value_;
    } else {
      key->values.push_back(value_);
    }
    recorded_ = true;
  }

 private:

  // Operations are undone last first, so the record is as this one left it.
  void Unrecord() {
    recorded_ = false;
    auto key = FindKey(record_, key_path_);
    if (key == record_->end())
      return;
    auto value = FindValue(&*key, value_.name);
    if (had_value_ && value != key->values.end())
      *value = previous_value_;
    else if (!had_value_ && value != key->values.end())
      key->values.erase(value);
    key->clean_depth = previous_clean_depth_;
    if (added_key_ && key->values.empty())
      record_->erase(key);
  }

  const std::unique_ptr<Operation> change_;
  RegistryRecord* const record_;
  const unsigned clean_depth_;
  const std::wstring key_path_;
  const RegistryValueRecord value_;

  // What Record changed, for Unrecord.
  bool recorded_ = false;
  bool added_key_ = false;
  unsigned previous_clean_depth_ = 0;
  bool had_value_ = false;
  RegistryValueRecord previous_value_;
};

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
  *operation = std::make_unique<ChangeRegistryValueOperation>(
      root, key_path, value_name, std::move(data), row_.type, row_.access_flags);
  if (RegistryRecord* record = resolver_->GetRegistryRecord(root)) {
    *operation = std::make_unique<RecordedValueChange>(
        std::move(*operation), record, row_.clean_depth, key_path,
        RegistryValueRecord{value_name, type_name, data_text});
  }
  return true;
}

bool RegistryEntry::AddToRecord(HKEY root, RegistryRecord* record) {
  // The row's own operation, made against a resolver that hands out |record|, enters the
  // value as it would once performed; it is never performed.
  class Redirect : public RegistryVariableResolver {
   public:
    Redirect(RegistryVariableResolver* resolver, RegistryRecord* record)
        : resolver_(resolver), record_(record) {}
    std::wstring ResolveVariable(const std::wstring& name) override {
      return resolver_->ResolveVariable(name);
    }
    RegistryRecord* GetRegistryRecord(HKEY) override { return record_; }

   private:
    RegistryVariableResolver* const resolver_;
    RegistryRecord* const record_;
  } redirect(resolver_, record);
  std::unique_ptr<Operation> operation;
  if (!RegistryEntry(row_, &redirect).CreateOperation(root, &operation))
    return false;
  // Deletions and rows that do not apply leave nothing to record.
  if (operation && row_.type != kRegistryRowDeleteKey && row_.type != kRegistryRowDeleteValue)
    static_cast<RecordedValueChange*>(operation.get())->Record();
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

}  // namespace installer
