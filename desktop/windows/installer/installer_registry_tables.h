#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_REGISTRY_TABLES_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_REGISTRY_TABLES_H_

#include <span>

#include "desktop/windows/installer/service/registry_entry.h"

namespace installer {

// The registry rows an installation writes, in order, under HKEY_LOCAL_MACHINE for all
// users and HKEY_CURRENT_USER otherwise: the browser's class and file associations, its
// start-menu client entry with its capabilities, and its uninstall entry (the rows whose
// key is "{Uninstall}", in the 32-bit view). Each row's clean depth says how much of the
// key belongs to the installation when it is removed again.
std::span<const RegistryTemplateRow> GetMainRegistryTable();

// The last install folder of the build's stream, below the company's key of the current
// user; and the separate value that older x64 builds kept there.
extern const RegistryTemplateRow kSetLastInstallPathRegOp;
extern const RegistryTemplateRow kDeleteX64LastInstallPathRegOp;

// Added to the main table when the browser is to be hidden from the system's list of
// installed programs.
extern const RegistryTemplateRow kHideFromProgramsAndFeaturesRegOp;

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_REGISTRY_TABLES_H_
