#include "desktop/windows/installer/installer_runner.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/environment.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/test/run_until.h"
#include "base/test/scoped_environment.h"
#include "base/threading/thread.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/backend_claim.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"
#include "desktop/windows/installer/test/forged_report.h"
#include "desktop/windows/installer/test/installer_e2e_test.h"
#include "desktop/windows/installer/test/installer_file.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/recording_runner_observer.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

using base::test::ScopedEnvironment;

constexpr base::TimeDelta kRunDeadline = base::TimeDelta::FromSeconds(120);

// What the parent test tells the front end it runs as a child process.
constexpr char kInstallFolderVariable[] = "TAVRO_TEST_INSTALL_FOLDER";
constexpr char kPackageFolderVariable[] = "TAVRO_TEST_PACKAGE_FOLDER";
constexpr char kBackendPidFileVariable[] = "TAVRO_TEST_BACKEND_PID_FILE";

std::string GetVar(const char* name) {
  std::string value;
  base::Environment::Create()->GetVar(name, &value);
  return value;
}

std::pair<std::string, std::string> Utf8Entry(const std::pair<std::wstring, std::wstring>& entry) {
  return {base::SystemWideToUtf8(entry.first), base::SystemWideToUtf8(entry.second)};
}

// Whether the installer mutex of |folder| can be taken by another front end (another
// thread: the thread that owns a mutex takes it again at will), and no backend works on it.
bool IsFolderFree(const base::FilePath& folder) {
  if (IsBackendClaimHeld(folder))
    return false;
  bool free = false;
  base::Thread other_front_end("Other front end");
  if (!other_front_end.Start())
    return false;
  other_front_end.GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&] {
    base::win::ScopedHandle mutex(::CreateMutexW(
        nullptr, FALSE, MakeObjectName(folder, L"Tavro/Installer", true).c_str()));
    const DWORD wait = mutex.IsValid() ? ::WaitForSingleObject(mutex.Get(), 0) : WAIT_FAILED;
    free = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (free)
      ::ReleaseMutex(mutex.Get());
  }));
  other_front_end.Stop();
  return free;
}

// A front end on the test's thread: a message loop and COM, the Settings of a copy-only
// installation (no registry, no shortcuts, the browser not started) and an InstallerRunner.
class FrontEnd {
 public:
  FrontEnd(const base::FilePath& install_folder,
           const base::FilePath& package_folder,
           const base::FilePath& component_folder)
      : command_line_(base::CommandLine::FromString(
            L"installer.exe --copyonly=1 --launchtavro=0 --v=1 --installfolder=\"" +
            install_folder.value() + L"\"")),
        runner_(package_folder, component_folder),
        observer_(&runner_) {}

  // False when the Settings could not read the install folder in time.
  bool MakeSettings() {
    settings_ = std::make_unique<Settings>(false, false, false,
                                           command_line_.GetSwitchValuePath("installfolder"),
                                           false, INSTALLER_ARCH_X64, &command_line_);
    return base::test::RunUntil([this] { return !settings_->IsFetchingStatus(); });
  }

  Settings* settings() { return settings_.get(); }
  InstallerRunner& runner() { return runner_; }
  RecordingRunnerObserver& observer() { return observer_; }

  bool WaitForEvent(const std::string& event) {
    return base::test::RunUntil(
        [&] {
          for (const std::string& seen : observer_.events()) {
            if (seen == event)
              return true;
          }
          return false;
        },
        kRunDeadline);
  }
  bool WaitForTermination() {
    return base::test::RunUntil([this] { return observer_.terminated(); }, kRunDeadline);
  }

 private:
  base::ExitCallbackRegistry exit_callbacks_;
  base::MessageLoop loop_;
  base::win::ScopedComInitializer com_;
  base::CommandLine command_line_;
  std::unique_ptr<Settings> settings_;
  InstallerRunner runner_;
  RecordingRunnerObserver observer_;
};

// The front end of a child test, for the install folder and the package (with its
// component) of its parent, with the package ready; null when its Settings could not be
// made.
std::unique_ptr<FrontEnd> MakeChildFrontEnd() {
  const base::FilePath package(base::SystemUtf8ToWide(GetVar(kPackageFolderVariable)));
  auto front_end = std::make_unique<FrontEnd>(
      base::FilePath(base::SystemUtf8ToWide(GetVar(kInstallFolderVariable))), package,
      package.DirName().Append(L"suite"));
  if (!front_end->MakeSettings())
    return nullptr;
  front_end->runner().SignalPackageReady();
  return front_end;
}

// The front end runs in the test's process and starts the example package's real
// installer as its backend; the backend and what it starts inherit the test's TEMP and the
// stubs' log folder.
class InstallerRunnerE2eTest : public InstallerE2eTest {
 protected:
  void SetUp() override {
    InstallerE2eTest::SetUp();
    ASSERT_TRUE(ExamplePackage::Current().CopyTo(work_folder(), &package_folder_));
    component_folder_ = package_folder_.DirName().Append(L"suite");
    install_folder_ = work_folder().Append(L"Tavro");
    environment_ = std::make_unique<ScopedEnvironment>(
        std::vector<std::pair<std::string, std::string>>{
            {"TEMP", temp_folder().ToUtf8()},
            {"TMP", temp_folder().ToUtf8()},
            {base::SystemWideToUtf8(StubLogEnvironment(stub_log_folder()).first),
             stub_log_folder().ToUtf8()}});
  }

  void TearDown() override {
    // A backend that a failed test left running rolls back and ends before the next test.
    if (front_end_ && front_end_->runner().backend_running()) {
      front_end_->runner().Stop();
      EXPECT_TRUE(front_end_->WaitForTermination());
    }
    front_end_.reset();
    hold_environment_.reset();
    environment_.reset();
  }

  FrontEnd* MakeFrontEnd() {
    front_end_ = std::make_unique<FrontEnd>(install_folder_, package_folder_, component_folder_);
    EXPECT_TRUE(front_end_->MakeSettings());
    return front_end_.get();
  }

  // Runs a front end with the package ready until its backend has ended; null, with a
  // failure, when it could not start or did not end.
  FrontEnd* RunFrontEnd() {
    FrontEnd* front_end = MakeFrontEnd();
    front_end->runner().SignalPackageReady();
    if (!front_end->runner().Start(front_end->settings())) {
      ADD_FAILURE() << "The front end did not start";
      return nullptr;
    }
    if (!front_end->WaitForTermination()) {
      ADD_FAILURE() << "The backend did not end\n" << ReadLogs();
      return nullptr;
    }
    return front_end;
  }

  // The environment of a child test that runs a front end of its own, for the install
  // folder as |install_folder| writes it (the test's when empty).
  base::LaunchOptions ChildOptions(const std::wstring& install_folder = std::wstring()) const {
    base::LaunchOptions options;
    options.environment = {
        {base::SystemUtf8ToWide(kInstallFolderVariable),
         install_folder.empty() ? install_folder_.value() : install_folder},
        {base::SystemUtf8ToWide(kPackageFolderVariable), package_folder_.value()}};
    return options;
  }

  // Starts the installation of the package in a front end whose backend cannot get past the
  // component installer while |hold| holds it. Null when it cannot.
  FrontEnd* StartHeldRun(StubHold* hold) {
    if (!hold->IsValid())
      return nullptr;
    hold_environment_ = std::make_unique<ScopedEnvironment>(
        std::vector<std::pair<std::string, std::string>>{Utf8Entry(hold->GetEnvironment())});
    FrontEnd* front_end = MakeFrontEnd();
    front_end->runner().SignalPackageReady();
    return front_end->runner().Start(front_end->settings()) ? front_end : nullptr;
  }

  // Tests |ended| until it holds, at most kRunDeadline, running this thread's loop if it has
  // one. A backend that reached the held component installer before it saw the end of its
  // run (which these tests bring about long before) gets |hold| (may be null) released, so
  // that it can go on to end: once its log holds |seen| (when not empty), the line that
  // says it has seen the end.
  bool WaitForEndReleasingHold(const std::function<bool()>& ended,
                               StubHold* hold,
                               const std::string& seen = std::string()) {
    auto check = [&] {
      if (ended())
        return true;
      if (hold && !ReadStubInvocations(L"suite_installer.exe").empty() &&
          (seen.empty() ||
           ReadAllInstallerLogs(temp_folder()).find(seen) != std::string::npos)) {
        hold->Release();
      }
      return false;
    };
    if (base::MessageLoop::Current())
      return base::test::RunUntil(check, kRunDeadline);
    const base::TimeTicks deadline = base::TimeTicks::Now() + kRunDeadline;
    while (!check()) {
      if (base::TimeTicks::Now() > deadline)
        return false;
      ::Sleep(10);
    }
    return true;
  }

  // The number of Step reports of a copy-only installation of the example package: one per
  // file of both lists and one per step after the copies.
  static int ExpectedSteps() {
    const ExamplePackage package = ExamplePackage::Current();
    return static_cast<int>(package.ReadFilesList().size() + package.ReadRootFilesList().size()) +
           7;
  }

  base::FilePath package_folder_;
  base::FilePath component_folder_;
  base::FilePath install_folder_;
  std::unique_ptr<ScopedEnvironment> environment_;
  std::unique_ptr<ScopedEnvironment> hold_environment_;
  std::unique_ptr<FrontEnd> front_end_;
};

TEST_F(InstallerRunnerE2eTest, InstallsThePackageThroughARealBackend) {
  // A process of an earlier run still holds that run's interrupted event, signalled.
  const base::win::ScopedHandle stale_interruption = std::move(
      CreateNamedEvent(
          MakeObjectName(install_folder_, L"TavroInstaller/InstallationInterrupted", true), true,
          IfExists::kUseWhenTrusted, false)
          .handle);
  ASSERT_TRUE(stale_interruption.IsValid() && ::SetEvent(stale_interruption.Get()));

  FrontEnd* front_end = MakeFrontEnd();
  ASSERT_EQ(OPERATION_INSTALLING, front_end->settings()->operation());
  InstallerRunner& runner = front_end->runner();
  runner.SignalPackageReady();
  ASSERT_TRUE(runner.Start(front_end->settings()));
  EXPECT_TRUE(runner.backend_running());
  ASSERT_TRUE(front_end->WaitForTermination()) << ReadLogs();

  const std::string steps = std::to_string(ExpectedSteps());
  EXPECT_EQ((std::vector<std::string>{"OnInstallFolderReady", "OnTotalSteps(" + steps + ")",
                                      "OnStep x" + steps, "OnSuccess",
                                      "OnInstallerTerminated(1)"}),
            front_end->observer().Summary())
      << ReadLogs();
  EXPECT_FALSE(runner.backend_running());
  EXPECT_TRUE(base::PathExists(install_folder_.Append(L"launcher.exe")));
  EXPECT_TRUE(base::PathExists(install_folder_.Append(L"installation_status.xml")));

  // The package's installer ran as the backend, told of this process by an inherited handle
  // and with the component delivered beside the package.
  const std::string log = ReadInstallerLog(temp_folder());
  EXPECT_NE(std::string::npos, log.find("] Using initial process handle ")) << log;
  const std::vector<StubInvocation> components = ReadStubInvocations(L"suite_installer.exe");
  ASSERT_EQ(1u, components.size());
  EXPECT_EQ(install_folder_.Append(L"suite"),
            components[0].GetCommandLine().GetSwitchValuePath("installfolder"));

  // The run is over: the folder is free once the runner lets go.
  EXPECT_FALSE(IsFolderFree(install_folder_));
  runner.Stop();
  EXPECT_TRUE(IsFolderFree(install_folder_));
}

// The backend runs as an administrator (every run does under Wine), and installs what it
// unpacks itself from the package file. Without the package file beside the package
// folder, it asks for the program of its front end through the handle it inherited: this
// test's, which carries no package. The run then fails and installs nothing.
TEST_F(InstallerRunnerE2eTest, ARealBackendWithoutAPackageFileInstallsNothing) {
  ASSERT_TRUE(base::DeletePath(package_folder_.AddExtension(L"exe"), false));
  FrontEnd* front_end = RunFrontEnd();
  ASSERT_TRUE(front_end);
  const std::vector<std::string>& events = front_end->observer().events();
  ASSERT_LE(2u, events.size());
  const std::string& error = events.end()[-2];
  EXPECT_TRUE(error.starts_with("OnError(37055,,Could not find the package in ")) << error;
  EXPECT_TRUE(error.ends_with("\\installer_e2e_tests.exe)")) << error;
  EXPECT_EQ("OnInstallerTerminated(0)", events.back());
  EXPECT_FALSE(base::PathExists(install_folder_.Append(L"launcher.exe")));
  EXPECT_FALSE(base::PathExists(install_folder_.AppendASCII(ExamplePackage::Current().version())));
}

using PackageInstallerE2eTest = InstallerE2eTest;

// An installer that carries the package is its own front end: the backend, an
// administrator's run, finds no downloaded package beside the folder the front end
// unpacked, and unpacks the package again from the front end's program.
TEST_F(PackageInstallerE2eTest, InstallsThePackageItCarries) {
  const base::FilePath installer = work_folder().Append(L"download\\tavro_setup.exe");
  ASSERT_TRUE(base::CreateDirectory(installer.DirName()));
  // Unsigned, as a build for tests is: its backend is not signed either.
  std::string archive;
  ASSERT_TRUE(base::ReadFileToString(ExamplePackage::Current().archive(), &archive));
  ASSERT_TRUE(base::CopySingleFile(host(), installer));
  ASSERT_TRUE(AppendPayload(installer, archive));
  const base::FilePath install = work_folder().Append(L"install");
  const ProcessResult run = RunProcess(L"\"" + installer.value() +
                                           L"\" --silent --copyonly=1 --launchtavro=0 "
                                           L"--installfolder=\"" + install.value() + L"\"",
                                       MakeProcessOptions());
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  const std::string log = ReadAllInstallerLogs(temp_folder());
  const size_t unpacked = log.find("] Unpacked the package ");
  ASSERT_NE(std::string::npos, unpacked) << log;
  const std::string line = log.substr(unpacked, log.find('\n', unpacked) - unpacked);
  EXPECT_TRUE(line.ends_with("\\tavro_setup.exe")) << line;
  std::string expected;
  std::string text;
  EXPECT_TRUE(base::ReadFileToString(
      ExamplePackage::Current().package_folder().Append(L"resources\\about.txt"), &expected));
  EXPECT_TRUE(base::ReadFileToString(
      install.AppendASCII(ExamplePackage::Current().version()).Append(L"resources\\about.txt"),
      &text));
  EXPECT_EQ(expected, text);
}

TEST_F(InstallerRunnerE2eTest, AnErrorWithLongPathsReachesTheFrontEnd) {
  // The first file of the package has a name of 700 characters, and is missing: its copy
  // fails with the destination (longer still) in the message and the name in the detail,
  // more than a mailslot message holds.
  const std::string long_name =
      std::string(250, 'a') + "\\" + std::string(250, 'b') + "\\" + std::string(198, 'c');
  std::string files_list;
  ASSERT_TRUE(base::ReadFileToString(package_folder_.Append(L"files_list"), &files_list));
  files_list = long_name + "\r\n" + files_list;
  ASSERT_EQ(static_cast<int>(files_list.size()),
            base::WriteFileFromBuffer(package_folder_.Append(L"files_list"), files_list.data(),
                                      static_cast<int>(files_list.size())));

  FrontEnd* front_end = RunFrontEnd();
  ASSERT_TRUE(front_end);
  const std::vector<std::string>& events = front_end->observer().events();
  ASSERT_LE(2u, events.size());
  EXPECT_EQ("OnInstallerTerminated(0)", events.back());
  const std::string& error = events[events.size() - 2];
  const std::string destination_start =
      install_folder_.AppendASCII(ExamplePackage::Current().version()).ToUtf8() + "\\aaaa";
  EXPECT_TRUE(error.starts_with("OnError(37062," + destination_start)) << error;
  EXPECT_NE(std::string::npos, error.find(",Failed copying aaaa")) << error;
  EXPECT_TRUE(error.ends_with("...)")) << error;
}

// Exit code 0 alone is no success: under Wine a backend killed by a signal ends with it.
TEST_F(InstallerRunnerE2eTest, ABackendThatEndsWithoutReportingSuccessHasFailed) {
  // A program that ends at once with 0 and reports nothing.
  ASSERT_TRUE(base::CopySingleFile(package_folder_.Append(L"tavro.exe"),
                                   package_folder_.Append(L"installer.exe")));
  FrontEnd* front_end = MakeFrontEnd();
  front_end->runner().SignalPackageReady();
  ASSERT_TRUE(front_end->runner().Start(front_end->settings()));
  ASSERT_TRUE(front_end->WaitForTermination()) << ReadLogs();
  EXPECT_EQ(std::vector<std::string>{"OnInstallerTerminated(0)"}, front_end->observer().events());
  EXPECT_EQ(1u, ReadStubInvocations(L"installer.exe").size());
}

// Any process of the user may write into the mailslot: what it writes is no outcome. A
// forged error and hand-over do not make a real success a failure, and a forged success
// does not make a stopped backend's run a success.
TEST_F(InstallerRunnerE2eTest, ForgedReportsDecideNoOutcome) {
  const base::TimeDelta kWrite = base::TimeDelta::FromSeconds(10);
  {
    StubHold hold(L"suite_installer.exe");
    FrontEnd* front_end = StartHeldRun(&hold);
    ASSERT_TRUE(front_end);
    ASSERT_TRUE(ForgeReport(install_folder_, InstallerMessage::Error(37062, L"x", "forged"),
                            kWrite));
    ASSERT_TRUE(ForgeReport(install_folder_, InstallerMessage::StartingNewMainProcess(false),
                            kWrite));
    ASSERT_TRUE(ForgeReport(install_folder_,
                            InstallerMessage::OfType(IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS),
                            kWrite));
    ASSERT_TRUE(WaitForEndReleasingHold([front_end] { return front_end->observer().terminated(); },
                                        &hold))
        << ReadLogs();
    const std::vector<std::string> events = front_end->observer().events();
    ASSERT_LE(2u, events.size());
    EXPECT_EQ("OnSuccess", events[events.size() - 2]) << ReadLogs();
    EXPECT_EQ("OnInstallerTerminated(1)", events.back());
    EXPECT_EQ(0, std::count_if(events.begin(), events.end(), [](const std::string& event) {
                return event.starts_with("OnError");
              }));
    EXPECT_TRUE(base::PathExists(install_folder_.Append(L"installation_status.xml")));
  }
  // One front end (and message loop) at a time.
  front_end_.reset();
  hold_environment_.reset();
  ASSERT_TRUE(base::DeletePath(install_folder_, true));

  StubHold hold(L"suite_installer.exe");
  FrontEnd* front_end = StartHeldRun(&hold);
  ASSERT_TRUE(front_end);
  ASSERT_TRUE(
      ForgeReport(install_folder_, InstallerMessage::OfType(IPC_MESSAGE_SUCCESS), kWrite));
  // The forged success has reached the runner when the next report has.
  ASSERT_TRUE(ForgeReport(install_folder_, InstallerMessage::TotalSteps(1234), kWrite));
  ASSERT_TRUE(front_end->WaitForEvent("OnTotalSteps(1234)")) << ReadLogs();
  front_end->runner().Stop();
  ASSERT_TRUE(
      WaitForEndReleasingHold([front_end] { return front_end->observer().terminated(); }, &hold))
      << ReadLogs();
  const std::vector<std::string> events = front_end->observer().events();
  EXPECT_EQ(events.end(), std::find(events.begin(), events.end(), "OnSuccess"));
  EXPECT_EQ("OnInstallerTerminated(0)", events.back());
  EXPECT_FALSE(base::PathExists(install_folder_)) << ReadLogs();
}

// A second front end for a folder that a run holds, in a process of its own.
TEST(InstallerRunnerE2eChildTest, DISABLED_SecondFrontEnd) {
  if (!base::test::IsChildTest())
    return;
  const std::unique_ptr<FrontEnd> front_end = MakeChildFrontEnd();
  ASSERT_TRUE(front_end);
  EXPECT_FALSE(front_end->runner().Start(front_end->settings()));
  EXPECT_EQ(std::vector<std::string>{"OnError(37057,,Could not acquire installer mutex)"},
            front_end->observer().events());
  EXPECT_FALSE(front_end->runner().backend_running());
  EXPECT_TRUE(FindChildProcesses(::GetCurrentProcessId()).empty());
}

TEST_F(InstallerRunnerE2eTest, ASecondFrontEndForTheFolderGets37057) {
  // The component installer holds the backend in the middle of its run.
  StubHold hold(L"suite_installer.exe");
  FrontEnd* front_end = StartHeldRun(&hold);
  ASSERT_TRUE(front_end);
  ASSERT_TRUE(WaitForStubInvocations(stub_log_folder(), L"suite_installer.exe", 1,
                                     kRunDeadline))
      << ReadLogs();

  // The same folder written another way: upper case, with slashes.
  std::wstring other_spelling = install_folder_.value();
  ::CharUpperBuffW(&other_spelling[0], static_cast<DWORD>(other_spelling.size()));
  std::replace(other_spelling.begin(), other_spelling.end(), L'\\', L'/');
  const base::test::ChildTestResult second = base::test::RunChildTest(
      "InstallerRunnerE2eChildTest.DISABLED_SecondFrontEnd", ChildOptions(other_spelling));
  ASSERT_TRUE(second.started);
  EXPECT_EQ(0u, second.exit_code) << second.output;

  // The first run is untouched by it.
  hold.Release();
  ASSERT_TRUE(front_end->WaitForTermination()) << ReadLogs();
  EXPECT_EQ("OnInstallerTerminated(1)", front_end->observer().events().back()) << ReadLogs();
}

TEST_F(InstallerRunnerE2eTest, StopMidRunRollsTheBackendBack) {
  // The component installer keeps the backend from finishing before it sees the stop.
  StubHold hold(L"suite_installer.exe");
  FrontEnd* front_end = StartHeldRun(&hold);
  ASSERT_TRUE(front_end);
  InstallerRunner& runner = front_end->runner();
  ASSERT_TRUE(front_end->WaitForEvent("OnStep")) << ReadLogs();

  runner.Stop();
  // The backend still rolls back: the runner starts no other meanwhile.
  EXPECT_FALSE(runner.Start(front_end->settings()));
  ASSERT_TRUE(
      WaitForEndReleasingHold([front_end] { return front_end->observer().terminated(); }, &hold))
      << ReadLogs();
  const std::vector<std::string> events = front_end->observer().events();
  ASSERT_LE(3u, events.size());
  EXPECT_EQ("OnError(37057,,The previous installer backend is still running)",
            events[events.size() - 2]);
  EXPECT_EQ("OnInstallerTerminated(0)", events.back());
  EXPECT_FALSE(base::PathExists(install_folder_)) << ReadLogs();
  EXPECT_TRUE(IsFolderFree(install_folder_));
  const std::string log = ReadInstallerLog(temp_folder());
  EXPECT_NE(std::string::npos, log.find("] Installation was interrupted\n")) << log;
  EXPECT_NE(std::string::npos, log.find("] Installation cancelled\n")) << log;
}

// A front end that names its backend in a file once the backend is held in the component
// installer, and then waits to be killed.
TEST(InstallerRunnerE2eChildTest, DISABLED_FrontEndThatDies) {
  if (!base::test::IsChildTest())
    return;
  const std::unique_ptr<FrontEnd> front_end = MakeChildFrontEnd();
  ASSERT_TRUE(front_end);
  ASSERT_TRUE(front_end->runner().Start(front_end->settings()));
  ASSERT_TRUE(front_end->WaitForEvent("OnStep"));
  ASSERT_TRUE(WaitForStubInvocations(
      base::FilePath(base::SystemUtf8ToWide(GetVar(base::SystemWideToUtf8(
                                                       kStubLogFolderVariable)
                                                       .c_str()))),
      L"suite_installer.exe", 1, kRunDeadline));
  // Only the backend: Wine may start its own helper processes as children of this one.
  const std::vector<DWORD> backends = FindChildProcesses(::GetCurrentProcessId(), L"installer.exe");
  ASSERT_EQ(1u, backends.size());
  const std::string pid = std::to_string(backends[0]);
  ASSERT_EQ(static_cast<int>(pid.size()),
            base::WriteFileFromBuffer(
                base::FilePath(base::SystemUtf8ToWide(GetVar(kBackendPidFileVariable))),
                pid.data(), static_cast<int>(pid.size())));
  // The test kills this process before the run can end.
  front_end->WaitForTermination();
}

TEST_F(InstallerRunnerE2eTest, ABackendWhoseFrontEndDiesKeepsTheFolderUntilItHasRolledBack) {
  StubHold hold(L"suite_installer.exe");
  ASSERT_TRUE(hold.IsValid());
  const base::FilePath pid_file = work_folder().Append(L"backend_pid.txt");
  base::LaunchOptions options = ChildOptions();
  options.environment.push_back(hold.GetEnvironment());
  options.environment.push_back(
      {base::SystemUtf8ToWide(kBackendPidFileVariable), pid_file.value()});
  base::Process child = base::test::StartChildTest(
      "InstallerRunnerE2eChildTest.DISABLED_FrontEndThatDies", options);
  ASSERT_TRUE(child.IsValid());

  std::string pid_text;
  const bool named = WaitForEndReleasingHold(
      [&] {
        return base::ReadFileToString(pid_file, &pid_text) && !pid_text.empty();
      },
      nullptr);
  unsigned pid = 0;
  base::Process backend;
  if (named && base::StringToUint(pid_text, &pid))
    backend = base::Process::Open(pid, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
  child.Terminate(1);
  EXPECT_TRUE(child.WaitForExitWithTimeout(60000, nullptr));
  ASSERT_TRUE(backend.IsValid()) << ReadLogs();

  // The front end is gone; its backend, held in the component installer, still works on
  // the folder: another front end is turned away.
  FrontEnd* refused = MakeFrontEnd();
  refused->runner().SignalPackageReady();
  EXPECT_FALSE(refused->runner().Start(refused->settings()));
  EXPECT_EQ(std::vector<std::string>{"OnError(37057,,An installer backend still works on this "
                                     "folder)"},
            refused->observer().events());
  EXPECT_FALSE(refused->runner().backend_running());
  EXPECT_FALSE(IsFolderFree(install_folder_));
  front_end_.reset();

  DWORD exit_code = 0;
  ASSERT_TRUE(WaitForEndReleasingHold(
      [&] { return backend.WaitForExitWithTimeout(20, &exit_code); }, &hold,
      "] Installer UI process ended\n"))
      << ReadLogs();
  EXPECT_EQ(1u, exit_code);
  // Rolled back, but for what the component's own installer made.
  for (const std::wstring& left : TreeSnapshot::Capture(install_folder_).GetFilePaths())
    EXPECT_TRUE(left.starts_with(L"suite\\")) << left;
  EXPECT_TRUE(IsFolderFree(install_folder_));
  const std::string log = ReadInstallerLog(temp_folder());
  EXPECT_NE(std::string::npos, log.find("] Installer UI process ended\n")) << log;
  EXPECT_NE(std::string::npos, log.find("] Installation cancelled\n")) << log;
  EXPECT_NE(std::string::npos, log.find("] Installer backend exiting\n")) << log;

  // Once it has ended, the folder is free again: a new run installs as on a clean folder.
  FrontEnd* front_end = MakeFrontEnd();
  front_end->runner().SignalPackageReady();
  ASSERT_TRUE(front_end->runner().Start(front_end->settings()));
  ASSERT_TRUE(front_end->WaitForTermination()) << ReadLogs();
  EXPECT_EQ("OnInstallerTerminated(1)", front_end->observer().events().back()) << ReadLogs();
  EXPECT_TRUE(base::PathExists(
      install_folder_.AppendASCII(ExamplePackage::Current().version()).Append(L"tavro.exe")));
  EXPECT_FALSE(base::PathExists(
      install_folder_.AppendASCII(ExamplePackage::Current().version() + "_0")));
}

}  // namespace
}  // namespace test
}  // namespace installer
