#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REGISTRY_VALUE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REGISTRY_VALUE_OPERATION_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "desktop/windows/installer/service/transactions/created_registry_keys.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace base {
namespace win {
class RegistryKey;
}
}  // namespace base

namespace installer {

// Writes one registry value, or deletes it with the type kDeleteValue.
//
// Writing creates the missing keys of the path and remembers them; deleting a value of a
// missing key or a missing value is success with nothing to undo. The undo puts the
// previous value back exactly (type and bytes), or deletes the value when there was none,
// and then removes the keys this operation created while they are empty.
//
// |value_name| empty means the key's default value. |data| is stored as given (see
// TextData and DwordData). |access_flags| are added to every access of the registry, so
// KEY_WOW64_32KEY or KEY_WOW64_64KEY selects the registry view.
class ChangeRegistryValueOperation : public Operation {
 public:
  // The type that deletes the value instead of writing it.
  static constexpr DWORD kDeleteValue = 0xFFFFFFFF;

  ChangeRegistryValueOperation(HKEY root,
                               const std::wstring& key_path,
                               const std::wstring& value_name,
                               std::vector<uint8_t> data,
                               DWORD type,
                               REGSAM access_flags);
  ~ChangeRegistryValueOperation() override;

  // The bytes of a REG_SZ or REG_EXPAND_SZ value: the UTF-16 text and a terminating NUL.
  static std::vector<uint8_t> TextData(std::wstring_view text);
  // The bytes of a REG_DWORD value.
  static std::vector<uint8_t> DwordData(DWORD value);

  bool Do() override;
  void Rollback() override;

 private:
  // Opens the key for reading and writing values, creating what is missing of its path
  // and recording the keys created.
  LONG CreateKey(base::win::RegistryKey* key);

  const HKEY root_;
  // The path's components, without empty ones.
  const std::vector<std::wstring> components_;
  const std::wstring key_path_;
  const std::wstring value_name_;
  const std::vector<uint8_t> data_;
  const DWORD type_;
  const REGSAM access_flags_;

  CreatedRegistryKeys created_keys_;
  // Whether the value was (or may have been) changed, and what it was before.
  bool changed_ = false;
  bool had_previous_ = false;
  DWORD previous_type_ = REG_NONE;
  std::vector<uint8_t> previous_data_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REGISTRY_VALUE_OPERATION_H_
