#include "desktop/windows/installer/test/installer_run.h"

#include <windows.h>

#include <utility>

#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/path_registry.h"
#include "base/run_loop.h"
#include "base/test/run_until.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/default_install_folders.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/service/taskbar_pins.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/stored_archive.h"
#include "desktop/windows/installer/test/test_installation.h"

namespace installer {

// static
bool InstallerTestPeer::HandleElevatedResult(Installer* installer, int result) {
  return installer->HandleElevatedResult(result);
}

// static
void InstallerTestPeer::StepInstallationSucceeded(Installer* installer) {
  installer->StepInstallationSucceeded();
}

// static
void InstallerTestPeer::RollBack(Installer* installer) {
  installer->transaction_.Rollback();
}

// static
void InstallerTestPeer::KeepUndoAfterSuccess(Installer* installer) {
  installer->keep_undo_after_success_ = true;
}

// static
void InstallerTestPeer::ReleaseUndoJournal(Installer* installer) {
  installer->transaction_.DetachJournal();
}

// static
void InstallerTestPeer::SetUserRights(Installer* installer, const InstallerUserRights& rights) {
  installer->rights_ = rights;
}

namespace test {

RecordingInstallerObserver::RecordingInstallerObserver() = default;

RecordingInstallerObserver::~RecordingInstallerObserver() = default;

std::vector<std::string> RecordingInstallerObserver::Summary() const {
  std::vector<std::string> summary;
  int steps = 0;
  auto flush_steps = [&] {
    if (steps)
      summary.push_back("Step x" + std::to_string(steps));
    steps = 0;
  };
  for (const std::string& event : events_) {
    if (event == "Step") {
      ++steps;
      continue;
    }
    flush_steps();
    summary.push_back(event);
  }
  flush_steps();
  return summary;
}

void RecordingInstallerObserver::Record(std::string event) {
  events_.push_back(std::move(event));
  if (on_event)
    on_event(events_.back());
}

void RecordingInstallerObserver::InstallFolderReady() {
  Record("InstallFolderReady");
}

void RecordingInstallerObserver::StartingNewMainProcess(bool value) {
  Record(std::string("StartingNewMainProcess(") + (value ? "1" : "0") + ")");
}

void RecordingInstallerObserver::ReturnedToPreviousMainProcess() {
  Record("ReturnedToPreviousMainProcess");
}

void RecordingInstallerObserver::TotalSteps(int count) {
  Record("TotalSteps(" + std::to_string(count) + ")");
}

void RecordingInstallerObserver::Step() {
  ++steps_;
  Record("Step");
  if (on_step)
    on_step(steps_);
}

void RecordingInstallerObserver::Error(int code,
                                       const std::wstring& message,
                                       const std::string& detail) {
  if (error_detail_.empty()) {
    error_message_ = message;
    error_detail_ = detail;
  }
  Record("Error(" + std::to_string(code) + ")");
}

void RecordingInstallerObserver::Success() {
  ended_ = true;
  Record("Success");
}

void RecordingInstallerObserver::Done(bool value) {
  ended_ = true;
  Record(std::string("Done(") + (value ? "1" : "0") + ")");
}

InstallerRunTest::InstallerRunTest(Registry registry) : registry_kind_(registry) {}

InstallerRunTest::~InstallerRunTest() = default;

void InstallerRunTest::SetUp() {
  ASSERT_TRUE(com_.Succeeded());
  // As the installer's entry does.
  RegisterInstallerFeatures(&base::FeatureRegistry::GetInstance());
  if (registry_kind_ == Registry::kTestCopy) {
    registry_ = std::make_unique<ScopedRegistryOverride>();
    ASSERT_TRUE(registry_->IsValid());
    // The task scheduler wants the computer's name, which lives in the machine's registry.
    wchar_t computer_name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"COMPUTERNAME", computer_name,
                                                   MAX_COMPUTERNAME_LENGTH + 1);
    ASSERT_GT(length, 0u);
    base::win::RegistryKey computer_name_key;
    ASSERT_EQ(ERROR_SUCCESS,
              computer_name_key.Create(
                  HKEY_LOCAL_MACHINE,
                  L"System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                  KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, computer_name_key.WriteValue(
                                 L"ComputerName", std::wstring(computer_name, length)));
    // Wine's shell writes its folders into the registry when first asked for one, as an
    // installation that pins does: asked here, before a test takes its snapshots.
    base::FilePath taskbar_pins;
    GetTaskbarPinsFolder(&taskbar_pins);
  }
  ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
  const base::FilePath root = temp_dir_.GetPath();
  package_folder_ = root.Append(L"package");
  ASSERT_TRUE(base::CreateDirectory(package_folder_));
  MakePackage(package_folder_);
  if (HasFatalFailure())
    return;
  PackPackage();
  if (HasFatalFailure())
    return;

  target_root_ = root.Append(L"target");
  install_folder_ = target_root_.Append(L"Programs\\Tavro");
  common_desktop_ = target_root_.Append(L"CommonDesktop");
  common_start_menu_ = target_root_.Append(L"CommonStartMenu");
  user_desktop_ = target_root_.Append(L"UserDesktop");
  user_start_menu_ = target_root_.Append(L"UserStartMenu");
  const std::pair<int, base::FilePath> overrides[] = {
      {base::DIR_EXE, package_folder_},
      {base::FILE_EXE, package_folder_.Append(L"installer.exe")},
      {base::DIR_COMMON_DESKTOP, common_desktop_},
      {base::DIR_COMMON_START_MENU, common_start_menu_},
      {base::DIR_USER_DESKTOP, user_desktop_},
      {base::DIR_START_MENU, user_start_menu_},
      {base::DIR_USER_QUICK_LAUNCH, target_root_.Append(L"QuickLaunch")},
  };
  for (const auto& entry : overrides) {
    const bool is_file = entry.first == base::FILE_EXE;
    path_overrides_.push_back(std::make_unique<base::ScopedPathOverride>(
        entry.first, entry.second, true, !is_file));
    ASSERT_TRUE(path_overrides_.back()->IsValid());
  }

  const std::wstring event_name =
      MakeObjectName(install_folder_, L"TavroInstaller/InstallationInterrupted", true);
  // As the front end makes it.
  interrupted_event_ =
      CreateNamedEvent(event_name, true, IfExists::kUseWhenTrusted, false).handle;
  ASSERT_TRUE(interrupted_event_.IsValid());
}

void InstallerRunTest::MakePackage(const base::FilePath& folder) {
  ASSERT_TRUE(base::CreateDirectory(folder.Append(L"resources")));
  // The launcher is probed as a program; the installer's host is one. The package's own
  // installer (the running one) is an unsigned program, as in a build for tests.
  for (const wchar_t* name : {L"launcher.exe", L"installer.exe"}) {
    ASSERT_TRUE(base::CopySingleFile(
        base::FilePath(GetTestBinFolder()).Append(L"installer.exe"), folder.Append(name)));
  }
  ASSERT_TRUE(WriteTestFile(folder.Append(L"files_list"),
                            "tavro.exe\r\ninstaller.exe\r\n\r\nresources\\about.txt\r\n"));
  ASSERT_TRUE(WriteTestFile(folder.Append(L"root_files_list"),
                            "launcher.VisualElements.xml\r\nroot.txt\r\n"));
  ASSERT_TRUE(WriteTestFile(folder.Append(L"tavro.exe"), "the browser"));
  ASSERT_TRUE(WriteTestFile(folder.Append(L"resources\\about.txt"), "about"));
  ASSERT_TRUE(WriteTestFile(folder.Append(L"launcher.VisualElements.xml"), "<x/>"));
  ASSERT_TRUE(WriteTestFile(folder.Append(L"root.txt"), "root"));
  ASSERT_TRUE(WriteTestFile(folder.Append(L"installer_prefs_include.json"),
                            "{\"welcome-url\": \"https://welcome.tavro.example/?partner=t\"}"));
}

void InstallerRunTest::PackPackage() {
  ASSERT_TRUE(test::WritePackageInstaller(
      package_folder_, base::FilePath(GetTestBinFolder()).Append(L"installer.exe"),
      package_file()));
}

void InstallerRunTest::TearDown() {
  path_overrides_.clear();
  // An uninstallation's clean-up batch runs in the install folder, which goes with the test,
  // and waits for the installer's process, which is this one (Wine's batch does not wait).
  EXPECT_TRUE(EndChildProcessTrees(L"cmd.exe", base::TimeDelta::FromSeconds(15)));
}

std::unique_ptr<Settings> InstallerRunTest::MakeSettings(const std::wstring& switches) {
  command_lines_.push_back(base::CommandLine::FromString(
      L"installer.exe --installfolder=\"" + install_folder_.value() +
      L"\" --launchtavro=0 --setdefaultbrowser=0 " + switches));
  const base::CommandLine& command_line = command_lines_.back();
  const bool uninstall = command_line.HasSwitch("uninstall");
  auto settings = std::make_unique<Settings>(
      uninstall, command_line.HasSwitch("silent"), command_line.HasSwitch("autoupdate"),
      install_folder_, false, INSTALLER_ARCH_X64, &command_line);
  // An uninstallation takes the folder of the running installer, which is the test's.
  if (uninstall)
    settings->SetInstallFolder(install_folder_);
  Settings* const read = settings.get();
  EXPECT_TRUE(RunUntil([read] { return !read->IsFetchingStatus(); }));
  return settings;
}

bool InstallerRunTest::RunInstaller(const std::wstring& switches,
                                    RecordingInstallerObserver* observer,
                                    std::unique_ptr<Installer>* installer) {
  std::unique_ptr<Settings> settings = MakeSettings(switches);
  std::unique_ptr<Installer> ran;
  const bool ended = RunInstaller(settings.get(), observer, &ran);
  // The installer outlives its run; the settings outlive the installer.
  if (installer)
    *installer = std::move(ran);
  ran.reset();
  if (installer && *installer)
    kept_settings_.push_back(std::move(settings));
  return ended;
}

bool InstallerRunTest::RunInstaller(Settings* settings,
                                    RecordingInstallerObserver* observer,
                                    std::unique_ptr<Installer>* installer) {
  ::ResetEvent(interrupted_event_.Get());
  // The package file as the front end leaves it: the package folder as the test made it.
  PackPackage();
  auto ran = std::make_unique<Installer>();
  if (user_rights_)
    InstallerTestPeer::SetUserRights(ran.get(), *user_rights_);
  if (keep_undo_)
    InstallerTestPeer::KeepUndoAfterSuccess(ran.get());
  if (cancel_when_ended_)
    ran->CancelWhenEnded(cancel_when_ended_);
  ran->AddObserver(observer);
  ran->Start(settings);
  const bool ended = RunUntil([observer] { return observer->ended(); });
  RunPendingTasks();
  ran->RemoveObserver(observer);
  if (installer)
    *installer = std::move(ran);
  return ended;
}

void InstallerRunTest::SetUserRights(std::unique_ptr<InstallerUserRights> rights) {
  user_rights_ = std::move(rights);
}

void InstallerRunTest::CancelAtStep(RecordingInstallerObserver* observer, int count) const {
  const HANDLE event = interrupted_event_.Get();
  observer->on_step = [event, count](int step) {
    if (step == count)
      ::SetEvent(event);
  };
}

bool InstallerRunTest::RunUntil(const std::function<bool()>& done, base::TimeDelta timeout) {
  return base::test::RunUntil(done, timeout);
}

void InstallerRunTest::RunPendingTasks() {
  base::RunLoop run_loop;
  run_loop.QuitWhenIdle();
  run_loop.Run();
}

InstallerRunTest::Snapshot InstallerRunTest::TakeSnapshot() const {
  std::vector<RegistryRoot> roots = RegistrySnapshot::DefaultRoots();
  if (registry_kind_ == Registry::kTestCopy) {
    roots = {{HKEY_CURRENT_USER, L"Software", KEY_WOW64_64KEY},
             {HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY},
             {HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_32KEY}};
  }
  return {TreeSnapshot::Capture(target_root_), RegistrySnapshot::Capture(roots)};
}

std::string InstallerRunTest::ChangesSince(const Snapshot& before) const {
  const Snapshot now = TakeSnapshot();
  std::vector<SnapshotDifference> differences = CompareSnapshots(before.files, now.files);
  for (SnapshotDifference& difference : CompareSnapshots(before.registry, now.registry,
                                                         RegistrySnapshot::DefaultAllowList())) {
    differences.push_back(std::move(difference));
  }
  return FormatDifferences(differences);
}

// static
bool InstallerRunTest::ReadAutoupdateTask(const std::string& app_id, ScheduledTaskInfo* task) {
  std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  return scheduler && scheduler->Init() &&
         scheduler->GetTaskInfo(kAutoupdateTaskNamePrefix + base::Utf8ToUtf16(app_id), task);
}

// static
bool InstallerRunTest::DeleteAutoupdateTask(const std::string& app_id) {
  std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  if (!scheduler || !scheduler->Init())
    return false;
  const std::wstring name = kAutoupdateTaskNamePrefix + base::Utf8ToUtf16(app_id);
  const bool registered = scheduler->IsTaskRegistered(name);
  scheduler->DeleteTask(name);
  return registered;
}

}  // namespace test
}  // namespace installer
