#ifndef BASE_WIN_REGISTRY_H_
#define BASE_WIN_REGISTRY_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace base {
namespace win {

// An open registry key, closed when the object goes. Every operation returns the Win32
// status of the registry call (ERROR_SUCCESS on success); registry functions report their
// status directly and leave the thread's last-error value alone, so nothing here reads it.
//
// The view flags of the access mask (KEY_WOW64_32KEY, KEY_WOW64_64KEY) are kept and
// applied to the subkeys that this key creates, opens or deletes. A null value name means
// the key's default value. The outputs of the Read functions are left unchanged on failure.
class RegistryKey {
 public:
  RegistryKey() = default;
  // Takes ownership of an open key (which may be null).
  explicit RegistryKey(HKEY key) : key_(key) {}
  // Opens |path| below |root|; Valid() tells whether it worked (use Open for the status).
  RegistryKey(HKEY root, const wchar_t* path, REGSAM access);
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();

  // Opens |path| below |root|, creating the missing keys. |disposition| (optional)
  // receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. On failure the key is
  // closed.
  LONG Create(HKEY root, const wchar_t* path, REGSAM access, DWORD* disposition = nullptr);
  // Opens an existing key. On failure the key is closed.
  LONG Open(HKEY root, const wchar_t* path, REGSAM access);
  void Close();

  bool Valid() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }
  // Gives up ownership without closing.
  HKEY Take();

  // Whether the value exists (of any type).
  bool HasValue(const wchar_t* name) const;
  // The number of values of the key; 0 when it cannot be queried.
  DWORD GetValueCount() const;

  // REG_SZ as stored, REG_EXPAND_SZ with its environment variables expanded; any other
  // type gives ERROR_CANTREAD. The text ends at the first NUL, or at the end of the data
  // when it has none; an odd trailing byte is ignored.
  LONG ReadValue(const wchar_t* name, std::wstring* value) const;
  // REG_DWORD of exactly four bytes, else ERROR_CANTREAD.
  LONG ReadValueDword(const wchar_t* name, DWORD* value) const;
  // REG_QWORD of exactly eight bytes, else ERROR_CANTREAD.
  LONG ReadInt64(const wchar_t* name, int64_t* value) const;
  // REG_MULTI_SZ: the strings up to the first empty one (the list terminator), the last
  // one kept even when its terminating NUL is missing. Other types give ERROR_CANTREAD.
  LONG ReadValues(const wchar_t* name, std::vector<std::wstring>* values) const;
  // The value's type and raw bytes, whatever the type.
  LONG ReadRawValue(const wchar_t* name, DWORD* type, std::vector<uint8_t>* data) const;

  // REG_SZ (the text up to its first NUL, stored with a terminating NUL).
  LONG WriteValue(const wchar_t* name, std::wstring_view value);
  // REG_DWORD.
  LONG WriteValue(const wchar_t* name, DWORD value);
  // Any type, the bytes stored as given.
  LONG WriteValue(const wchar_t* name, const void* data, DWORD size, DWORD type);

  LONG DeleteValue(const wchar_t* name);
  // Deletes the subkey |name| with all its values and subkeys, in this key's view.
  LONG DeleteKey(const wchar_t* name);

 private:
  // The view flags of the access mask the key was opened with.
  REGSAM view() const { return access_ & (KEY_WOW64_32KEY | KEY_WOW64_64KEY); }

  HKEY key_ = nullptr;
  REGSAM access_ = 0;
};

namespace internal {

// What the registry iterators share: the key opened for reading in the given view, the
// position and the current name. An unopenable key enumerates nothing.
class RegistryIteratorBase {
 public:
  RegistryIteratorBase(const RegistryIteratorBase&) = delete;
  RegistryIteratorBase& operator=(const RegistryIteratorBase&) = delete;

  bool Valid() const { return valid_; }
  void operator++();
  const std::wstring& Name() const { return name_; }

 protected:
  RegistryIteratorBase(HKEY root, const wchar_t* path, REGSAM view);
  virtual ~RegistryIteratorBase();

  // Reads the entry at index_; false at the end or on an error.
  virtual bool Read() = 0;

  RegistryKey key_;
  DWORD subkey_count_ = 0;
  DWORD value_count_ = 0;
  DWORD index_ = 0;
  bool valid_ = false;
  std::wstring name_;
};

}  // namespace internal

// The values of one key in enumeration order: name, type and raw bytes.
//
//   for (RegistryValueIterator it(root, path, KEY_WOW64_32KEY); it.Valid(); ++it)
//     Save(it.Name(), it.Type(), it.Data());
class RegistryValueIterator : public internal::RegistryIteratorBase {
 public:
  RegistryValueIterator(HKEY root, const wchar_t* path, REGSAM view = 0);
  ~RegistryValueIterator() override;

  DWORD ValueCount() const { return value_count_; }
  DWORD Type() const { return type_; }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  bool Read() override;

  DWORD type_ = REG_NONE;
  std::vector<uint8_t> data_;
};

// The names of the direct subkeys of one key, in enumeration order.
class RegistryKeyIterator : public internal::RegistryIteratorBase {
 public:
  RegistryKeyIterator(HKEY root, const wchar_t* path, REGSAM view = 0);
  ~RegistryKeyIterator() override;

  DWORD SubkeyCount() const { return subkey_count_; }

 private:
  bool Read() override;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_REGISTRY_H_
