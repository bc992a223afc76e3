#include "desktop/windows/installer/ui/installer_ui_controller.h"

#include <utility>

#include "base/bind.h"
#include "base/cpu.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/time/time.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "desktop/windows/installer/stats_sender.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/ui/full_package_download.h"
#include "desktop/windows/installer/ui/install_progress.h"
#include "desktop/windows/installer/ui/installer_ui_lock.h"
#include "desktop/windows/installer/ui/installer_window.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// A backend that ended without success may still have its error report on the way.
constexpr base::TimeDelta kPendingErrorDelay = base::TimeDelta::FromMilliseconds(100);

}  // namespace

InstallerUIController::InstallerUIController()
    : run_loop_(Win32DialogDispatcher::GetInstance()),
      requires_elevation_(&RequiresElevation),
      stats_(std::make_unique<Stats>(this)) {}

InstallerUIController::~InstallerUIController() {
  if (settings_ && observing_settings_)
    settings_->RemoveObserver(this);
  if (parts_.runner)
    parts_.runner->RemoveObserver(this);
  if (window_)
    window_->RemoveObserver(this);
  // A fetcher request still waiting is answered before the fetcher goes.
  if (pending_ui_callback_) {
    PostUICallbackReply(FROM_HERE, pending_ui_callback_->reply_runner,
                        std::move(pending_ui_callback_->reply), ERROR_CANCELLED);
  }
}

DWORD InstallerUIController::AcquireUILock(const base::FilePath& folder) {
  return AcquireInstallerUILock(folder, &ui_lock_file_);
}

uint8_t InstallerUIController::RunUI(Settings* settings,
                                     const PayloadReader* payload_reader,
                                     const base::FilePath& download_folder,
                                     bool run_immediately) {
  const DWORD owner = AcquireUILock(download_folder);
  if (owner != 0 && owner != ::GetCurrentThreadId()) {
    LOG(INFO) << "Another instance of the installer UI is running. Switching to it";
    ActivateThreadWindow(owner);
    return 0;
  }

  settings_ = settings;
  run_immediately_ = run_immediately;
  no_fetcher_ = payload_reader == nullptr;
  parts_ =
      MakeControllerParts(*settings_, payload_reader, download_folder, stats_.get(), this, this);
  tracking_data_ = parts_.tracking_data;
  if (no_fetcher_)
    phase_ = PHASE_PACKAGE_READY;

  base::CurrentThreadTaskRunner::Get()->PostTask(
      FROM_HERE_WITH_EXPLICIT_FUNCTION("RunUI"),
      base::BindMethod(&InstallerUIController::Init, weak_factory_.GetWeakPtr()));
  run_loop_.Run();
  LOG(INFO) << "Controller exiting";
  return success_ ? 1 : 0;
}

void InstallerUIController::Init() {
  LOG(INFO) << "Initializing installer UI";
  settings_->AddObserver(this);
  observing_settings_ = true;
  parts_.runner->AddObserver(this);

  window_ = InstallerWindow::Create(settings_, stats_.get(), run_immediately_);
  if (!window_) {
    LOG(ERROR) << "Could not initialize installer window";
    OnError(IDS_ERROR_INSTALL_FAILED, std::wstring(), "Could not initialize installer window");
    // Without a window nobody could ever end the run.
    TerminateUI();
    return;
  }
  window_->AddObserver(this);
  window_->SetStatusText(phase_);

  if (!base::CpuInfo().has_sse2()) {
    LOG(ERROR) << "SSE2 not supported by the computer";
    window_->ShowErrorBox(GetString(IDS_ERROR_NO_SSE2));
    return;
  }
  if (!no_fetcher_) {
    VLOG(1) << "Starting the package fetcher";
    parts_.package_fetcher->Start();
  }
  if (!settings_->IsFetchingStatus()) {
    initial_stats_written_ = true;
    settings_->WriteStats("ui.initial_", stats_.get());
  }
  stats_->SetInteger("run_immediately", run_immediately_ ? 1 : 0);
  if (run_immediately_ && !settings_->IsFetchingStatus()) {
    LOG(INFO) << "runimmediately set and status already fetched.";
    base::CurrentThreadTaskRunner::Get()->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("Init"),
        base::BindMethod(&InstallerUIController::OnAccept, weak_factory_.GetWeakPtr()));
  }
}

void InstallerUIController::OnPathChanged() {
  VLOG(2) << "New status obtained";
  if (phase_ == PHASE_INSTALLING && tracking_data_.empty()) {
    VLOG(1) << "Need to handle tracking data from new path";
    phase_ = PHASE_PACKAGE_READY;
  }
  if (run_immediately_ || accept_pending_) {
    LOG(INFO) << "runimmediately set or Accept already clicked";
    accept_pending_ = false;
    base::CurrentThreadTaskRunner::Get()->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("OnPathChanged"),
        base::BindMethod(&InstallerUIController::OnAccept, weak_factory_.GetWeakPtr()));
  }
  if (!initial_stats_written_) {
    initial_stats_written_ = true;
    settings_->WriteStats("ui.initial_", stats_.get());
  }
}

void InstallerUIController::OnAccept() {
  LOG(INFO) << "Accept clicked.";
  // A posted accept may arrive after the window has gone: nothing may start any more.
  if (ui_terminated_) {
    VLOG(1) << "UI has been terminated already.";
    return;
  }
  if (accepted_) {
    LOG(WARNING) << "Installation already in progress.";
    return;
  }
  if (settings_->IsFetchingStatus()) {
    VLOG(1) << "Still waiting for status";
    accept_pending_ = true;
    return;
  }
  if (phase_ == PHASE_PACKAGE_READY) {
    VLOG(1) << "Tracking data is ready for handling";
    HandleTrackingData();
  }
  if (observing_settings_) {
    settings_->RemoveObserver(this);
    observing_settings_ = false;
  }
  settings_->WriteStats(std::string(), stats_.get());

  if (base::win::GetWindowsVersion() < base::win::VERSION_WIN7) {
    if (window_) {
      window_->ShowError(
          GetString(IDS_ERROR_WINDOWS_TOO_OLD, GetString(IDS_GET_FULL_INSTALLER)), true,
          "This version of Tavro doesn't support windows versions prior to Windows 7");
    }
    return;
  }

  accepted_ = true;
  // Steps counted by a backend (or a fetch) that ended before belong to no part of this
  // run: the bar starts from its phase and moves forward only.
  if (phase_ >= PHASE_PACKAGE_READY || fetch_failed_) {
    total_steps_ = 0;
    current_step_ = 0;
  }
  if (pending_error_) {
    VLOG(1) << "An error is pending. Show it first.";
    ShowPendingError();
    return;
  }
  if (!parts_.runner->Start(settings_)) {
    VLOG(1) << "Failed to run the backend. Show whatever error was reported";
    ShowPendingError();
    return;
  }
  RunPendingUICallback();
  // The fetcher's dialog ran a modal loop: the UI may have ended meanwhile, or the backend
  // failed and the error page took over (accept cleared). Showing the progress now would
  // leave a page that no report reaches any more.
  if (ui_terminated_ || !accepted_) {
    VLOG(1) << "The run ended while the fetcher's dialog was shown.";
    return;
  }
  if (fetch_failed_) {
    VLOG(1) << "Restarting fetching after background tries failed.";
    // Cleared now: a later accept must not start the fetcher again over a package that the
    // backend may be using.
    fetch_failed_ = false;
    phase_ = PHASE_REQUESTING_URL;
    parts_.package_fetcher->Start();
  }
  if (window_) {
    window_->ShowProgress(static_cast<uint16_t>(GetCurrentProgress()), GetTotalProgressWeight(),
                          false);
    window_->SetStatusText(phase_);
  }
}

void InstallerUIController::OnCancel() {
  stats_->SetInteger("installation_cancelled", 1);
  TerminateUI();
}

void InstallerUIController::OnGetFullPackage() {
  LOG(INFO) << "Obtaining full package";
  OpenFullPackageUrl(GetFullPackageUrl(), settings_->GetInstallFolder());
  stats_->SetInteger("installation_cancelled", 2);
  TerminateUI();
}

void InstallerUIController::NotifyStatusChanged(int32_t status) {
  switch (status) {
    case FETCHER_REQUESTING_URL:
      VLOG(1) << "Package will be downloaded.";
      wait_for_network_ = true;
      phase_ = PHASE_REQUESTING_URL;
      break;
    case FETCHER_DOWNLOADING:
      phase_ = PHASE_DOWNLOADING;
      break;
    case FETCHER_UNPACKING:
      phase_ = PHASE_UNPACKING;
      break;
    case FETCHER_ADDITIONAL_FILES:
      phase_ = PHASE_ADDITIONAL_FILES;
      break;
    case FETCHER_PACKAGE_READY:
      VLOG(1) << "Package fetched successfully.";
      phase_ = PHASE_PACKAGE_READY;
      if (accepted_) {
        VLOG(1) << "Got tracking data from status.";
        HandleTrackingData();
      }
      break;
    case FETCHER_INITIALIZATION_FAILED:
    case FETCHER_DOWNLOAD_FAILED:
    case FETCHER_UNPACKING_FAILED:
      VLOG(1) << "Package fetcher failed.";
      if (parts_.package_fetcher->Retry()) {
        phase_ = PHASE_REQUESTING_URL;
        break;
      }
      fetch_failed_ = true;
      if (accepted_) {
        LOG(INFO) << "Reporting fetcher error.";
        stats_->SetString("failure_reason", "Fetcher error");
        ReportError(status == FETCHER_UNPACKING_FAILED ? IDS_ERROR_EXTRACTION_FAILED
                                                       : IDS_ERROR_DOWNLOAD_FAILED,
                    std::wstring(), "Fetcher error");
      } else {
        LOG(WARNING) << "Exceeded maximum number of fetcher retries,"
                     << " we won't retry until user decides to.";
      }
      break;
    default:
      break;
  }
  if (window_ && accepted_)
    window_->SetStatusText(phase_);
}

void InstallerUIController::SetTotalProgress(int32_t total) {
  current_step_ = 0;
  total_steps_ = phase_ == PHASE_ADDITIONAL_FILES ? 0 : total;
}

void InstallerUIController::SetCurrentProgress(int32_t current) {
  if (total_steps_ == 0)
    return;
  current_step_ = current;
  UpdateProgress();
}

void InstallerUIController::OnTotalSteps(int count) {
  total_steps_ = count;
  current_step_ = 1;
}

void InstallerUIController::OnStep() {
  ++current_step_;
  UpdateProgress();
}

void InstallerUIController::UpdateProgress() {
  if (!accepted_ || !window_)
    return;
  VLOG(1) << "Updating installation progress";
  window_->SetProgress(GetCurrentProgress());
}

int32_t InstallerUIController::GetCurrentProgress() const {
  return GetProgressPosition(phase_, current_step_, total_steps_);
}

void InstallerUIController::HandleTrackingData() {
  RunTrackingDataActions(
      tracking_data_, *settings_, stats_.get(), parts_.pref_overrides_fetcher.get(),
      base::BindMethod(&InstallerUIController::PackageComplete, weak_factory_.GetWeakPtr()));
}

void InstallerUIController::PackageComplete() {
  VLOG(1) << "Tracking data actions done: package complete.";
  phase_ = PHASE_INSTALLING;
  parts_.runner->SignalPackageReady();
  if (window_ && accepted_) {
    VLOG(1) << "Notifying installation phase change.";
    window_->SetStatusText(PHASE_INSTALLING);
  }
}

void InstallerUIController::RunUICallbackAndPostReply(
    UITask ui_task,
    base::scoped_refptr<base::TaskRunner> reply_runner,
    Reply reply) {
  LOG(INFO) << "Obtained UI callback request from fetcher";
  if (ui_terminated_) {
    VLOG(1) << "UI has been terminated already.";
    PostUICallbackReply(FROM_HERE_WITH_EXPLICIT_FUNCTION("RunUICallbackAndPostReply"), reply_runner,
                        std::move(reply), ERROR_CANCELLED);
    return;
  }
  PendingUICallback callback{std::move(ui_task), std::move(reply_runner), std::move(reply)};
  if (accepted_ && !pending_error_) {
    VLOG(1) << "Run the callback at once.";
    DoRunUICallbackAndPostReply(callback);
    return;
  }
  VLOG(1) << "Store callback information for later.";
  // An earlier request is replaced; its requester still hears that it was not shown.
  if (pending_ui_callback_) {
    PostUICallbackReply(FROM_HERE, pending_ui_callback_->reply_runner,
                        std::move(pending_ui_callback_->reply), ERROR_CANCELLED);
  }
  pending_ui_callback_ = std::make_unique<PendingUICallback>(std::move(callback));
}

void InstallerUIController::RunPendingUICallback() {
  if (!pending_ui_callback_)
    return;
  VLOG(1) << "Running pending fetcher callback.";
  const std::unique_ptr<PendingUICallback> callback = std::move(pending_ui_callback_);
  DoRunUICallbackAndPostReply(*callback);
}

void InstallerUIController::DoRunUICallbackAndPostReply(const PendingUICallback& callback) {
  const int32_t result = callback.ui_task.Run(window_ ? window_->dialog() : nullptr);
  PostUICallbackReply(FROM_HERE_WITH_EXPLICIT_FUNCTION("DoRunUICallbackAndPostReply"),
                      callback.reply_runner, callback.reply, result);
}

void InstallerUIController::OnError(int error_id,
                                    const std::wstring& message,
                                    const std::string& detail) {
  stats_->SetString("failure_reason", detail);
  ReportError(error_id, message, detail);
}

void InstallerUIController::OnSuccess() {
  VLOG(1) << "Installer success reported";
  success_ = true;
}

void InstallerUIController::OnInstallerTerminated(bool success) {
  VLOG(1) << "Installer termination reported";
  if (ui_terminated_) {
    VLOG(1) << "UI already terminated";
    return;
  }
  success_ = success;
  if (success) {
    LOG(INFO) << "Installer terminated successfully. Finishing.";
    current_step_ = total_steps_;
    UpdateProgress();
    TerminateUI();
    return;
  }
  if (!pending_error_) {
    const bool uninstall = settings_->GetFlag(UNINSTALL_FLAG);
    const char* reason =
        uninstall ? "Unreported uninstaller error." : "Unreported installer error.";
    LOG(ERROR) << reason;
    OnError(uninstall ? IDS_ERROR_UNINSTALL_FAILED : IDS_ERROR_INSTALL_FAILED, std::wstring(),
            reason);
  }
  base::CurrentThreadTaskRunner::Get()->PostDelayedTask(
      FROM_HERE_WITH_EXPLICIT_FUNCTION("OnInstallerTerminated"),
      base::BindMethod(&InstallerUIController::ShowPendingError, weak_factory_.GetWeakPtr()),
      kPendingErrorDelay);
}

void InstallerUIController::ReportError(int message_id,
                                        const std::wstring& argument,
                                        const std::string& reason) {
  VLOG(1) << "Reporting error " << message_id;
  pending_error_ = std::make_unique<PendingError>(PendingError{message_id, argument, reason});
  parts_.runner->Stop();
}

void InstallerUIController::ShowPendingError() {
  LOG(INFO) << "Handling pending error";
  // Posted after a failed backend: the user may have closed the window meanwhile.
  if (ui_terminated_ || !window_) {
    VLOG(1) << "UI has been terminated already.";
    return;
  }
  accepted_ = false;
  settings_->set_accepts_changes(true);
  if (!observing_settings_) {
    settings_->AddObserver(this);
    observing_settings_ = true;
  }
  if (!pending_error_)
    return;
  if (SwitchToCurrentUser()) {
    pending_error_.reset();
    OnAccept();
    return;
  }
  const bool offer_full_package = error_shown_before_ && parts_.package_fetcher &&
                                  (phase_ < PHASE_ADDITIONAL_FILES || wait_for_network_);
  error_shown_before_ = true;
  const std::unique_ptr<PendingError> error = std::move(pending_error_);
  window_->ShowError(GetString(error->message_id, error->argument), offer_full_package,
                     error->failure_reason);
}

bool InstallerUIController::SwitchToCurrentUser() {
  if (pending_error_->message_id != IDS_ERROR_ELEVATION_FAILED ||
      settings_->operation() != OPERATION_INSTALLING || !settings_->GetFlag(ALL_USERS_FLAG)) {
    return false;
  }
  const base::FilePath default_folder =
      settings_->GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD | DEFAULT_FOLDER_REGISTRY);
  const bool in_default_folder = base::FilePath::CompareEqualIgnoreCase(
      default_folder.value(), settings_->GetInstallFolder().value());
  const bool has_write_access = settings_->GetStatus().details().has_write_access;
  if (!in_default_folder && !has_write_access)
    return false;
  LOG(INFO) << "Offering the user to switch to a Current User install";
  settings_->SetAllUsers(false);
  if (in_default_folder && requires_elevation_(false, has_write_access)) {
    settings_->SetInstallFolder(settings_->GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD));
  }
  return true;
}

void InstallerUIController::TerminateUI() {
  LOG(INFO) << "Terminating the UI";
  if (ui_terminated_) {
    VLOG(2) << "Installer UI already terminated";
    return;
  }
  ui_terminated_ = true;
  if (window_) {
    window_->RemoveObserver(this);
    window_.reset();
  }
  parts_.runner->Stop();
  ui_lock_file_.Close();
  if (pending_ui_callback_) {
    PostUICallbackReply(FROM_HERE, pending_ui_callback_->reply_runner,
                        std::move(pending_ui_callback_->reply), ERROR_CANCELLED);
    pending_ui_callback_.reset();
  }

  stats_->SetInteger("installation_success", success_ ? 1 : 0);
  if (success_)
    stats_->Remove("failure_reason");
  if (settings_->GetFlag(ENABLE_INSTALLER_STATS) && !settings_->GetFlag(AUTOUPDATE)) {
    LOG(INFO) << "Sending stats";
    SendStats(stats_.get(), run_loop_.QuitClosure(), wait_for_network_);
  } else {
    LOG(INFO) << "Not sending stats";
    run_loop_.Quit();
  }
}

}  // namespace installer
