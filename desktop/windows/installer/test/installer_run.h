#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_RUN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_RUN_H_

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_path.h"
#include "base/files/scoped_temp_dir.h"
#include "base/message_loop/message_loop.h"
#include "base/test/scoped_path_override.h"
#include "base/time/time.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/installer_observer.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {

class Installer;
class Settings;
struct InstallerUserRights;

// Reaches into an Installer: the ends of a run that other processes bring about, and the
// undo of a whole installation, so that a test that installs into the real registry
// leaves it as it was.
class InstallerTestPeer {
 public:
  static bool HandleElevatedResult(Installer* installer, int result);
  static void StepInstallationSucceeded(Installer* installer);
  // Undoes every change the installer's operations made; call after the run ended (after
  // success only with KeepUndoAfterSuccess).
  static void RollBack(Installer* installer);
  // Makes a successful run keep what it needs for an undo until the installer is gone;
  // before Start.
  static void KeepUndoAfterSuccess(Installer* installer);
  // Lets go of the install folder's undo journal, as a run does when its process ends, so
  // that another installer can run in the folder while this one is kept for RollBack.
  static void ReleaseUndoJournal(Installer* installer);
  // Makes the installer see the user as |rights| answer; before Start.
  static void SetUserRights(Installer* installer, const InstallerUserRights& rights);
};

namespace test {

// What an Installer told its observer, in order, one text per call: "InstallFolderReady",
// "TotalSteps(12)", "Step", "Error(37062)", "Success", "Done(0)".
class RecordingInstallerObserver : public InstallerObserver {
 public:
  RecordingInstallerObserver();
  ~RecordingInstallerObserver() override;

  // Runs after the |count|-th Step call (the first is 1).
  std::function<void(int count)> on_step;
  // Runs after every call, with its text.
  std::function<void(const std::string& event)> on_event;

  const std::vector<std::string>& events() const { return events_; }
  int steps() const { return steps_; }
  // Success or Done was told.
  bool ended() const { return ended_; }
  // The texts of the first Error.
  const std::wstring& error_message() const { return error_message_; }
  const std::string& error_detail() const { return error_detail_; }
  // The events after the first Step, Steps collapsed into their count, e.g.
  // {"InstallFolderReady", "TotalSteps(12)", "Step x12", "Success"}.
  std::vector<std::string> Summary() const;

  // InstallerObserver:
  void InstallFolderReady() override;
  void StartingNewMainProcess(bool value) override;
  void ReturnedToPreviousMainProcess() override;
  void TotalSteps(int count) override;
  void Step() override;
  void Error(int code, const std::wstring& message, const std::string& detail) override;
  void Success() override;
  void Done(bool value) override;

 private:
  void Record(std::string event);

  std::vector<std::string> events_;
  int steps_ = 0;
  bool ended_ = false;
  std::wstring error_message_;
  std::string error_detail_;
};

// A test that runs the Installer in this process, on its own thread with a message loop
// and COM, against a package folder it makes: the shell folders (desktops, start menus,
// quick launch) and the running executable point into the test's temp folder, and the
// registry is a test copy (ScopedRegistryOverride) unless the test asks for the real one.
//
//   SetUp made package_folder() (MakePackage) with files_list "tavro.exe", "installer.exe",
//   "resources\about.txt" and root_files_list "launcher.VisualElements.xml", "root.txt";
//   install_folder() does not exist yet.
//   RecordingInstallerObserver observer;
//   ASSERT_TRUE(RunInstaller(L"", &observer));
class InstallerRunTest : public testing::Test {
 protected:
  enum class Registry {
    kTestCopy,
    kReal,
  };

  explicit InstallerRunTest(Registry registry = Registry::kTestCopy);
  ~InstallerRunTest() override;

  void SetUp() override;
  void TearDown() override;

  // Whether the test works in the real registry of the test prefix.
  bool uses_real_registry() const { return registry_kind_ == Registry::kReal; }

  // Makes the package in |folder| (the test's "package" folder, made already).
  virtual void MakePackage(const base::FilePath& folder);
  // Writes package_file(), from which an administrator's run unpacks what it installs: here
  // the package folder as it is now, archived; SetUp and RunInstaller call it.
  virtual void PackPackage();
  // The installer file the package folder was unpacked from, beside it, named after it as
  // the front end names them ("package.exe").
  base::FilePath package_file() const { return package_folder_.AddExtension(L"exe"); }
  // The folder that holds the package folder.
  const base::FilePath& temp_root() const { return temp_dir_.GetPath(); }

  const base::FilePath& package_folder() const { return package_folder_; }
  const base::FilePath& install_folder() const { return install_folder_; }
  // Holds the install folder's parent and the shell folders: what an installation changes.
  const base::FilePath& target_root() const { return target_root_; }
  const base::FilePath& common_desktop() const { return common_desktop_; }
  const base::FilePath& common_start_menu() const { return common_start_menu_; }
  const base::FilePath& user_desktop() const { return user_desktop_; }
  const base::FilePath& user_start_menu() const { return user_start_menu_; }

  // Settings for the command line "installer.exe" + |switches| with the install folder,
  // no launch and no default browser, their install-folder read applied. With
  // "--uninstall" they uninstall the install folder, as its installed installer would.
  std::unique_ptr<Settings> MakeSettings(const std::wstring& switches);
  // Runs an Installer with |settings| (or settings made from |switches|) until it ends,
  // at most 60 seconds; false when it did not end. The installation-interrupted event of
  // the install folder exists meanwhile (interrupted_event()). |installer| (may be null)
  // receives the Installer, destroyed otherwise before the function returns.
  bool RunInstaller(const std::wstring& switches,
                    RecordingInstallerObserver* observer,
                    std::unique_ptr<Installer>* installer = nullptr);
  bool RunInstaller(Settings* settings,
                    RecordingInstallerObserver* observer,
                    std::unique_ptr<Installer>* installer = nullptr);
  // Makes every installer that RunInstaller starts from now on see the user as |rights|
  // answer (the system's answers when null).
  void SetUserRights(std::unique_ptr<InstallerUserRights> rights);
  // Makes every installer that RunInstaller starts from now on end its run at the next step
  // boundary once |process| (a handle the test keeps open) is signalled
  // (Installer::CancelWhenEnded).
  void CancelRunsWhenEnded(HANDLE process) { cancel_when_ended_ = process; }
  // Makes every installer that RunInstaller starts from now on keep its undo after success
  // (InstallerTestPeer::KeepUndoAfterSuccess), for InstallerTestPeer::RollBack.
  void KeepUndoOfSuccessfulRuns() { keep_undo_ = true; }
  HANDLE interrupted_event() const { return interrupted_event_.Get(); }
  // Makes |observer| signal the interrupted event, as the front end does when the user
  // cancels, at its |count|-th Step. Each run starts with the event reset.
  void CancelAtStep(RecordingInstallerObserver* observer, int count) const;
  // Closes the test's handle of the event, which then no longer exists.
  void CloseInterruptedEvent() { interrupted_event_.Close(); }

  // Runs the loop until |done|, at most |timeout|.
  bool RunUntil(const std::function<bool()>& done,
                base::TimeDelta timeout = base::TimeDelta::FromSeconds(60));
  // Runs the tasks that are due now.
  void RunPendingTasks();

  // What an installation may change: the files below target_root(), and the registry (the
  // Software trees of the test copy, or of the real HKCU and HKLM).
  struct Snapshot {
    TreeSnapshot files;
    RegistrySnapshot registry;
  };
  Snapshot TakeSnapshot() const;
  // What changed since |before|, one line each; kNoChanges when nothing did.
  std::string ChangesSince(const Snapshot& before) const;
  static constexpr char kNoChanges[] = "(no differences)\n";

  // The autoupdate task of the installation with |app_id| as the system's scheduler keeps
  // it; false when it is not registered.
  static bool ReadAutoupdateTask(const std::string& app_id, ScheduledTaskInfo* task);
  // Deletes that task; false when it was not registered.
  static bool DeleteAutoupdateTask(const std::string& app_id);

 private:
  base::ExitCallbackRegistry exit_callbacks_;
  base::MessageLoop loop_;
  base::win::ScopedComInitializer com_;
  const Registry registry_kind_;
  std::unique_ptr<ScopedRegistryOverride> registry_;
  base::ScopedTempDir temp_dir_;
  base::FilePath package_folder_;
  base::FilePath install_folder_;
  base::FilePath target_root_;
  base::FilePath common_desktop_;
  base::FilePath common_start_menu_;
  base::FilePath user_desktop_;
  base::FilePath user_start_menu_;
  std::vector<std::unique_ptr<base::ScopedPathOverride>> path_overrides_;
  std::list<base::CommandLine> command_lines_;
  // The settings of installers handed to the test.
  std::vector<std::unique_ptr<Settings>> kept_settings_;
  std::unique_ptr<InstallerUserRights> user_rights_;
  bool keep_undo_ = false;
  HANDLE cancel_when_ended_ = nullptr;
  base::win::ScopedHandle interrupted_event_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_RUN_H_
