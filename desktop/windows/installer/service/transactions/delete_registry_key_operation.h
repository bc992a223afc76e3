#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REGISTRY_KEY_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REGISTRY_KEY_OPERATION_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Deletes a registry key with all its values and subkeys. The whole tree is read first
// (values with their exact types and bytes); the undo creates it again. Deleting a key
// that does not exist is success with nothing to undo. |access_flags| are added to every
// access of the registry, so KEY_WOW64_32KEY or KEY_WOW64_64KEY selects the view.
class DeleteRegistryKeyOperation : public Operation {
 public:
  DeleteRegistryKeyOperation(HKEY root, const std::wstring& key_path, REGSAM access_flags);
  ~DeleteRegistryKeyOperation() override;

  bool Do() override;
  void Rollback() override;

 private:
  struct SavedValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
  };
  struct SavedKey {
    std::wstring name;
    std::vector<SavedValue> values;
    std::vector<SavedKey> subkeys;
  };

  // Reads the key at |path| and everything below it into |saved|.
  bool SaveKey(const std::wstring& path, SavedKey* saved) const;
  // Creates |saved| (named |saved.name|) below |parent| with its values and subkeys.
  bool RestoreKey(HKEY parent, const SavedKey& saved) const;

  const HKEY root_;
  const std::wstring key_path_;
  const REGSAM access_flags_;

  // Whether the deletion was attempted, and what was there.
  bool deleting_ = false;
  SavedKey saved_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REGISTRY_KEY_OPERATION_H_
