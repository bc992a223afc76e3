#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_RUNNER_BACKEND_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_RUNNER_BACKEND_H_

#include <windows.h>

#include <string>

#include "base/run_loop.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/installer_observer.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_sender.h"
#include "desktop/windows/installer/settings.h"

namespace installer {

// What a backend may do with the process of the front end that started it: wait for its
// end, and name its program, which may carry the package that an administrator's run
// unpacks itself.
constexpr DWORD kBackendAccessToFrontEnd = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

// The backend process's whole life: watches the front-end process, waits until the Settings
// have read the install folder, runs the Installer and sends each of its reports to the
// front end as one mailslot message. Made and run on the main thread, which has a
// MessageLoop (and COM, for the Installer); destroying it rolls back an installation that
// has not ended.
class InstallerRunnerBackend : public SettingsObserver,
                               public InstallerObserver,
                               public base::win::ObjectWatcher::Delegate {
 public:
  InstallerRunnerBackend();
  InstallerRunnerBackend(const InstallerRunnerBackend&) = delete;
  InstallerRunnerBackend& operator=(const InstallerRunnerBackend&) = delete;
  ~InstallerRunnerBackend() override;

  // Runs until the installation has ended or the front end has gone. The Installer's
  // success; false too when the front-end process cannot be identified or watched.
  // |settings| (not owned) must outlive the runner.
  bool Run(Settings* settings);

  // SettingsObserver: the install folder has been read.
  void OnPathChanged() override;

  // InstallerObserver: each sends one message.
  void InstallFolderReady() override;
  void StartingNewMainProcess(bool value) override;
  void ReturnedToPreviousMainProcess() override;
  void TotalSteps(int count) override;
  void Step() override;
  void Error(int code, const std::wstring& message, const std::string& detail) override;
  void Success() override;
  void Done(bool value) override;

  // base::win::ObjectWatcher::Delegate: the front-end process has ended. Noted at once,
  // also while a step keeps the main thread busy; the run ends at the next step boundary
  // at the latest.
  void OnObjectSignaledOnWaitThread(HANDLE object) override;
  void OnObjectSignaled(HANDLE object) override;

 private:
  // Finds the front-end process on the command line and watches it. False when it cannot.
  bool WatchFrontEnd();
  void StartInstallation();
  void Send(const InstallerMessage& message);

  base::RunLoop run_loop_;
  // That this process works on the install folder (backend_claim.h).
  base::win::ScopedHandle claim_;
  base::win::ScopedHandle front_end_process_;
  base::win::ObjectWatcher watcher_;
  IpcSender sender_;
  Installer installer_;
  Settings* settings_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_RUNNER_BACKEND_H_
