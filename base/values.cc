#include "base/values.h"

#include <cmath>
#include <utility>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

// Splits |path| at its first "." into the leading key and the rest; false when it has none.
bool SplitFirstComponent(std::string_view path,
                         std::string_view* key,
                         std::string_view* rest) {
  const size_t dot = path.find('.');
  if (dot == std::string_view::npos)
    return false;
  *key = path.substr(0, dot);
  *rest = path.substr(dot + 1);
  return true;
}

}  // namespace

// Value ----------------------------------------------------------------------------------

Value::~Value() = default;

std::unique_ptr<Value> Value::CreateNullValue() {
  return std::make_unique<Value>();
}

bool Value::GetAsBoolean(bool* out) const {
  return false;
}

bool Value::GetAsInteger(int* out) const {
  return false;
}

bool Value::GetAsDouble(double* out) const {
  return false;
}

bool Value::GetAsString(std::string* out) const {
  return false;
}

bool Value::GetAsString(std::wstring* out) const {
  return false;
}

bool Value::GetAsDictionary(DictionaryValue** out) {
  return false;
}

bool Value::GetAsDictionary(const DictionaryValue** out) const {
  return false;
}

bool Value::GetAsList(ListValue** out) {
  return false;
}

bool Value::GetAsList(const ListValue** out) const {
  return false;
}

std::unique_ptr<Value> Value::CreateDeepCopy() const {
  // Only the null value is a plain Value; every other kind overrides this.
  return CreateNullValue();
}

bool Value::Equals(const Value* other) const {
  return other && other->IsType(TYPE_NULL);
}

// ScalarValue ----------------------------------------------------------------------------

ScalarValue::ScalarValue(bool value) : Value(TYPE_BOOLEAN), boolean_value_(value) {}

ScalarValue::ScalarValue(int value) : Value(TYPE_INTEGER), integer_value_(value) {}

ScalarValue::ScalarValue(double value)
    : Value(TYPE_DOUBLE), double_value_(std::isfinite(value) ? value : 0.0) {}

ScalarValue::~ScalarValue() = default;

bool ScalarValue::GetAsBoolean(bool* out) const {
  if (!IsType(TYPE_BOOLEAN))
    return false;
  if (out)
    *out = boolean_value_;
  return true;
}

bool ScalarValue::GetAsInteger(int* out) const {
  if (!IsType(TYPE_INTEGER))
    return false;
  if (out)
    *out = integer_value_;
  return true;
}

bool ScalarValue::GetAsDouble(double* out) const {
  if (IsType(TYPE_DOUBLE)) {
    if (out)
      *out = double_value_;
    return true;
  }
  if (IsType(TYPE_INTEGER)) {
    if (out)
      *out = integer_value_;
    return true;
  }
  return false;
}

std::unique_ptr<Value> ScalarValue::CreateDeepCopy() const {
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return std::make_unique<ScalarValue>(boolean_value_);
    case TYPE_INTEGER:
      return std::make_unique<ScalarValue>(integer_value_);
    default:
      return std::make_unique<ScalarValue>(double_value_);
  }
}

bool ScalarValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType())
    return false;
  const ScalarValue* scalar = static_cast<const ScalarValue*>(other);
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return boolean_value_ == scalar->boolean_value_;
    case TYPE_INTEGER:
      return integer_value_ == scalar->integer_value_;
    default:
      return double_value_ == scalar->double_value_;
  }
}

// StringValue ----------------------------------------------------------------------------

StringValue::StringValue(std::string_view utf8) : Value(TYPE_STRING), value_(utf8) {}

StringValue::StringValue(std::wstring_view utf16)
    : Value(TYPE_STRING), value_(Utf16ToUtf8(utf16)) {}

StringValue::~StringValue() = default;

bool StringValue::GetAsString(std::string* out) const {
  if (out)
    *out = value_;
  return true;
}

bool StringValue::GetAsString(std::wstring* out) const {
  if (out)
    *out = Utf8ToUtf16(value_);
  return true;
}

std::unique_ptr<Value> StringValue::CreateDeepCopy() const {
  return std::make_unique<StringValue>(value_);
}

bool StringValue::Equals(const Value* other) const {
  return other && other->IsType(TYPE_STRING) &&
         static_cast<const StringValue*>(other)->value_ == value_;
}

// BinaryValue ----------------------------------------------------------------------------

BinaryValue::BinaryValue(std::vector<uint8_t> bytes)
    : Value(TYPE_BINARY), bytes_(std::move(bytes)) {}

BinaryValue::BinaryValue(const void* data, size_t size)
    : Value(TYPE_BINARY),
      bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

BinaryValue::~BinaryValue() = default;

std::unique_ptr<Value> BinaryValue::CreateDeepCopy() const {
  return std::make_unique<BinaryValue>(bytes_);
}

bool BinaryValue::Equals(const Value* other) const {
  return other && other->IsType(TYPE_BINARY) &&
         static_cast<const BinaryValue*>(other)->bytes_ == bytes_;
}

// DictionaryValue ------------------------------------------------------------------------

DictionaryValue::DictionaryValue() : Value(TYPE_DICTIONARY) {}

DictionaryValue::~DictionaryValue() = default;

// static
std::unique_ptr<DictionaryValue> DictionaryValue::From(std::unique_ptr<Value> value) {
  if (!value || !value->IsType(TYPE_DICTIONARY))
    return nullptr;
  return std::unique_ptr<DictionaryValue>(static_cast<DictionaryValue*>(value.release()));
}

bool DictionaryValue::HasKey(std::string_view key) const {
  return dictionary_.find(key) != dictionary_.end();
}

void DictionaryValue::Clear() {
  dictionary_.clear();
}

Value* DictionaryValue::Set(std::string_view path, std::unique_ptr<Value> value) {
  if (!value)
    return nullptr;
  DictionaryValue* current = this;
  std::string_view key;
  std::string_view rest;
  while (SplitFirstComponent(path, &key, &rest)) {
    DictionaryValue* child = nullptr;
    auto found = current->dictionary_.find(key);
    if (found == current->dictionary_.end() || !found->second->GetAsDictionary(&child)) {
      child = static_cast<DictionaryValue*>(
          current->SetWithoutPathExpansion(key, std::make_unique<DictionaryValue>()));
    }
    current = child;
    path = rest;
  }
  return current->SetWithoutPathExpansion(path, std::move(value));
}

void DictionaryValue::SetBoolean(std::string_view path, bool value) {
  Set(path, std::make_unique<ScalarValue>(value));
}

void DictionaryValue::SetInteger(std::string_view path, int value) {
  Set(path, std::make_unique<ScalarValue>(value));
}

void DictionaryValue::SetDouble(std::string_view path, double value) {
  Set(path, std::make_unique<ScalarValue>(value));
}

void DictionaryValue::SetString(std::string_view path, std::string_view utf8) {
  Set(path, std::make_unique<StringValue>(utf8));
}

void DictionaryValue::SetString(std::string_view path, std::wstring_view utf16) {
  Set(path, std::make_unique<StringValue>(utf16));
}

Value* DictionaryValue::SetWithoutPathExpansion(std::string_view key,
                                                std::unique_ptr<Value> value) {
  if (!value)
    return nullptr;
  Value* stored = value.get();
  auto found = dictionary_.find(key);
  if (found != dictionary_.end())
    found->second = std::move(value);
  else
    dictionary_.emplace(std::string(key), std::move(value));
  return stored;
}

const DictionaryValue* DictionaryValue::FindParent(std::string_view path,
                                                   std::string_view* key) const {
  const DictionaryValue* current = this;
  std::string_view component;
  std::string_view rest;
  while (SplitFirstComponent(path, &component, &rest)) {
    const Value* child = nullptr;
    if (!current->GetWithoutPathExpansion(component, &child) ||
        !child->GetAsDictionary(&current)) {
      return nullptr;
    }
    path = rest;
  }
  *key = path;
  return current;
}

bool DictionaryValue::Get(std::string_view path, const Value** out) const {
  std::string_view key;
  const DictionaryValue* parent = FindParent(path, &key);
  return parent && parent->GetWithoutPathExpansion(key, out);
}

bool DictionaryValue::Get(std::string_view path, Value** out) {
  const Value* value = nullptr;
  if (!static_cast<const DictionaryValue*>(this)->Get(path, &value))
    return false;
  if (out)
    *out = const_cast<Value*>(value);
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(std::string_view key, const Value** out) const {
  auto found = dictionary_.find(key);
  if (found == dictionary_.end())
    return false;
  if (out)
    *out = found->second.get();
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(std::string_view key, Value** out) {
  auto found = dictionary_.find(key);
  if (found == dictionary_.end())
    return false;
  if (out)
    *out = found->second.get();
  return true;
}

bool DictionaryValue::GetBoolean(std::string_view path, bool* out) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsBoolean(out);
}

bool DictionaryValue::GetInteger(std::string_view path, int* out) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsInteger(out);
}

bool DictionaryValue::GetDouble(std::string_view path, double* out) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsDouble(out);
}

bool DictionaryValue::GetString(std::string_view path, std::string* out) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out);
}

bool DictionaryValue::GetString(std::string_view path, std::wstring* out) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out);
}

bool DictionaryValue::GetStringASCII(std::string_view path, std::string* out) const {
  const Value* value = nullptr;
  if (!Get(path, &value) || !value->IsType(TYPE_STRING))
    return false;
  const std::string& text = static_cast<const StringValue*>(value)->GetString();
  if (!IsStringAscii(text))
    return false;
  if (out)
    *out = text;
  return true;
}

bool DictionaryValue::GetDictionary(std::string_view path,
                                    const DictionaryValue** out) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsDictionary(out);
}

bool DictionaryValue::GetDictionary(std::string_view path, DictionaryValue** out) {
  Value* value = nullptr;
  return Get(path, &value) && value->GetAsDictionary(out);
}

bool DictionaryValue::GetList(std::string_view path, const ListValue** out) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsList(out);
}

bool DictionaryValue::GetList(std::string_view path, ListValue** out) {
  Value* value = nullptr;
  return Get(path, &value) && value->GetAsList(out);
}

bool DictionaryValue::Remove(std::string_view path, std::unique_ptr<Value>* out) {
  std::string_view key;
  DictionaryValue* parent = const_cast<DictionaryValue*>(FindParent(path, &key));
  if (!parent)
    return false;
  auto found = parent->dictionary_.find(key);
  if (found == parent->dictionary_.end())
    return false;
  if (out)
    *out = std::move(found->second);
  parent->dictionary_.erase(found);
  return true;
}

bool DictionaryValue::GetAsDictionary(DictionaryValue** out) {
  if (out)
    *out = this;
  return true;
}

bool DictionaryValue::GetAsDictionary(const DictionaryValue** out) const {
  if (out)
    *out = this;
  return true;
}

std::unique_ptr<Value> DictionaryValue::CreateDeepCopy() const {
  std::unique_ptr<DictionaryValue> copy = std::make_unique<DictionaryValue>();
  for (const auto& member : dictionary_)
    copy->dictionary_.emplace_hint(copy->dictionary_.end(), member.first,
                                   member.second->CreateDeepCopy());
  return copy;
}

bool DictionaryValue::Equals(const Value* other) const {
  const DictionaryValue* dictionary = nullptr;
  if (!other || !other->GetAsDictionary(&dictionary))
    return false;
  if (dictionary->dictionary_.size() != dictionary_.size())
    return false;
  auto theirs = dictionary->dictionary_.begin();
  for (const auto& member : dictionary_) {
    if (member.first != theirs->first || !member.second->Equals(theirs->second.get()))
      return false;
    ++theirs;
  }
  return true;
}

// ListValue ------------------------------------------------------------------------------

ListValue::ListValue() : Value(TYPE_LIST) {}

ListValue::~ListValue() = default;

void ListValue::Clear() {
  list_.clear();
}

void ListValue::Append(std::unique_ptr<Value> value) {
  if (value)
    list_.push_back(std::move(value));
}

void ListValue::AppendBoolean(bool value) {
  list_.push_back(std::make_unique<ScalarValue>(value));
}

void ListValue::AppendInteger(int value) {
  list_.push_back(std::make_unique<ScalarValue>(value));
}

void ListValue::AppendDouble(double value) {
  list_.push_back(std::make_unique<ScalarValue>(value));
}

void ListValue::AppendString(std::string_view utf8) {
  list_.push_back(std::make_unique<StringValue>(utf8));
}

void ListValue::AppendString(std::wstring_view utf16) {
  list_.push_back(std::make_unique<StringValue>(utf16));
}

bool ListValue::Set(size_t index, std::unique_ptr<Value> value) {
  if (!value)
    return false;
  while (list_.size() < index)
    list_.push_back(CreateNullValue());
  if (index < list_.size())
    list_[index] = std::move(value);
  else
    list_.push_back(std::move(value));
  return true;
}

bool ListValue::Get(size_t index, const Value** out) const {
  if (index >= list_.size())
    return false;
  if (out)
    *out = list_[index].get();
  return true;
}

bool ListValue::Get(size_t index, Value** out) {
  if (index >= list_.size())
    return false;
  if (out)
    *out = list_[index].get();
  return true;
}

bool ListValue::GetInteger(size_t index, int* out) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsInteger(out);
}

bool ListValue::GetString(size_t index, std::string* out) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsString(out);
}

bool ListValue::GetString(size_t index, std::wstring* out) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsString(out);
}

bool ListValue::GetDictionary(size_t index, const DictionaryValue** out) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsDictionary(out);
}

bool ListValue::GetDictionary(size_t index, DictionaryValue** out) {
  Value* value = nullptr;
  return Get(index, &value) && value->GetAsDictionary(out);
}

bool ListValue::Remove(size_t index, std::unique_ptr<Value>* out) {
  if (index >= list_.size())
    return false;
  if (out)
    *out = std::move(list_[index]);
  list_.erase(list_.begin() + static_cast<ptrdiff_t>(index));
  return true;
}

bool ListValue::GetAsList(ListValue** out) {
  if (out)
    *out = this;
  return true;
}

bool ListValue::GetAsList(const ListValue** out) const {
  if (out)
    *out = this;
  return true;
}

std::unique_ptr<Value> ListValue::CreateDeepCopy() const {
  std::unique_ptr<ListValue> copy = std::make_unique<ListValue>();
  copy->list_.reserve(list_.size());
  for (const auto& value : list_)
    copy->list_.push_back(value->CreateDeepCopy());
  return copy;
}

bool ListValue::Equals(const Value* other) const {
  const ListValue* list = nullptr;
  if (!other || !other->GetAsList(&list) || list->list_.size() != list_.size())
    return false;
  for (size_t i = 0; i < list_.size(); ++i) {
    if (!list_[i]->Equals(list->list_[i].get()))
      return false;
  }
  return true;
}

}  // namespace base
