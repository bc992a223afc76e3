#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLATION_REGISTRY_KEYS_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLATION_REGISTRY_KEYS_H_

#include <string>

namespace installer {

// Whether the registry key |path| (below HKLM or HKCU) is one that an installation of this
// product writes or removes: a key of the registry tables or a key below it, an ancestor
// that an uninstallation removes with it (within the row's clean depth), one of the
// product's uninstall entries, or the company's key. With |as_ancestor| any key above such a
// key counts too. What an undo journal may act on (undo_records.h).
bool IsInstallationRegistryKey(const std::wstring& path, bool as_ancestor);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLATION_REGISTRY_KEYS_H_
