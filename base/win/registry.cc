#include "base/win/registry.h"

#include <string.h>

#include <algorithm>

namespace base {
namespace win {

namespace {

// Bounds the retries of reads whose data keeps growing between the size query and the
// read (another process writing the value meanwhile).
constexpr int kMaxReadAttempts = 8;

// Value names are at most 16383 characters and key names 255, so names always fit buffers
// of these sizes (a terminating NUL included).
constexpr size_t kValueNameCapacity = 16384;
constexpr size_t kKeyNameCapacity = 256;

// Registry text as UTF-16 units; an odd trailing byte is dropped.
std::wstring UnitsFromBytes(const std::vector<uint8_t>& data) {
  std::wstring units(data.size() / sizeof(wchar_t), L'\0');
  if (!units.empty())
    memcpy(&units[0], data.data(), units.size() * sizeof(wchar_t));
  return units;
}

// The text up to the first NUL, or all of it when it has none.
std::wstring CutAtNul(std::wstring text) {
  const size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos)
    text.resize(nul);
  return text;
}

LONG ExpandEnvironment(const std::wstring& text, std::wstring* expanded) {
  std::wstring buffer(std::max<size_t>(text.size() + 1, MAX_PATH), L'\0');
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    const DWORD needed =
        ::ExpandEnvironmentStringsW(text.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
    if (needed == 0) {
      const DWORD error = ::GetLastError();
      return error != ERROR_SUCCESS ? static_cast<LONG>(error) : ERROR_CANTREAD;
    }
    if (needed <= buffer.size()) {
      buffer.resize(needed - 1);  // |needed| counts the terminating NUL.
      expanded->swap(buffer);
      return ERROR_SUCCESS;
    }
    buffer.resize(needed);
  }
  return ERROR_MORE_DATA;
}

}  // namespace

RegistryKey::RegistryKey(HKEY root, const wchar_t* path, REGSAM access) {
  Open(root, path, access);
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : key_(other.Take()), access_(other.access_) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    const REGSAM access = other.access_;
    HKEY key = other.Take();
    Close();
    key_ = key;
    access_ = access;
  }
  return *this;
}

RegistryKey::~RegistryKey() {
  Close();
}

LONG RegistryKey::Create(HKEY root, const wchar_t* path, REGSAM access, DWORD* disposition) {
  HKEY key = nullptr;
  DWORD created = 0;
  const LONG result = ::RegCreateKeyExW(root, path ? path : L"", 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, access, nullptr, &key, &created);
  // |root| may be this key's own handle: it is closed only after the new key is open.
  Close();
  if (result != ERROR_SUCCESS)
    return result;
  key_ = key;
  access_ = access;
  if (disposition)
    *disposition = created;
  return ERROR_SUCCESS;
}

LONG RegistryKey::Open(HKEY root, const wchar_t* path, REGSAM access) {
  HKEY key = nullptr;
  const LONG result = ::RegOpenKeyExW(root, path ? path : L"", 0, access, &key);
  Close();
  if (result != ERROR_SUCCESS)
    return result;
  key_ = key;
  access_ = access;
  return ERROR_SUCCESS;
}

void RegistryKey::Close() {
  if (key_) {
    ::RegCloseKey(key_);
    key_ = nullptr;
  }
  access_ = 0;
}

HKEY RegistryKey::Take() {
  HKEY key = key_;
  key_ = nullptr;
  access_ = 0;
  return key;
}

bool RegistryKey::HasValue(const wchar_t* name) const {
  return ::RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD RegistryKey::GetValueCount() const {
  DWORD count = 0;
  if (::RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  return count;
}

LONG RegistryKey::ReadRawValue(const wchar_t* name,
                               DWORD* type,
                               std::vector<uint8_t>* data) const {
  std::vector<uint8_t> buffer(256);
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD value_type = REG_NONE;
    const LONG result = ::RegQueryValueExW(key_, name, nullptr, &value_type, buffer.data(), &size);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(std::max<size_t>(size, buffer.size() * 2));
      continue;
    }
    if (result != ERROR_SUCCESS)
      return result;
    buffer.resize(std::min<size_t>(size, buffer.size()));
    *type = value_type;
    data->swap(buffer);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

LONG RegistryKey::ReadValue(const wchar_t* name, std::wstring* value) const {
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  const LONG result = ReadRawValue(name, &type, &data);
  if (result != ERROR_SUCCESS)
    return result;
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return ERROR_CANTREAD;
  std::wstring text = CutAtNul(UnitsFromBytes(data));
  if (type == REG_EXPAND_SZ)
    return ExpandEnvironment(text, value);
  value->swap(text);
  return ERROR_SUCCESS;
}

namespace {

// Reads a value of a fixed type and size; anything else is ERROR_CANTREAD.
LONG ReadFixedSizeValue(HKEY key, const wchar_t* name, DWORD expected_type, void* out,
                        DWORD expected_size) {
  uint8_t buffer[8] = {};
  DWORD size = sizeof(buffer);
  DWORD type = REG_NONE;
  const LONG result = ::RegQueryValueExW(key, name, nullptr, &type, buffer, &size);
  if (result == ERROR_MORE_DATA)
    return ERROR_CANTREAD;
  if (result != ERROR_SUCCESS)
    return result;
  if (type != expected_type || size != expected_size)
    return ERROR_CANTREAD;
  memcpy(out, buffer, expected_size);
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegistryKey::ReadValueDword(const wchar_t* name, DWORD* value) const {
  return ReadFixedSizeValue(key_, name, REG_DWORD, value, sizeof(*value));
}

LONG RegistryKey::ReadInt64(const wchar_t* name, int64_t* value) const {
  return ReadFixedSizeValue(key_, name, REG_QWORD, value, sizeof(*value));
}

LONG RegistryKey::ReadValues(const wchar_t* name, std::vector<std::wstring>* values) const {
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  const LONG result = ReadRawValue(name, &type, &data);
  if (result != ERROR_SUCCESS)
    return result;
  if (type != REG_MULTI_SZ)
    return ERROR_CANTREAD;
  const std::wstring units = UnitsFromBytes(data);
  std::vector<std::wstring> strings;
  size_t start = 0;
  while (start < units.size()) {
    size_t end = units.find(L'\0', start);
    if (end == std::wstring::npos)
      end = units.size();
    if (end == start)
      break;  // The empty string that ends the list.
    strings.emplace_back(units, start, end - start);
    start = end + 1;
  }
  values->swap(strings);
  return ERROR_SUCCESS;
}

LONG RegistryKey::WriteValue(const wchar_t* name, std::wstring_view value) {
  const std::wstring text(value.substr(0, value.find(L'\0')));
  const size_t size = (text.size() + 1) * sizeof(wchar_t);
  if (size > MAXDWORD)
    return ERROR_INVALID_PARAMETER;
  return WriteValue(name, text.c_str(), static_cast<DWORD>(size), REG_SZ);
}

LONG RegistryKey::WriteValue(const wchar_t* name, DWORD value) {
  return WriteValue(name, &value, sizeof(value), REG_DWORD);
}

LONG RegistryKey::WriteValue(const wchar_t* name, const void* data, DWORD size, DWORD type) {
  return ::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG RegistryKey::DeleteValue(const wchar_t* name) {
  return ::RegDeleteValueW(key_, name);
}

LONG RegistryKey::DeleteKey(const wchar_t* name) {
  // An empty name would empty this key itself.
  if (!name || !*name)
    return ERROR_INVALID_PARAMETER;
  // The subtree is emptied through a handle opened in this key's view, then the key itself
  // is removed in the same view.
  RegistryKey subkey;
  LONG result =
      subkey.Open(key_, name, KEY_READ | KEY_SET_VALUE | DELETE | view());
  if (result != ERROR_SUCCESS)
    return result;
  result = ::RegDeleteTreeW(subkey.Handle(), nullptr);
  subkey.Close();
  if (result != ERROR_SUCCESS)
    return result;
  return ::RegDeleteKeyExW(key_, name, view(), 0);
}

namespace internal {

RegistryIteratorBase::RegistryIteratorBase(HKEY root, const wchar_t* path, REGSAM view) {
  if (key_.Open(root, path, KEY_READ | view) != ERROR_SUCCESS)
    return;
  if (::RegQueryInfoKeyW(key_.Handle(), nullptr, nullptr, nullptr, &subkey_count_, nullptr,
                         nullptr, &value_count_, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS) {
    subkey_count_ = 0;
    value_count_ = 0;
  }
}

RegistryIteratorBase::~RegistryIteratorBase() = default;

void RegistryIteratorBase::operator++() {
  ++index_;
  valid_ = Read();
}

}  // namespace internal

RegistryValueIterator::RegistryValueIterator(HKEY root, const wchar_t* path, REGSAM view)
    : RegistryIteratorBase(root, path, view) {
  valid_ = Read();
}

RegistryValueIterator::~RegistryValueIterator() = default;

bool RegistryValueIterator::Read() {
  if (!key_.Valid())
    return false;
  std::wstring name(kValueNameCapacity, L'\0');
  std::vector<uint8_t> data(std::max<size_t>(data_.capacity(), 256));
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    DWORD length = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LONG result = ::RegEnumValueW(key_.Handle(), index_, &name[0], &length, nullptr,
                                        &type, data.data(), &size);
    if (result == ERROR_MORE_DATA) {
      // The name always fits: the data did not.
      data.resize(std::max<size_t>(size, data.size() * 2));
      continue;
    }
    if (result != ERROR_SUCCESS)
      return false;  // ERROR_NO_MORE_ITEMS at the end, or an error.
    name.resize(std::min<size_t>(length, name.size()));
    data.resize(std::min<size_t>(size, data.size()));
    name_.swap(name);
    type_ = type;
    data_.swap(data);
    return true;
  }
  return false;
}

RegistryKeyIterator::RegistryKeyIterator(HKEY root, const wchar_t* path, REGSAM view)
    : RegistryIteratorBase(root, path, view) {
  valid_ = Read();
}

RegistryKeyIterator::~RegistryKeyIterator() = default;

bool RegistryKeyIterator::Read() {
  if (!key_.Valid())
    return false;
  wchar_t name[kKeyNameCapacity];
  DWORD length = kKeyNameCapacity;
  if (::RegEnumKeyExW(key_.Handle(), index_, name, &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
    return false;  // ERROR_NO_MORE_ITEMS at the end, or an error.
  }
  name_.assign(name, std::min<size_t>(length, kKeyNameCapacity - 1));
  return true;
}

}  // namespace win
}  // namespace base
