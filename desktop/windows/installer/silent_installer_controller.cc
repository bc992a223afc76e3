#include "desktop/windows/installer/silent_installer_controller.h"

#include <utility>

#include "base/bind.h"
#include "base/cpu.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/time/time.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "desktop/windows/installer/stats_sender.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/wininet/stats.h"

namespace installer {

namespace {

// How long the end of a backend that reported no success waits for its last reports.
constexpr base::TimeDelta kTerminationDelay = base::TimeDelta::FromMilliseconds(1000);

}  // namespace

SilentInstallerController::SilentInstallerController() : stats_(std::make_unique<Stats>(this)) {}

SilentInstallerController::~SilentInstallerController() {
  if (settings_)
    settings_->RemoveObserver(this);
  if (parts_.runner)
    parts_.runner->RemoveObserver(this);
  // The parts go first (ControllerParts orders them), then the statistics they write into.
}

uint8_t SilentInstallerController::Run(Settings* settings,
                                       const PayloadReader* payload_reader,
                                       const base::FilePath& download_folder) {
  settings_ = settings;
  settings_->AddObserver(this);
  parts_ =
      MakeControllerParts(*settings_, payload_reader, download_folder, stats_.get(), this, this);
  if (parts_.package_fetcher)
    parts_.package_fetcher->Start();
  else
    package_ready_ = true;
  parts_.runner->AddObserver(this);

  if (!settings_->IsFetchingStatus()) {
    VLOG(1) << "Settings already obtained. Starting.";
    base::CurrentThreadTaskRunner::Get()->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("Run"),
        base::BindMethod(&SilentInstallerController::Start, weak_factory_.GetWeakPtr()));
  }
  run_loop_.Run();
  LOG(INFO) << "Controller exiting";
  parts_.runner->RemoveObserver(this);
  return result_ ? 1 : 0;
}

void SilentInstallerController::OnPathChanged() {
  if (started_)
    return;
  if (!settings_->GetFlag(AUTOUPDATE) &&
      RequiresElevation(settings_->GetFlag(ALL_USERS_FLAG),
                        settings_->GetStatus().details().has_write_access)) {
    const base::FilePath default_folder =
        settings_->GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD | DEFAULT_FOLDER_COMMAND_LINE);
    // A silent run cannot ask for elevation: it moves to the default folder instead. When
    // that is refused it goes on where it is and lets the backend report the failure.
    if (!default_folder.empty() &&
        !base::FilePath::CompareEqualIgnoreCase(default_folder.value(),
                                                settings_->GetInstallFolder().value()) &&
        settings_->SetInstallFolderFromString(default_folder.value())) {
      return;
    }
  }
  VLOG(1) << "Settings obtained. Starting.";
  Start();
}

void SilentInstallerController::Start() {
  // A run that has already failed (its fetches, say, before the settings came) starts no
  // backend.
  if (started_ || termination_done_)
    return;
  started_ = true;
  settings_->WriteStats(std::string(), stats_.get());
  if (base::win::GetWindowsVersion() < base::win::VERSION_WIN7) {
    LOG(ERROR) << "This version of Tavro doesn't support windows versions prior to Windows 7";
    Finish();
    return;
  }
  if (!base::CpuInfo().has_sse2()) {
    LOG(ERROR) << "SSE2 not supported by the computer";
    Finish();
    return;
  }
  if (package_ready_) {
    VLOG(2) << "Got tracking data from package.";
    HandleTrackingData();
  }
  VLOG(1) << "Preparing to run the installer.";
  if (!parts_.runner->Start(settings_))
    Finish();
}

void SilentInstallerController::NotifyStatusChanged(int32_t status) {
  switch (status) {
    case FETCHER_REQUESTING_URL:
      VLOG(1) << "Package will be downloaded.";
      wait_for_network_ = true;
      break;
    case FETCHER_PACKAGE_READY:
      VLOG(1) << "Package fetched successfully.";
      package_ready_ = true;
      if (settings_->IsFetchingStatus() || !started_)
        break;
      VLOG(1) << "Got tracking data from status.";
      HandleTrackingData();
      break;
    case FETCHER_INITIALIZATION_FAILED:
    case FETCHER_DOWNLOAD_FAILED:
    case FETCHER_UNPACKING_FAILED:
      if (parts_.package_fetcher->Retry())
        break;
      VLOG(1) << "Package fetcher failed.";
      stats_->SetString("failure_reason", "Fetcher error");
      Finish();
      break;
    default:
      break;
  }
}

void SilentInstallerController::HandleTrackingData() {
  if (tracking_data_handled_)
    return;
  tracking_data_handled_ = true;
  RunTrackingDataActions(parts_.tracking_data, *settings_, stats_.get(),
                         parts_.pref_overrides_fetcher.get(),
                         base::BindMethod(&SilentInstallerController::OnTrackingDataHandled,
                                          weak_factory_.GetWeakPtr()));
}

void SilentInstallerController::OnTrackingDataHandled() {
  VLOG(1) << "Tracking data actions done: package complete.";
  parts_.runner->SignalPackageReady();
}

void SilentInstallerController::RunUICallbackAndPostReply(
    UITask ui_task,
    base::scoped_refptr<base::TaskRunner> reply_runner,
    Reply reply) {
  LOG(ERROR) << "Cannot display UI requested by fetcher when running silently";
  PostUICallbackReply(FROM_HERE, reply_runner, std::move(reply), 0);
}

void SilentInstallerController::OnError(int error_id,
                                        const std::wstring& message,
                                        const std::string& detail) {
  // The detail is the text meant for the statistics; a report without one has its message.
  stats_->SetString("failure_reason", detail.empty() ? base::Utf16ToUtf8(message) : detail);
  VLOG(1) << "Installer error: terminating";
  Finish();
}

void SilentInstallerController::OnSuccess() {
  VLOG(1) << "Installer succeeded: terminating";
  result_ = true;
  Finish();
}

void SilentInstallerController::OnInstallerTerminated(bool success) {
  if (!termination_done_)
    result_ = success;
  VLOG(1) << "Installer ended. Success is " << success << ". terminating";
  base::CurrentThreadTaskRunner::Get()->PostDelayedTask(
      FROM_HERE, base::BindMethod(&SilentInstallerController::Finish, weak_factory_.GetWeakPtr()),
      kTerminationDelay);
}

void SilentInstallerController::Finish() {
  if (termination_done_) {
    LOG(INFO) << "Termination already done.";
    return;
  }
  termination_done_ = true;
  stats_->SetInteger("installation_success", result_ ? 1 : 0);
  if (settings_->GetFlag(ENABLE_INSTALLER_STATS) && (!settings_->GetFlag(AUTOUPDATE) || !result_)) {
    LOG(INFO) << "Sending stats";
    SendStats(stats_.get(), run_loop_.QuitClosure(), wait_for_network_);
  } else {
    LOG(INFO) << "Not sending stats";
    run_loop_.Quit();
  }
}

}  // namespace installer
