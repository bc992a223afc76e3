#include "desktop/windows/installer/installer_runner_backend.h"

#include <stdint.h>
#include <string.h>

#include <vector>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "desktop/windows/installer/backend_claim.h"
#include "desktop/windows/installer/service/named_objects.h"

namespace installer {

namespace {

// The handle value that the front end wrote as 16 hexadecimal digits of its 8 bytes in
// memory order.
bool DecodeHandle(const std::string& text, HANDLE* handle) {
  std::vector<uint8_t> bytes;
  uint64_t value = 0;
  if (!base::HexStringToBytes(text, &bytes) || bytes.size() != sizeof(value))
    return false;
  memcpy(&value, bytes.data(), sizeof(value));
  *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
  return true;
}

}  // namespace

InstallerRunnerBackend::InstallerRunnerBackend() = default;

InstallerRunnerBackend::~InstallerRunnerBackend() = default;

bool InstallerRunnerBackend::Run(Settings* settings) {
  settings_ = settings;
  if (!WatchFrontEnd())
    return false;
  // Held until this process ends, also when it outlives its front end; a backend that
  // another backend started (elevated, or the package's own) joins the claim of its parent.
  claim_ = CreateBackendClaim(settings_->GetInstallFolder(), false);

  installer_.AddObserver(this);
  // A step may keep this thread from hearing of it for a while.
  installer_.CancelWhenEnded(front_end_process_.Get());
  if (settings_->IsFetchingStatus()) {
    LOG(INFO) << "Waiting for settings to be ready";
    settings_->AddObserver(this);
  } else {
    LOG(INFO) << "Settings already obtained. Running.";
    StartInstallation();
  }
  run_loop_.Run();

  LOG(INFO) << "Installer backend exiting";
  // The front end may have gone before the install folder was read.
  settings_->RemoveObserver(this);
  installer_.RemoveObserver(this);
  return installer_.succeeded();
}

bool InstallerRunnerBackend::WatchFrontEnd() {
  const base::CommandLine& command_line = *base::CommandLine::ForCurrentProcess();
  if (command_line.HasSwitch("initial-proc-handle")) {
    const std::string value = command_line.GetSwitchValueASCII("initial-proc-handle");
    LOG(INFO) << "Using initial process handle " << value;
    HANDLE handle = nullptr;
    if (!DecodeHandle(value, &handle)) {
      LOG(ERROR) << "Failed parsing initial process handle";
      return false;
    }
    // Only a handle that this process holds can be owned (the inherited one carries no
    // right to ask for its kind).
    DWORD flags = 0;
    if (!::GetHandleInformation(handle, &flags)) {
      PLOG(ERROR) << "The initial process handle is not a handle of this process";
      return false;
    }
    front_end_process_.Set(handle);
  } else if (command_line.HasSwitch("initial-pid")) {
    const std::wstring value = command_line.GetSwitchValueNative("initial-pid");
    LOG(INFO) << "Using initial pid " << value;
    unsigned pid = 0;
    if (!base::StringToUint(value, &pid)) {
      LOG(ERROR) << "Failed parsing initial pid";
      return false;
    }
    front_end_process_.Set(::OpenProcess(kBackendAccessToFrontEnd, FALSE, pid));
    if (!front_end_process_.IsValid()) {
      PLOG(ERROR) << "Failed opening initial process";
      return false;
    }
  } else if (command_line.HasSwitch("register-tavro-as-protocol-handler")) {
    // Registering the protocol handler has no front end to watch.
    return true;
  } else {
    LOG(ERROR) << "Missing information about initial process";
    return false;
  }

  if (!watcher_.RegisterWait(front_end_process_.Get(), this)) {
    LOG(ERROR) << "Failed watching initial process";
    return false;
  }
  return true;
}

void InstallerRunnerBackend::OnPathChanged() {
  LOG(INFO) << "Settings obtained. Running.";
  settings_->RemoveObserver(this);
  StartInstallation();
}

void InstallerRunnerBackend::StartInstallation() {
  VLOG(2) << "Starting installation";
  sender_.Connect(MakeInstallerMailslotName(settings_->GetInstallFolder()));
  installer_.Start(settings_);
}

void InstallerRunnerBackend::Send(const InstallerMessage& message) {
  sender_.Send(WriteInstallerMessage(message));
}

void InstallerRunnerBackend::InstallFolderReady() {
  Send(InstallerMessage::OfType(IPC_MESSAGE_INSTALL_FOLDER_READY));
}

void InstallerRunnerBackend::StartingNewMainProcess(bool value) {
  VLOG(1) << "Sending IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS(" << value << ")";
  Send(InstallerMessage::StartingNewMainProcess(value));
}

void InstallerRunnerBackend::ReturnedToPreviousMainProcess() {
  VLOG(1) << "Sending IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS";
  Send(InstallerMessage::OfType(IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS));
}

void InstallerRunnerBackend::TotalSteps(int count) {
  VLOG(1) << "Sending IPC_MESSAGE_TOTAL_STEPS(" << count << ")";
  Send(InstallerMessage::TotalSteps(count));
}

void InstallerRunnerBackend::Step() {
  VLOG(1) << "Sending IPC_MESSAGE_STEP";
  Send(InstallerMessage::OfType(IPC_MESSAGE_STEP));
}

void InstallerRunnerBackend::Error(int code,
                                   const std::wstring& message,
                                   const std::string& detail) {
  VLOG(1) << "Sending IPC_MESSAGE_ERROR(" << code << "," << message << "," << detail << ")";
  Send(InstallerMessage::Error(code, message, detail));
  run_loop_.Quit();
}

void InstallerRunnerBackend::Success() {
  VLOG(1) << "Sending IPC_MESSAGE_SUCCESS";
  Send(InstallerMessage::OfType(IPC_MESSAGE_SUCCESS));
  run_loop_.Quit();
}

void InstallerRunnerBackend::Done(bool value) {
  LOG(INFO) << "Installation is done: " << value;
  run_loop_.Quit();
}

void InstallerRunnerBackend::OnObjectSignaledOnWaitThread(HANDLE object) {
  LOG(INFO) << "Installer UI process ended";
}

void InstallerRunnerBackend::OnObjectSignaled(HANDLE object) {
  run_loop_.Quit();
}

}  // namespace installer
