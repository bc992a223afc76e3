#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_PAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_PAGE_H_

namespace installer {

// The pages of the installer window.
enum InstallerPage : int {
  INSTALLER_PAGE_WELCOME = 0,
  INSTALLER_PAGE_UNINSTALL = 1,  // The uninstall question.
  INSTALLER_PAGE_TOS = 2,        // The terms of service.
  INSTALLER_PAGE_OPTIONS = 3,
  INSTALLER_PAGE_PROGRESS = 4,
  INSTALLER_PAGE_ERROR = 5,
  INSTALLER_PAGE_COUNT = 6,  // Also "no page shown yet".
};

// The page's name in the installer statistics ("WELCOME", "UNINSTALL", "TOS", "OPTIONS",
// "PROGRESS", "ERROR"); "invalid" for any other value.
const char* GetInstallerPageName(int page);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_PAGE_H_
