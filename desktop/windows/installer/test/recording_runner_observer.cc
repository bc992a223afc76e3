#include "desktop/windows/installer/test/recording_runner_observer.h"

#include "base/strings/utf_string_conversions.h"

namespace installer {
namespace test {

RecordingRunnerObserver::RecordingRunnerObserver(InstallerRunner* runner) : runner_(runner) {
  runner_->AddObserver(this);
}

RecordingRunnerObserver::~RecordingRunnerObserver() {
  runner_->RemoveObserver(this);
}

std::vector<std::string> RecordingRunnerObserver::Summary() const {
  std::vector<std::string> summary;
  int steps = 0;
  for (size_t i = 0; i <= events_.size(); ++i) {
    if (i < events_.size() && events_[i] == "OnStep") {
      ++steps;
      continue;
    }
    if (steps)
      summary.push_back("OnStep x" + std::to_string(steps));
    steps = 0;
    if (i < events_.size())
      summary.push_back(events_[i]);
  }
  return summary;
}

void RecordingRunnerObserver::Clear() {
  events_.clear();
  terminated_ = false;
  steps_ = 0;
}

void RecordingRunnerObserver::OnInstallFolderReady() {
  events_.push_back("OnInstallFolderReady");
}

void RecordingRunnerObserver::OnStartingNewMainProcess(bool value) {
  events_.push_back(std::string("OnStartingNewMainProcess(") + (value ? "1" : "0") + ")");
}

void RecordingRunnerObserver::OnReturnedToPreviousMainProcess() {
  events_.push_back("OnReturnedToPreviousMainProcess");
}

void RecordingRunnerObserver::OnTotalSteps(int count) {
  events_.push_back("OnTotalSteps(" + std::to_string(count) + ")");
}

void RecordingRunnerObserver::OnStep() {
  events_.push_back("OnStep");
  ++steps_;
}

void RecordingRunnerObserver::OnError(int error_id,
                                      const std::wstring& message,
                                      const std::string& detail) {
  events_.push_back("OnError(" + std::to_string(error_id) + "," +
                    base::SystemWideToUtf8(message) + "," + detail + ")");
}

void RecordingRunnerObserver::OnSuccess() {
  events_.push_back("OnSuccess");
}

void RecordingRunnerObserver::OnInstallerTerminated(bool success) {
  events_.push_back(std::string("OnInstallerTerminated(") + (success ? "1" : "0") + ")");
  terminated_ = true;
}

}  // namespace test
}  // namespace installer
