#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_RUNNER_OBSERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_RUNNER_OBSERVER_H_

#include <string>
#include <vector>

#include "desktop/windows/installer/installer_runner.h"

namespace installer {
namespace test {

// What an InstallerRunner told its observers, in order, one text per call:
// "OnInstallFolderReady", "OnStartingNewMainProcess(0)", "OnReturnedToPreviousMainProcess",
// "OnTotalSteps(12)", "OnStep", "OnError(37062,<message>,<detail>)" (the message as UTF-8),
// "OnSuccess", "OnInstallerTerminated(1)". Observes |runner| while it lives.
class RecordingRunnerObserver : public InstallerRunner::Observer {
 public:
  explicit RecordingRunnerObserver(InstallerRunner* runner);
  RecordingRunnerObserver(const RecordingRunnerObserver&) = delete;
  RecordingRunnerObserver& operator=(const RecordingRunnerObserver&) = delete;
  ~RecordingRunnerObserver() override;

  const std::vector<std::string>& events() const { return events_; }
  // The events with the OnStep runs collapsed into their count ("OnStep x12").
  std::vector<std::string> Summary() const;
  bool terminated() const { return terminated_; }
  int steps() const { return steps_; }
  void Clear();

  // InstallerRunner::Observer:
  void OnInstallFolderReady() override;
  void OnStartingNewMainProcess(bool value) override;
  void OnReturnedToPreviousMainProcess() override;
  void OnTotalSteps(int count) override;
  void OnStep() override;
  void OnError(int error_id, const std::wstring& message, const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

 private:
  InstallerRunner* const runner_;
  std::vector<std::string> events_;
  bool terminated_ = false;
  int steps_ = 0;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_RUNNER_OBSERVER_H_
