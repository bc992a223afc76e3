#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_OBSERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_OBSERVER_H_

namespace installer {

// What the user asked of the installer window, told on the window's thread. An observer
// may destroy the window from any of these calls; the window touches nothing of itself
// after notifying.
class InstallerWindowObserver {
 public:
  virtual ~InstallerWindowObserver() = default;
  // ACCEPT, UNINSTALL or RETRY.
  virtual void OnAccept() = 0;
  // The user confirmed cancelling, or closed an error message box.
  virtual void OnCancel() = 0;
  // The user wants the full installer instead.
  virtual void OnGetFullPackage() = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_OBSERVER_H_
