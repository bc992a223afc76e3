#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_RECORD_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_RECORD_H_

#include <string>
#include <vector>

namespace installer {

// One registry value written by an installation.
struct RegistryValueRecord {
  std::wstring name;       // Empty for the key's default value.
  std::wstring type_name;  // "REG_SZ", "REG_EXPAND_SZ", "REG_DWORD", ...
  std::wstring data;       // The data as text.

  bool operator==(const RegistryValueRecord&) const = default;
};

// One registry key touched by an installation, with the number of trailing key levels that
// belong to the installation (removed again on uninstallation).
struct RegistryKeyRecord {
  unsigned clean_depth = 0;
  std::wstring key_path;
  std::vector<RegistryValueRecord> values;

  bool operator==(const RegistryKeyRecord&) const = default;
};

// The keys recorded under one root (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER).
using RegistryRecord = std::vector<RegistryKeyRecord>;

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_RECORD_H_
