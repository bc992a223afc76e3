#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_RUNNER_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_RUNNER_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/process/process.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "base/wire_message.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"

namespace installer {

class Settings;

// The front end's side of an installation: claims the install folder with the installer
// mutex, opens the mailslot the backend reports on, starts the backend process (the
// package's "installer.exe", or this installer waiting for the package) with the Settings as
// switches, passes the backend's reports on to its observers, tells the backend when the
// package is ready and interrupts it on demand.
//
// Everything runs on the thread that made the runner, which must run a MessageLoop: the
// reports and the end of the backend arrive there as tasks. Failures are reported to the
// observers as OnError with an id of the localised string table.
//
// Any process may write into the mailslot, so a message alone decides nothing: progress is
// passed on as it comes, but the outcome waits for the backend process (held by its handle)
// to end. Success is its exit code 0 after it reported success; its error reports are passed
// on only when it failed.
class InstallerRunner : public base::win::ObjectWatcher::Delegate, public IpcReceiver::Delegate {
 public:
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void OnInstallFolderReady() {}
    virtual void OnStartingNewMainProcess(bool value) {}
    virtual void OnReturnedToPreviousMainProcess() {}
    virtual void OnTotalSteps(int count) = 0;
    virtual void OnStep() = 0;
    // |error_id| is a string id, |message| the text for its "$1", |detail| English text.
    // A failure to start comes from Start; the backend's reports come after it has ended
    // with a failure, just before OnInstallerTerminated(false).
    virtual void OnError(int error_id, const std::wstring& message, const std::string& detail) = 0;
    // Just before OnInstallerTerminated(true).
    virtual void OnSuccess() = 0;
    // The backend process has ended; |success| when it ended with exit code 0 after it
    // reported success (a process can end with 0 without having done its work: under Wine,
    // one killed by a signal does). Its reports all came before.
    virtual void OnInstallerTerminated(bool success) = 0;
  };

  // |package_folder| holds (or will hold) the unpacked package with its "installer.exe";
  // |component_folder| is the folder of a component delivered with it, or empty.
  InstallerRunner(const base::FilePath& package_folder, const base::FilePath& component_folder);
  InstallerRunner(const InstallerRunner&) = delete;
  InstallerRunner& operator=(const InstallerRunner&) = delete;
  // Stop; a backend still running is interrupted, and waited for (a minute at most) without
  // watching it.
  ~InstallerRunner() override;

  void AddObserver(Observer* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(Observer* observer) { observers_.RemoveObserver(observer); }

  // Starts the backend for |settings| (not owned; they must outlive the run and stop
  // accepting changes). False, after OnError, when it cannot: 37058 for settings without an
  // operation, 37057 when another installer works on the folder, 37055 otherwise.
  bool Start(Settings* settings);

  // The package is complete: a backend waiting for it goes on, a later one starts from it.
  void SignalPackageReady();

  // Ends the run: a running backend is told to roll back, the mailslot is closed and the
  // Settings are forgotten (the events the backend opens stay until it has ended). The end
  // of the backend is still reported.
  void Stop();

  // IpcReceiver::Delegate: a message from the backend. What is not a well-formed installer
  // message is logged and dropped.
  void OnMessageReceived(const base::WireMessage& message) override;

  // base::win::ObjectWatcher::Delegate: the backend process has ended.
  void OnObjectSignaled(HANDLE object) override;

  bool backend_running() const { return backend_running_; }

 private:
  // OnError to every observer with an empty message; |detail| is logged as an error too.
  // Returns false, for the failure paths of Start.
  bool ReportError(int error_id, const std::string& detail);
  // The launch with its inheritable handles; false after ReportError.
  bool LaunchBackend(base::CommandLine* command_line);
  // After the backend's last messages were handed on.
  void OnBackendEnded();

  // The outcome the mailslot reported, held until the backend ends: its exit code decides
  // whether it stands.
  std::vector<InstallerMessage> reported_errors_;
  bool reported_success_ = false;

  IpcReceiver receiver_;
  const base::FilePath component_folder_;
  const base::FilePath package_folder_;
  base::Process backend_;
  base::win::ScopedHandle mutex_;
  base::win::ObjectWatcher watcher_;
  base::win::ScopedHandle package_ready_event_;
  base::win::ScopedHandle interrupted_event_;
  Settings* settings_ = nullptr;
  bool have_package_ = false;
  bool backend_running_ = false;
  base::ObserverList<Observer> observers_;
  base::WeakPtrFactory<InstallerRunner> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_RUNNER_H_
