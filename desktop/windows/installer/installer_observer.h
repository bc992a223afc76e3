#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_OBSERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_OBSERVER_H_

#include <string>

namespace installer {

// What an Installer reports while it runs, on the thread that runs it. In the backend process
// the backend runner is the only observer and turns every call into one message for the front
// end. |code| of Error() is an id of the localised string table, |message| the text that
// replaces "$1" in it (empty where the string has none) and |detail| English text for the log.
class InstallerObserver {
 public:
  virtual ~InstallerObserver() = default;

  virtual void InstallFolderReady() = 0;
  virtual void StartingNewMainProcess(bool value) = 0;
  virtual void ReturnedToPreviousMainProcess() = 0;
  virtual void TotalSteps(int count) = 0;
  virtual void Step() = 0;
  virtual void Error(int code, const std::wstring& message, const std::string& detail) = 0;
  virtual void Success() = 0;
  virtual void Done(bool value) = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_OBSERVER_H_
