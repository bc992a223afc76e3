#include "desktop/windows/installer/ui/installer_page.h"

namespace installer {

const char* GetInstallerPageName(int page) {
  switch (page) {
    case INSTALLER_PAGE_WELCOME:
      return "WELCOME";
    case INSTALLER_PAGE_UNINSTALL:
      return "UNINSTALL";
    case INSTALLER_PAGE_TOS:
      return "TOS";
    case INSTALLER_PAGE_OPTIONS:
      return "OPTIONS";
    case INSTALLER_PAGE_PROGRESS:
      return "PROGRESS";
    case INSTALLER_PAGE_ERROR:
      return "ERROR";
    default:
      return "invalid";
  }
}

}  // namespace installer
