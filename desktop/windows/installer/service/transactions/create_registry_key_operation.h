#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REGISTRY_KEY_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REGISTRY_KEY_OPERATION_H_

#include <windows.h>

#include <string>
#include <vector>

#include "desktop/windows/installer/service/transactions/created_registry_keys.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Creates a registry key that must be new, with the missing keys of its path: the check
// that the name is free and the creation are one step of the registry, so that of two
// processes that want the same free name only one gets it. Do() fails when the key existed
// already, with |*existed| set (not owned; it must outlive Do), changing nothing of it.
// The undo removes the keys this operation created while they are empty. |access_flags|
// are added to every access, so KEY_WOW64_32KEY or KEY_WOW64_64KEY selects the view.
class CreateRegistryKeyOperation : public Operation {
 public:
  CreateRegistryKeyOperation(HKEY root,
                             const std::wstring& key_path,
                             REGSAM access_flags,
                             bool* existed);
  ~CreateRegistryKeyOperation() override;

  bool Do() override;
  void Rollback() override;

 private:
  const HKEY root_;
  const std::vector<std::wstring> components_;
  const std::wstring key_path_;
  const REGSAM access_flags_;
  bool* const existed_;
  CreatedRegistryKeys created_keys_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REGISTRY_KEY_OPERATION_H_
