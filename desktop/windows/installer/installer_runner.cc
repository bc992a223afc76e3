#include "desktop/windows/installer/installer_runner.h"

#include <stdint.h>

#include <utility>

#include "base/bind.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/process/launch.h"
#include "base/process/launch_lock.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/backend_claim.h"
#include "desktop/windows/installer/installer_runner_backend.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/crash_reporter_pid.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/settings.h"

namespace installer {

namespace {

// Localised string ids of the failures.
constexpr int kErrorGeneric = 37055;
constexpr int kErrorFolderInUse = 37057;
constexpr int kErrorInvalidSettings = 37058;
// A backend reports an error or two; the rest of a flood is not kept.
constexpr size_t kMaxHeldErrors = 32;
// How long the end of a run waits for an interrupted backend to roll back and end.
constexpr DWORD kBackendEndWaitMs = 60 * 1000;

// A manual-reset, unsignalled event shared by name with the backend. One of this
// installation's that exists already is left from an earlier run of the folder (the caller
// holds the folder, and no backend works on it): a signal it still carries is not this
// run's. One that is not this installation's is refused: whoever made it could signal it.
NamedObject CreateRunEvent(const std::wstring& name) {
  NamedObject event = CreateNamedEvent(name, true, IfExists::kUseWhenTrusted, false);
  if (event.handle.IsValid() && event.existed) {
    LOG(WARNING) << "The event " << name << " is left from an earlier run: it is reset";
    if (!::ResetEvent(event.handle.Get())) {
      PLOG(ERROR) << "Cannot reset " << name;
      event.handle.Close();
    }
  }
  return event;
}

// The detail of a failure to make the named object |name|.
std::string ObjectFailure(const char* what, const std::wstring& name, const NamedObject& object) {
  return std::string(what) + " " + base::SystemWideToUtf8(name) +
         (object.refused ? ": it exists and is not this installer's (made by another user, "
                           "or others may change it)"
                         : ": it cannot be made");
}

}  // namespace

InstallerRunner::InstallerRunner(const base::FilePath& package_folder,
                                 const base::FilePath& component_folder)
    : receiver_(this), component_folder_(component_folder), package_folder_(package_folder) {}

InstallerRunner::~InstallerRunner() {
  Stop();
  // The run ends with its backend rather than leaving it to find out by itself: a caller
  // that starts the next run at once would find the folder still claimed. (And under Wine, a
  // process whose parent ends while it is still starting may never run and stay for good.)
  if (backend_running_) {
    LOG(INFO) << "Waiting for the interrupted installer backend to end";
    if (!backend_.WaitForExitWithTimeout(kBackendEndWaitMs, nullptr)) {
      LOG(WARNING) << "The installer backend " << backend_.Pid() << " did not end within "
                   << kBackendEndWaitMs << " ms of its interruption";
    }
  }
  if (watcher_.IsWatching())
    watcher_.StopWatching();
}

bool InstallerRunner::ReportError(int error_id, const std::string& detail) {
  LOG(ERROR) << detail;
  observers_.ForEach(
      [&](Observer* observer) { observer->OnError(error_id, std::wstring(), detail); });
  return false;
}

bool InstallerRunner::Start(Settings* settings) {
  if (settings == settings_)
    LOG(INFO) << "Duplicate installation attempt detected";
  LOG(INFO) << "Beginning installation";
  // The backend of an earlier run may still be rolling back; this runner knows it even where
  // the mutex does not (this thread may own it still).
  if (backend_running_)
    return ReportError(kErrorFolderInUse, "The previous installer backend is still running");
  // What a failed start left behind.
  if (settings_)
    Stop();

  if (settings->operation() == OPERATION_INVALID) {
    LOG(ERROR) << "Install folder \"" << settings->GetInstallFolder()
               << "\" cannot be used: " << settings->GetInvalidReason();
    return ReportError(kErrorInvalidSettings,
                       "Attempting to start installation with invalid settings");
  }
  settings->set_accepts_changes(false);
  settings_ = settings;
  reported_errors_.clear();
  reported_success_ = false;
  const base::FilePath& install_folder = settings->GetInstallFolder();

  const std::wstring mutex_name = MakeObjectName(install_folder, L"Tavro/Installer", true);
  VLOG(1) << "Installer mutex name: " << mutex_name;
  NamedObject mutex = CreateNamedMutex(mutex_name, IfExists::kUseWhenTrusted, false, false);
  if (mutex.refused)
    return ReportError(kErrorGeneric, ObjectFailure("The installer mutex", mutex_name, mutex));
  mutex_ = std::move(mutex.handle);
  if (!mutex_.IsValid())
    return ReportError(kErrorFolderInUse, "Could not create installer mutex");
  const DWORD wait = ::WaitForSingleObject(mutex_.Get(), 0);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    mutex_.Close();
    return ReportError(kErrorFolderInUse, "Could not acquire installer mutex");
  }
  // The mutex only tells of front ends. A front end that ended without letting it go may
  // have left its backend at work (rolling back, say): the folder is that backend's until
  // it ends.
  if (wait == WAIT_ABANDONED)
    LOG(WARNING) << "The previous installer of this folder ended without letting it go";
  const BackendClaimState claim = GetBackendClaimState(install_folder);
  if (claim != BackendClaimState::kFree) {
    if (!::ReleaseMutex(mutex_.Get()))
      PLOG(ERROR) << "ReleaseMutex failed";
    mutex_.Close();
    if (claim == BackendClaimState::kRefused) {
      return ReportError(kErrorGeneric, "The backend claim " +
                                            base::SystemWideToUtf8(GetBackendClaimName(
                                                install_folder)) +
                                            " exists and is not this installer's");
    }
    return ReportError(kErrorFolderInUse, "An installer backend still works on this folder");
  }

  const std::wstring mailslot_name = MakeInstallerMailslotName(install_folder);
  VLOG(1) << "Installer mailslot name: " << mailslot_name;
  if (!receiver_.Connect(mailslot_name))
    return ReportError(kErrorGeneric, "Could not connect to mailslot");

  base::CommandLine command_line = settings->AppendToCommandLine(false);
  command_line.AppendSwitchPath("server-tracking-data", base::FilePath(L"server_tracking_data"));
  command_line.AppendSwitchASCII("initial-pid", base::StringPrintf("%lu", ::GetCurrentProcessId()));
  command_line.AppendSwitchASCII("crash-reporter-pid",
                                 base::StringPrintf("%u", GetCrashReporterPid()));

  const std::wstring interrupted_name =
      MakeObjectName(install_folder, L"TavroInstaller/InstallationInterrupted", true);
  VLOG(1) << "Event name for interrupted installation: " << interrupted_name;
  NamedObject interrupted = CreateRunEvent(interrupted_name);
  interrupted_event_ = std::move(interrupted.handle);
  if (!interrupted_event_.IsValid()) {
    LOG(ERROR) << ObjectFailure("The event", interrupted_name, interrupted);
    return ReportError(kErrorGeneric, "Could not create installation interruption event");
  }

  if (have_package_) {
    VLOG(1) << "Package is already available";
    command_line.SetProgram(package_folder_.Append(L"installer.exe"));
  } else {
    const std::wstring package_ready_name =
        MakeObjectName(install_folder, L"TavroInstaller/PackageReady", true);
    VLOG(1) << "Event name for package_ready: " << package_ready_name;
    NamedObject package_ready = CreateRunEvent(package_ready_name);
    package_ready_event_ = std::move(package_ready.handle);
    if (!package_ready_event_.IsValid()) {
      LOG(ERROR) << ObjectFailure("The event", package_ready_name, package_ready);
      return ReportError(kErrorGeneric, "Could not create package ready event");
    }
    base::FilePath own_file;
    if (!base::PathRegistry::Get(base::FILE_EXE, &own_file))
      return ReportError(kErrorGeneric, "Could not find own file path");
    command_line.SetProgram(own_file);
    command_line.AppendSwitchPath("wait-for-package", package_folder_);
  }

  if (!component_folder_.empty())
    command_line.AppendSwitchNative("components", L"suite:" + component_folder_.BaseName().value());

  return LaunchBackend(&command_line);
}

bool InstallerRunner::LaunchBackend(base::CommandLine* command_line) {
  base::Process backend;
  bool claimed = false;
  bool duplicated = false;
  {
    // No other child may inherit the handles made for this one.
    base::AutoLaunchLock launch_lock(base::GetLaunchLock());
    // The backend's claim on the folder, held by the backend from its first instant: this
    // process's handle goes once the backend has its own copy.
    const base::win::ScopedHandle claim =
        CreateBackendClaim(settings_->GetInstallFolder(), true);
    claimed = claim.IsValid();
    HANDLE own_process = nullptr;
    duplicated = claimed && ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(),
                                              ::GetCurrentProcess(), &own_process,
                                              kBackendAccessToFrontEnd, TRUE, 0);
    if (duplicated) {
      // The backend's copy is all that is needed: this one goes with the lock.
      const base::win::ScopedHandle inheritable_own_process(own_process);
      const uint64_t handle_value = reinterpret_cast<uintptr_t>(own_process);
      command_line->AppendSwitchASCII("initial-proc-handle",
                                      base::HexEncode(&handle_value, sizeof(handle_value)));
      LOG(INFO) << "launching installer backend: " << command_line->GetCommandLineString();
      base::LaunchOptions options;
      options.handles_to_inherit = {inheritable_own_process.Get(), claim.Get()};
      backend = base::LaunchProcess(*command_line, options);
    } else if (claimed) {
      PLOG(ERROR) << "DuplicateHandle failed";
    }
  }
  if (!claimed)
    return ReportError(kErrorGeneric, "Could not claim the install folder for the backend");
  if (!duplicated)
    return ReportError(kErrorGeneric, "Could not duplicate own process handle");
  if (!backend.IsValid())
    return ReportError(kErrorGeneric, "Could not launch installer backend process");

  backend_ = std::move(backend);
  backend_running_ = true;
  ::AllowSetForegroundWindow(backend_.Pid());
  VLOG(2) << "Installer backend started.";
  if (!watcher_.RegisterWait(backend_.Handle(), this)) {
    ReportError(kErrorGeneric, "Could not monitor the installer process handle");
    Stop();
    return false;
  }
  return true;
}

void InstallerRunner::SignalPackageReady() {
  if (have_package_)
    return;
  VLOG(2) << "Recording that we have the package";
  have_package_ = true;
  if (backend_running_ && package_ready_event_.IsValid()) {
    LOG(INFO) << "Informing the installer backend that the package is ready";
    if (!::SetEvent(package_ready_event_.Get()))
      PLOG(ERROR) << "Cannot signal the package ready event";
  }
}

void InstallerRunner::Stop() {
  LOG(INFO) << "Stopping installer backend (if running)";
  if (backend_running_ && interrupted_event_.IsValid()) {
    if (!::SetEvent(interrupted_event_.Get()))
      PLOG(ERROR) << "Cannot signal the installation interrupted event";
    VLOG(1) << "Sending installation interrupted event";
  }
  if (mutex_.IsValid()) {
    VLOG(1) << "Letting go of the installer mutex";
    // A backend that still runs keeps the folder claimed until it ends.
    if (!backend_running_ && !::ReleaseMutex(mutex_.Get()))
      PLOG(ERROR) << "ReleaseMutex failed";
    mutex_.Close();
  }
  // A backend that is still starting opens them by name: they stay, the interruption
  // signalled, until it has ended.
  if (!backend_running_) {
    package_ready_event_.Close();
    interrupted_event_.Close();
  }
  receiver_.Close();
  settings_ = nullptr;
}

void InstallerRunner::OnMessageReceived(const base::WireMessage& wire) {
  InstallerMessage message;
  switch (ReadInstallerMessage(wire, &message)) {
    case InstallerMessageReadResult::kOk:
      break;
    case InstallerMessageReadResult::kNoSignature:
      // Any process can write into the mailslot.
      LOG(WARNING) << "Received a message without installer signature";
      return;
    case InstallerMessageReadResult::kNoType:
      return;
    case InstallerMessageReadResult::kUnknownType:
      LOG(WARNING) << "Received installer message with invalid type";
      return;
    case InstallerMessageReadResult::kInvalidFields:
      LOG(ERROR) << "Received invalid " << InstallerMessageTypeName(message.type) << " message";
      return;
  }

  switch (message.type) {
    case IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS:
      VLOG(1) << "IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS(" << message.value << ") received";
      observers_.ForEach(
          [&](Observer* observer) { observer->OnStartingNewMainProcess(message.value); });
      break;
    case IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS:
      VLOG(1) << "IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS received";
      observers_.ForEach([](Observer* observer) { observer->OnReturnedToPreviousMainProcess(); });
      break;
    case IPC_MESSAGE_INSTALL_FOLDER_READY:
      observers_.ForEach([](Observer* observer) { observer->OnInstallFolderReady(); });
      break;
    case IPC_MESSAGE_TOTAL_STEPS:
      VLOG(1) << "IPC_MESSAGE_TOTAL_STEPS(" << message.count << ") received";
      observers_.ForEach([&](Observer* observer) { observer->OnTotalSteps(message.count); });
      break;
    case IPC_MESSAGE_STEP:
      VLOG(1) << "IPC_MESSAGE_STEP received";
      observers_.ForEach([](Observer* observer) { observer->OnStep(); });
      break;
    // Any process may write into the mailslot: an outcome waits for the backend's exit code.
    case IPC_MESSAGE_ERROR:
      VLOG(1) << "IPC_MESSAGE_ERROR(" << message.code << "," << message.message << ","
              << message.detail << ") received";
      if (reported_errors_.size() < kMaxHeldErrors)
        reported_errors_.push_back(std::move(message));
      else
        LOG(WARNING) << "Too many error reports: dropped";
      break;
    case IPC_MESSAGE_SUCCESS:
      VLOG(1) << "IPC_MESSAGE_SUCCESS received";
      reported_success_ = true;
      break;
  }
}

void InstallerRunner::OnObjectSignaled(HANDLE object) {
  VLOG(1) << "Installer backend process signaled";
  backend_running_ = false;
  // The backend wrote its last reports before it ended; the IPC thread may not have read
  // them yet. They go to the observers first.
  receiver_.Flush(base::BindMethod(&InstallerRunner::OnBackendEnded, weak_factory_.GetWeakPtr()));
}

void InstallerRunner::OnBackendEnded() {
  // A stopped run kept them for the backend only.
  if (!settings_) {
    package_ready_event_.Close();
    interrupted_event_.Close();
  }
  DWORD exit_code = 1;
  if (!::GetExitCodeProcess(backend_.Handle(), &exit_code)) {
    PLOG(ERROR) << "GetExitCodeProcess failed";
    exit_code = 1;
  }
  const bool success = exit_code == 0 && reported_success_;
  std::vector<InstallerMessage> errors = std::move(reported_errors_);
  reported_errors_.clear();
  reported_success_ = false;
  if (success) {
    // A backend that fails says so with its exit code: these came from elsewhere.
    if (!errors.empty())
      LOG(WARNING) << "Ignoring " << errors.size() << " error reports of a backend that succeeded";
    observers_.ForEach([](Observer* observer) { observer->OnSuccess(); });
  } else {
    if (exit_code == 0)
      LOG(ERROR) << "The installer backend ended without reporting success";
    else
      LOG(ERROR) << "The installer backend ended with " << exit_code;
    for (const InstallerMessage& error : errors) {
      observers_.ForEach([&](Observer* observer) {
        observer->OnError(error.code, error.message, error.detail);
      });
    }
  }
  observers_.ForEach([&](Observer* observer) { observer->OnInstallerTerminated(success); });
}

}  // namespace installer
