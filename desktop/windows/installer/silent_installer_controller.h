#ifndef DESKTOP_WINDOWS_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_
#define DESKTOP_WINDOWS_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/run_loop.h"
#include "desktop/windows/installer/controller_parts.h"
#include "desktop/windows/installer/installer_runner.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/wininet/ui_callback_runner.h"

namespace installer {

class PayloadReader;
class Stats;

// Runs an installation, upgrade or uninstallation without a window: fetches the package
// (or takes the running installer's), starts the backend through the front-end runner,
// waits until the backend has ended or failed, and sends the installer statistics. Nothing
// is ever shown: a request for a dialog is refused.
//
// Made and run on the main thread, which has a MessageLoop; Run returns when the run is
// over.
class SilentInstallerController : public SettingsObserver,
                                  public UICallbackRunner,
                                  public PackageFetcher::Delegate,
                                  public InstallerRunner::Observer {
 public:
  SilentInstallerController();
  SilentInstallerController(const SilentInstallerController&) = delete;
  SilentInstallerController& operator=(const SilentInstallerController&) = delete;
  ~SilentInstallerController() override;

  // Runs the whole installation for |settings| (not owned), with the package of
  // |payload_reader| (not owned; null inside a package) fetched into |download_folder|.
  // 1 when the backend succeeded (it ended with exit code 0 after reporting success: a
  // report on the mailslot alone is no outcome, see InstallerRunner), else 0.
  uint8_t Run(Settings* settings,
              const PayloadReader* payload_reader,
              const base::FilePath& download_folder);

  // SettingsObserver:
  void OnPathChanged() override;

  // UICallbackRunner:
  void RunUICallbackAndPostReply(UITask ui_task,
                                 base::scoped_refptr<base::TaskRunner> reply_runner,
                                 Reply reply) override;

  // PackageFetcher::Delegate:
  void SetTotalProgress(int32_t total) override {}
  void SetCurrentProgress(int32_t current) override {}
  void NotifyStalled() override {}
  void NotifyStatusChanged(int32_t status) override;

  // InstallerRunner::Observer:
  void OnTotalSteps(int count) override {}
  void OnStep() override {}
  void OnError(int error_id, const std::wstring& message, const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

 private:
  void Start();
  // Once the package is ready and the settings are known; runs once.
  void HandleTrackingData();
  void OnTrackingDataHandled();
  // Ends the run (once): records the result and sends the statistics.
  void Finish();

  base::RunLoop run_loop_;
  bool result_ = false;
  bool termination_done_ = false;
  bool wait_for_network_ = false;
  bool package_ready_ = false;
  bool started_ = false;
  bool tracking_data_handled_ = false;
  Settings* settings_ = nullptr;
  const std::unique_ptr<Stats> stats_;
  ControllerParts parts_;

  base::WeakPtrFactory<SilentInstallerController> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_
