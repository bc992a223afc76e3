#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REGISTRY_KEY_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REGISTRY_KEY_OPERATION_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/registry_tree.h"

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

  const HKEY root_;
  const std::wstring key_path_;
  const REGSAM access_flags_;

  // Whether the deletion was attempted, and what was there.
  bool deleting_ = false;
  RegistryTree saved_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REGISTRY_KEY_OPERATION_H_
