#ifndef DESKTOP_WINDOWS_INSTALLER_UI_WINDOW_CONTROLS_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_WINDOW_CONTROLS_H_

#include <stddef.h>

#include "desktop/windows/installer/ui/installer_page.h"

// Which controls of the installer window's templates belong to which page, and which
// localised string labels them.

namespace installer {

// A control of the main dialog and the pages that show it: bit n is the page n.
struct PageControl {
  int id;
  unsigned pages;
};

constexpr unsigned PageBit(InstallerPage page) {
  return 1u << page;
}

// Every control of the main dialog that a page switch shows or hides. The options dialog
// shows as a whole on the options page.
extern const PageControl kPageControls[];
extern const size_t kPageControlCount;

// A control and the string it shows; the control is on the main dialog or, failing that,
// on the options dialog.
struct ControlText {
  int id;
  int string_id;
};

// The texts of an installation (or upgrade) and of an uninstallation, in the order they are
// applied.
extern const ControlText kInstallTexts[];
extern const size_t kInstallTextCount;
extern const ControlText kUninstallTexts[];
extern const size_t kUninstallTextCount;

// The control that takes the focus when |page| shows; 0 for none.
int GetPageFocusControl(InstallerPage page);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_WINDOW_CONTROLS_H_
