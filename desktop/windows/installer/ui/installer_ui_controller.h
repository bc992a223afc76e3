#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_CONTROLLER_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_CONTROLLER_H_

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/run_loop.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/controller_parts.h"
#include "desktop/windows/installer/installer_runner.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/ui/installer_window_observer.h"
#include "desktop/windows/installer/wininet/ui_callback_runner.h"

namespace installer {

class InstallerWindow;
class PayloadReader;
class Stats;

// Runs an installation, upgrade or uninstallation with the installer window: one window per
// download folder, the package fetched in the background while the user reads the welcome
// page, the backend started on accept, the fetcher's and the backend's reports turned into
// one progress bar, errors shown with a retry (and, after a second error, the offer of the
// full installer), an all-users installation whose elevation was refused retried for the
// current user, and the installer statistics sent at the end.
//
// Made and run on the main thread, whose MessageLoop is a UI loop; RunUI returns when the
// window has gone. Everything else arrives there as posted tasks.
class InstallerUIController : public SettingsObserver,
                              public InstallerWindowObserver,
                              public UICallbackRunner,
                              public PackageFetcher::Delegate,
                              public InstallerRunner::Observer {
 public:
  InstallerUIController();
  InstallerUIController(const InstallerUIController&) = delete;
  InstallerUIController& operator=(const InstallerUIController&) = delete;
  ~InstallerUIController() override;

  // Runs the whole installation for |settings| (not owned) with the package of
  // |payload_reader| (not owned; null inside a package) fetched into |download_folder|.
  // With |run_immediately| the window only shows the progress and accepts by itself. 1 when
  // the backend reported success; 0 otherwise, also when another installer's window for
  // |download_folder| was brought forward instead.
  uint8_t RunUI(Settings* settings,
                const PayloadReader* payload_reader,
                const base::FilePath& download_folder,
                bool run_immediately);

  // Takes the one-window lock of |folder| until the UI ends; the thread id of its owner
  // (this thread's when taken), 0 when unknown.
  DWORD AcquireUILock(const base::FilePath& folder);

  // Shows the pending error, if any, once the backend has stopped. Does nothing after the
  // UI has ended.
  void ShowPendingError();

  // SettingsObserver:
  void OnPathChanged() override;

  // InstallerWindowObserver:
  void OnAccept() override;
  void OnCancel() override;
  void OnGetFullPackage() override;

  // UICallbackRunner:
  void RunUICallbackAndPostReply(UITask ui_task,
                                 base::scoped_refptr<base::TaskRunner> reply_runner,
                                 Reply reply) override;

  // PackageFetcher::Delegate:
  void SetTotalProgress(int32_t total) override;
  void SetCurrentProgress(int32_t current) override;
  void NotifyStalled() override {}
  void NotifyStatusChanged(int32_t status) override;

  // InstallerRunner::Observer:
  void OnTotalSteps(int count) override;
  void OnStep() override;
  void OnError(int error_id, const std::wstring& message, const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

  // For tests: what RequiresElevation answers for the user (under Wine every user is an
  // administrator).
  void set_requires_elevation_for_testing(
      std::function<bool(bool all_users, bool has_write_access)> requires_elevation) {
    requires_elevation_ = std::move(requires_elevation);
  }

  // For tests: where the run stands.
  InstallerWindow* window() const { return window_.get(); }
  int32_t phase() const { return phase_; }
  bool fetch_failed() const { return fetch_failed_; }
  bool ui_terminated() const { return ui_terminated_; }
  Stats* stats() const { return stats_.get(); }

 private:
  // A fetcher's request for a dialog, held until the user accepted.
  struct PendingUICallback {
    UITask ui_task;
    base::scoped_refptr<base::TaskRunner> reply_runner;
    Reply reply;
  };

  struct PendingError {
    int message_id = 0;
    std::wstring argument;
    std::string failure_reason;
  };

  void Init();
  void HandleTrackingData();
  void PackageComplete();
  void RunPendingUICallback();
  void DoRunUICallbackAndPostReply(const PendingUICallback& callback);
  void ReportError(int message_id, const std::wstring& argument, const std::string& reason);
  // The offer of the current user after an all-users installation was refused elevation;
  // true when the installation is being retried that way.
  bool SwitchToCurrentUser();
  void UpdateProgress();
  void UpdateStatusText();
  int32_t GetCurrentProgress() const;
  void TerminateUI();

  base::RunLoop run_loop_;
  std::string tracking_data_;
  Settings* settings_ = nullptr;
  std::unique_ptr<PendingUICallback> pending_ui_callback_;
  bool accepted_ = false;
  std::unique_ptr<PendingError> pending_error_;
  int32_t phase_ = 0;
  bool fetch_failed_ = false;
  int32_t total_steps_ = 0;
  int32_t current_step_ = 0;
  bool run_immediately_ = false;
  bool no_fetcher_ = false;
  bool wait_for_network_ = false;
  bool error_shown_before_ = false;
  bool accept_pending_ = false;
  bool initial_stats_written_ = false;
  bool success_ = false;
  bool ui_terminated_ = false;
  bool observing_settings_ = false;
  std::function<bool(bool all_users, bool has_write_access)> requires_elevation_;

  // Declared so that destruction takes the parts first (ControllerParts orders them), then
  // the window, the statistics and last the lock file.
  base::win::ScopedHandle ui_lock_file_;
  const std::unique_ptr<Stats> stats_;
  std::unique_ptr<InstallerWindow> window_;
  ControllerParts parts_;

  base::WeakPtrFactory<InstallerUIController> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_CONTROLLER_H_
