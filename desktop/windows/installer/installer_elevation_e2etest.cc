// The Installer in this process handing work to other installer processes, run for real:
// the elevated restart and the folder-permission helper of a user who is no administrator
// (the test system has no such user: the Installer is told so), the package's own
// installer once the package is ready, and the command that gives the default browser back
// at uninstallation; and what an administrator's run installs from the user's package
// folder. The other installer is the stub program, which records how it was started; where
// it would install, the test does.

#include <windows.h>

#include <atomic>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_registry.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture.h"
#include "base/test/scoped_path_override.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/folder_permission_helper.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/service/user_names.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"
#include "desktop/windows/installer/test/installer_in_process_e2e_test.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::InstallerInProcessE2eTest;
using test::RecordingInstallerObserver;

constexpr base::TimeDelta kProcessWait = base::TimeDelta::FromSeconds(30);

base::CommandLine::Switches WithSwitches(
    base::CommandLine command_line,
    const std::vector<std::pair<std::string, std::wstring>>& extra) {
  for (const auto& entry : extra)
    command_line.AppendSwitchNative(entry.first, entry.second);
  return command_line.GetSwitches();
}

// In a copy of the registry, whose machine policy the tests set. The installer's own
// executable, which it restarts elevated or runs as the folder-permission helper, is a stub.
class InstallerElevationE2eTest : public InstallerInProcessE2eTest {
 protected:
  explicit InstallerElevationE2eTest(Registry registry = Registry::kTestCopy)
      : InstallerInProcessE2eTest(registry) {}

  void SetUp() override {
    InstallerInProcessE2eTest::SetUp();
    if (HasFatalFailure())
      return;
    own_executable_ = CopyStub(temp_root().Append(L"elevated"), L"installer.exe");
    own_executable_override_ =
        std::make_unique<base::ScopedPathOverride>(base::FILE_EXE, own_executable_, true, false);
    ASSERT_TRUE(own_executable_override_->IsValid());
  }

  void TearDown() override {
    for (const std::string& name : variables_)
      environment_->UnSetVar(name);
    own_executable_override_.reset();
    InstallerInProcessE2eTest::TearDown();
  }

  // Sets a variable of this process's environment, which the programs it starts inherit.
  void SetVariable(const std::pair<std::wstring, std::wstring>& entry) {
    const std::string name = base::Utf16ToUtf8(entry.first);
    environment_->SetVar(name, base::Utf16ToUtf8(entry.second));
    variables_.push_back(name);
  }

  // A user who is no administrator and cannot become one, and who may write into the
  // install folder only while |*access| holds; granting it himself fails.
  void ActAsStandardUser(std::shared_ptr<std::atomic<bool>> access) {
    auto rights = std::make_unique<InstallerUserRights>();
    rights->is_user_admin = [](bool) { return false; };
    rights->has_folder_access = [access](const base::FilePath&, ACCESS_MASK) {
      return access->load();
    };
    rights->grant_folder_access = [](const base::FilePath&, ACCESS_MASK,
                                     std::unique_ptr<SavedSecurity>*) { return false; };
    SetUserRights(std::move(rights));
  }

  // A program that carries the product's signature.
  static base::FilePath SignedProgram() {
    return test::ExamplePackage::Current().component_folder().Append(L"suite_installer.exe");
  }

  std::vector<test::StubInvocation> InvocationsOf(const base::FilePath& program) const {
    std::vector<test::StubInvocation> matching;
    for (test::StubInvocation& invocation : Invocations(program.BaseName().value())) {
      if (invocation.GetCommandLine().GetProgram() == program)
        matching.push_back(std::move(invocation));
    }
    return matching;
  }

  base::FilePath own_executable_;

 private:
  const std::unique_ptr<base::Environment> environment_ = base::Environment::Create();
  std::vector<std::string> variables_;
  std::unique_ptr<base::ScopedPathOverride> own_executable_override_;
};

// A signed installer's runs, in the real registry: the system's signature checks read how
// to check from the machine's registry.
class SignedInstallerElevationE2eTest : public InstallerElevationE2eTest {
 protected:
  SignedInstallerElevationE2eTest() : InstallerElevationE2eTest(Registry::kReal) {}
};

TEST_F(InstallerElevationE2eTest, RestartsElevatedAndFinishesWithWhatTheElevatedRunInstalled) {
  ActAsStandardUser(std::make_shared<std::atomic<bool>>(false));
  test::StubHold hold(L"installer.exe");
  ASSERT_TRUE(hold.IsValid());
  SetVariable(hold.GetEnvironment());
  // While the elevated run works, the installation appears, with a component.
  std::atomic<bool> installed{false};
  std::thread elevated_run([&] {
    if (test::WaitForStubInvocations(stub_log_folder(), L"installer.exe", 1, kProcessWait)) {
      base::win::ScopedComInitializer com;
      InstallStatus status;
      status.all_users = true;
      status.app_id = "77";
      status.subfolder = base::FilePath(L"1.0");
      // The record names a component installer that does not carry the product's
      // signature, and a signed one outside the installation.
      status.components = {{"suite", install_folder().Append(L"suite")},
                           {"foreign", temp_root().Append(L"foreign")}};
      installed =
          test::MakeTestInstallation(install_folder(), status, "") &&
          !CopyStub(install_folder(), kLauncherExeName).empty() &&
          !CopyStub(install_folder().Append(L"suite"), L"suite_installer.exe").empty() &&
          base::CreateDirectory(temp_root().Append(L"foreign")) &&
          base::CopySingleFile(
              test::ExamplePackage::Current().component_folder().Append(L"suite_installer.exe"),
              temp_root().Append(L"foreign\\foreign_installer.exe"));
    }
    hold.Release();
  });
  const std::unique_ptr<Settings> settings =
      MakeSettings(L"--allusers=1 --launchtavro=1 --initial-pid=1234");
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(settings.get(), &observer));
  elevated_run.join();
  ASSERT_TRUE(installed);
  EXPECT_EQ((std::vector<std::string>{"StartingNewMainProcess(0)",
                                      "ReturnedToPreviousMainProcess", "Success"}),
            observer.events())
      << observer.error_detail();

  // The installer itself, with the backend's switches of the run, never to start the
  // browser, and told of this process.
  const std::vector<test::StubInvocation> elevated = InvocationsOf(own_executable_);
  ASSERT_EQ(1u, elevated.size());
  const base::CommandLine child = elevated[0].GetCommandLine();
  EXPECT_EQ(WithSwitches(settings->AppendToCommandLine(true),
                         {{"parent-pid", base::UintToWideString(::GetCurrentProcessId())},
                          {"run-elevated", L""}}),
            child.GetSwitches());
  EXPECT_TRUE(child.HasSwitch("backend"));
  EXPECT_EQ("0", child.GetSwitchValueASCII("launchtavro"));
  EXPECT_EQ("1", child.GetSwitchValueASCII("allusers"));
  EXPECT_EQ("1234", child.GetSwitchValueASCII("initial-pid"));

  // The user's process then does its part for the installation as the elevated run left
  // it: the browser started; no component installer that is not the product's own, inside
  // the installation (the uninstallation tests see one that is started).
  ASSERT_TRUE(
      test::WaitForStubInvocations(stub_log_folder(), kLauncherExeName, 1, kProcessWait));
  EXPECT_TRUE(Invocations(kLauncherExeName)[0].GetCommandLine().HasSwitch("start-maximized"));
  EXPECT_TRUE(Invocations(L"suite_installer.exe").empty());
  EXPECT_TRUE(Invocations(L"foreign_installer.exe").empty());
}

TEST_F(InstallerElevationE2eTest, ReportsAnElevationThatFailsOrCannotBe) {
  ActAsStandardUser(std::make_shared<std::atomic<bool>>(false));
  const Snapshot before = TakeSnapshot();
  {
    SetVariable(test::StubExitCodeEnvironment(L"installer.exe", 1));
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"--allusers=1", &observer));
    EXPECT_EQ((std::vector<std::string>{"StartingNewMainProcess(0)",
                                        "ReturnedToPreviousMainProcess", "Error(37055)",
                                        "Done(0)"}),
              observer.events());
    EXPECT_EQ("Installer process did not complete successfully.", observer.error_detail());
  }
  {
    // An elevated run that is not elevated does not try again.
    base::test::ScopedLogCapture log;
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"--allusers=1 --run-elevated --parent-pid=1", &observer));
    EXPECT_EQ((std::vector<std::string>{"Error(37061)", "Done(0)"}), observer.events());
    EXPECT_TRUE(log.Logged(logging::LOG_ERROR, "This process should already be elevated, but isn't."));
  }
  EXPECT_EQ(kNoChanges, ChangesSince(before));
  {
    // User Account Control off: a standard user stays one.
    base::win::RegistryKey policy;
    ASSERT_EQ(ERROR_SUCCESS,
              policy.Create(HKEY_LOCAL_MACHINE,
                            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                            KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, policy.WriteValue(L"EnableLUA", static_cast<DWORD>(0)));
    base::test::ScopedLogCapture log;
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"--allusers=1", &observer));
    EXPECT_EQ((std::vector<std::string>{"Error(37061)", "Done(0)"}), observer.events());
    EXPECT_TRUE(log.Logged(logging::LOG_ERROR, "Cannot elevate with UAC disabled"));
  }
  // Only the first run started the elevated installer.
  EXPECT_EQ(1u, InvocationsOf(own_executable_).size());
}

// The helper stands in for the stub, once per run: it grants (the user may now write) and
// tells the installer; the grant then holds until the installer lets it go.
TEST_F(InstallerElevationE2eTest, AsksTheHelperForTheFolderForAsLongAsTheRunNeedsIt) {
  auto access = std::make_shared<std::atomic<bool>>(false);
  ActAsStandardUser(access);
  const std::wstring user = GetCurrentUserName();
  ASSERT_FALSE(user.empty());
  const std::wstring own_pid = base::UintToWideString(::GetCurrentProcessId());
  const struct {
    const wchar_t* switches;
    std::vector<std::pair<std::string, std::wstring>> helper_switches;
  } runs[] = {
      // A temporary grant for an installation.
      {L"--allusers=0 --initial-pid=1234",
       {{"set-folder-permission", install_folder().value()},
        {"permissions-for-user", user},
        {"crash-reporter-pid", L"0"},
        {"parent-pid", own_pid},
        {"initial-pid", L"1234"}}},
      // A temporary one for an uninstallation, even with components: the helper starts the
      // clean-up batch once the grant ends.
      {L"--uninstall --components=suite:suite",
       {{"set-folder-permission", install_folder().value()},
        {"permissions-for-user", user},
        {"run-uninstall-bat", L""},
        {"crash-reporter-pid", L"0"},
        {"parent-pid", own_pid}}},
      // An installation with components keeps the grant.
      {L"--allusers=0 --components=suite:suite",
       {{"set-folder-permission", install_folder().value()},
        {"permissions-for-user", user},
        {"permanent-permissions", L""},
        {"crash-reporter-pid", L"0"},
        {"parent-pid", own_pid}}},
  };
  for (size_t i = 0; i < std::size(runs); ++i) {
    SCOPED_TRACE(runs[i].switches);
    access->store(false);
    test::StubHold hold(L"installer.exe");
    ASSERT_TRUE(hold.IsValid());
    SetVariable(hold.GetEnvironment());
    base::win::ScopedHandle undo;
    std::thread helper([&] {
      if (test::WaitForStubInvocations(stub_log_folder(), L"installer.exe", i + 1,
                                       kProcessWait)) {
        undo.Set(::OpenEventW(SYNCHRONIZE, FALSE,
                              MakeObjectName(install_folder(),
                                             L"TavroInstaller/GiveInstallPermission/Undo", false)
                                  .c_str()));
        const base::win::ScopedHandle give(::OpenEventW(
            EVENT_MODIFY_STATE, FALSE,
            MakeObjectName(install_folder(), L"TavroInstaller/GiveInstallPermission", false)
                .c_str()));
        access->store(true);
        ::SetEvent(give.Get());
      }
    });
    RecordingInstallerObserver observer;
    const bool ended = RunInstaller(runs[i].switches, &observer);
    helper.join();
    hold.Release();
    ASSERT_TRUE(ended);
    EXPECT_EQ("Success", observer.events().back()) << observer.error_detail();
    InstallStatus status;
    if (LoadInstallStatus(install_folder().Append(kInstallStatusFileName), &status))
      DeleteTaskAtEnd(status.app_id);

    const std::vector<test::StubInvocation> helpers = InvocationsOf(own_executable_);
    ASSERT_EQ(i + 1, helpers.size());
    EXPECT_EQ(WithSwitches(base::CommandLine(base::FilePath()), runs[i].helper_switches),
              helpers[i].GetCommandLine().GetSwitches());
    // The end of the run let the grant go.
    ASSERT_TRUE(undo.IsValid());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(undo.Get(), 0));
  }
}

// A grant is the signal of an event this run made for its helper. One that exists before,
// signalled already (here even one with the installer's own security), is no grant: the run
// stops before it starts a helper, and leaves the event as it found it.
TEST_F(InstallerElevationE2eTest, APermissionEventFoundSignalledIsNoGrant) {
  ActAsStandardUser(std::make_shared<std::atomic<bool>>(false));
  base::win::ScopedHandle planted = std::move(
      CreateNamedEvent(
          MakeObjectName(install_folder(), L"TavroInstaller/GiveInstallPermission", false),
          false, IfExists::kRefuse, false)
          .handle);
  ASSERT_TRUE(planted.IsValid() && ::SetEvent(planted.Get()));
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--allusers=0", &observer));
  EXPECT_EQ((std::vector<std::string>{"Error(37055)", "Done(0)"}), observer.events());
  EXPECT_EQ("Error when setting up the process to give us write permissions to installation "
            "folder",
            observer.error_detail());
  EXPECT_TRUE(InvocationsOf(own_executable_).empty());
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(planted.Get(), 0));
}

TEST_F(InstallerElevationE2eTest, HandsOverToThePackagesInstallerOnceThePackageIsReady) {
  const base::FilePath package = temp_root().Append(L"later");
  const base::FilePath package_installer = CopyStub(package, L"installer.exe");
  // As the front end makes it.
  base::win::ScopedHandle ready = std::move(
      CreateNamedEvent(MakeObjectName(install_folder(), L"TavroInstaller/PackageReady", true),
                       true, IfExists::kUseWhenTrusted, false)
          .handle);
  ASSERT_TRUE(ready.IsValid());
  const std::wstring wait_for_package = L"--wait-for-package=\"" + package.value() + L"\"";
  {
    // The package becomes ready while the installer waits.
    const std::unique_ptr<Settings> settings = MakeSettings(wait_for_package);
    RecordingInstallerObserver observer;
    observer.on_event = [&ready](const std::string& event) {
      if (event != "InstallFolderReady")
        return;
      base::MessageLoop::Current()->task_runner()->PostTask(
          FROM_HERE, base::BindLambda([&ready] { ::SetEvent(ready.Get()); }));
    };
    ASSERT_TRUE(RunInstaller(settings.get(), &observer));
    EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "StartingNewMainProcess(0)",
                                        "ReturnedToPreviousMainProcess", "Success"}),
              observer.events())
        << observer.error_detail();
    const std::vector<test::StubInvocation> runs = InvocationsOf(package_installer);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(WithSwitches(settings->AppendToCommandLine(false), {{"crash-reporter-pid", L"0"}}),
              runs[0].GetCommandLine().GetSwitches());
  }
  const Snapshot before = TakeSnapshot();
  {
    // Ready before it waits; the package's installer fails.
    SetVariable(test::StubExitCodeEnvironment(L"installer.exe", 1));
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(wait_for_package, &observer));
    EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "StartingNewMainProcess(0)",
                                        "ReturnedToPreviousMainProcess", "Error(37055)",
                                        "Done(0)"}),
              observer.events());
    EXPECT_EQ("Installer process did not complete successfully.", observer.error_detail());
    EXPECT_EQ(2u, InvocationsOf(package_installer).size());
  }
  {
    // A package folder that is not a full path is never looked for.
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"--wait-for-package=later", &observer));
    EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "Error(37055)", "Done(0)"}),
              observer.events());
    EXPECT_EQ("Failed to start installer process from the package folder.",
              observer.error_detail());
  }
  EXPECT_EQ(kNoChanges, ChangesSince(before));
}

// The package folder is the user's: the installer there runs only when it carries the
// signature a signed installer carries, and with no library beside it but one of the same
// signer. Nothing else ends the run as a success, whatever it would have exited with.
TEST_F(SignedInstallerElevationE2eTest, HandsOverOnlyToAnInstallerSignedAsThisOne) {
  const test::ExamplePackage example = test::ExamplePackage::Current();
  const base::ScopedPathOverride signed_installer(base::FILE_EXE, example.package_installer(),
                                                  true, false);
  const base::FilePath bin(test::GetTestBinFolder());
  const base::FilePath signed_stub = SignedProgram();
  // As the front end makes it, already signalled.
  base::win::ScopedHandle ready = std::move(
      CreateNamedEvent(MakeObjectName(install_folder(), L"TavroInstaller/PackageReady", true),
                       true, IfExists::kUseWhenTrusted, false)
          .handle);
  ASSERT_TRUE(ready.IsValid());
  ASSERT_TRUE(::SetEvent(ready.Get()));
  const struct {
    const wchar_t* name;
    base::FilePath installer;
    base::FilePath library;
  } packages[] = {
      {L"unsigned", example.package_folder().Append(L"tavro.exe"), base::FilePath()},
      {L"other_signer", bin.Append(L"signed_by_other.exe"), base::FilePath()},
      {L"foreign_library", signed_stub, bin.Append(L"tavro_installer.dll")},
      {L"signed", signed_stub, base::FilePath()},
  };
  for (const auto& package : packages) {
    SCOPED_TRACE(package.name);
    const base::FilePath folder = temp_root().Append(package.name);
    ASSERT_TRUE(base::CreateDirectory(folder));
    ASSERT_TRUE(base::CopySingleFile(package.installer, folder.Append(L"installer.exe")));
    if (!package.library.empty()) {
      ASSERT_TRUE(base::CopySingleFile(package.library, folder.Append(L"tavro_installer.dll")));
    }
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"--wait-for-package=\"" + folder.value() + L"\"", &observer));
    const size_t runs = InvocationsOf(folder.Append(L"installer.exe")).size();
    if (package.library.empty() && package.installer == signed_stub) {
      EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "StartingNewMainProcess(0)",
                                          "ReturnedToPreviousMainProcess", "Success"}),
                observer.events())
          << observer.error_detail();
      EXPECT_EQ(1u, runs);
      continue;
    }
    EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "StartingNewMainProcess(0)",
                                        "ReturnedToPreviousMainProcess", "Error(37055)",
                                        "Done(0)"}),
              observer.events());
    EXPECT_EQ("Failed to start installer process from the package folder.",
              observer.error_detail());
    EXPECT_EQ(0u, runs);
  }
  // What the runs noted for the user.
  DeleteAddedRegistryEntries();
}

// A signed installer is restarted elevated only with a library of its own signer beside it,
// and another process of the user can change neither while the elevated run works.
TEST_F(SignedInstallerElevationE2eTest, RestartsElevatedOnlyFromFilesHeldAsChecked) {
  // An administrator whose process is not elevated: the test system's policy turns User
  // Account Control off, which keeps a standard user from elevating.
  auto rights = std::make_unique<InstallerUserRights>();
  rights->is_user_admin = [](bool consider_linked_token) { return consider_linked_token; };
  SetUserRights(std::move(rights));
  const base::FilePath program = temp_root().Append(L"signed\\installer.exe");
  const base::FilePath library = program.DirName().Append(L"tavro_installer.dll");
  ASSERT_TRUE(base::CreateDirectory(program.DirName()));
  ASSERT_TRUE(base::CopySingleFile(SignedProgram(), program));
  ASSERT_TRUE(base::CopySingleFile(
      base::FilePath(test::GetTestBinFolder()).Append(L"tavro_installer.dll"), library));
  const base::ScopedPathOverride signed_installer(base::FILE_EXE, program, true, false);
  {
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"--allusers=1", &observer));
    EXPECT_EQ((std::vector<std::string>{"Error(37055)", "Done(0)"}), observer.events());
    EXPECT_EQ("Error when setting up the installer process", observer.error_detail());
    EXPECT_TRUE(InvocationsOf(program).empty());
  }

  ASSERT_TRUE(base::CopySingleFile(SignedProgram(), library));
  SetVariable(test::StubExitCodeEnvironment(L"installer.exe", 1));
  test::StubHold hold(L"installer.exe");
  ASSERT_TRUE(hold.IsValid());
  SetVariable(hold.GetEnvironment());
  std::vector<std::wstring> changed;
  std::thread user([&] {
    if (test::WaitForStubInvocations(stub_log_folder(), L"installer.exe", 1, kProcessWait)) {
      for (const base::FilePath& file : {program, library}) {
        const base::win::ScopedHandle writable(::CreateFileW(
            file.value().c_str(), GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (writable.IsValid())
          changed.push_back(file.value() + L" rewritten");
        const base::FilePath aside = file.AddExtension(L".aside");
        if (::MoveFileW(file.value().c_str(), aside.value().c_str())) {
          changed.push_back(file.value() + L" moved");
          ::MoveFileW(aside.value().c_str(), file.value().c_str());
        }
      }
    }
    hold.Release();
  });
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--allusers=1", &observer));
  user.join();
  EXPECT_EQ("Installer process did not complete successfully.", observer.error_detail());
  EXPECT_EQ(1u, InvocationsOf(program).size());
  EXPECT_EQ(std::vector<std::wstring>(), changed);
}

// An elevated run that waits for the package: the package's installer then only does what
// the user's process does after an elevated installation.
TEST_F(InstallerElevationE2eTest, ElevatedRunWaitingForThePackageLeavesTheUsersTasksToIt) {
  ActAsStandardUser(std::make_shared<std::atomic<bool>>(false));
  const base::FilePath package = temp_root().Append(L"later");
  const base::FilePath package_installer = CopyStub(package, L"installer.exe");
  base::win::ScopedHandle ready = std::move(
      CreateNamedEvent(MakeObjectName(install_folder(), L"TavroInstaller/PackageReady", true),
                       true, IfExists::kUseWhenTrusted, false)
          .handle);
  ASSERT_TRUE(ready.IsValid() && ::SetEvent(ready.Get()));
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--allusers=1 --wait-for-package=\"" + package.value() + L"\"",
                           &observer));
  EXPECT_EQ((std::vector<std::string>{"StartingNewMainProcess(0)",
                                      "ReturnedToPreviousMainProcess",
                                      "StartingNewMainProcess(0)",
                                      "ReturnedToPreviousMainProcess", "Success"}),
            observer.events())
      << observer.error_detail();
  const std::vector<test::StubInvocation> elevated = InvocationsOf(own_executable_);
  ASSERT_EQ(1u, elevated.size());
  EXPECT_EQ(package, elevated[0].GetCommandLine().GetSwitchValuePath("wait-for-package"));
  const std::vector<test::StubInvocation> runs = InvocationsOf(package_installer);
  ASSERT_EQ(1u, runs.size());
  EXPECT_TRUE(runs[0].GetCommandLine().HasSwitch("post-elevated-install-tasks"));
}


// An uninstallation of the browser that handles "http" for all users gives the default
// browser back through the command the system's own browser registered.
TEST_F(InstallerElevationE2eTest, UninstallRunsTheReinstallCommandOfTheSystemsBrowser) {
  const base::FilePath reinstall = CopyStub(temp_root().Append(L"ie"), L"reinstall.exe");
  // The command's variables would come from the environment, which is the user's.
  const base::FilePath planted = CopyStub(temp_root().Append(L"planted"), L"reinstall.exe");
  SetVariable({L"TAVRO_PLANTED_FOLDER", planted.DirName().value()});
  base::win::RegistryKey install_info;
  ASSERT_EQ(ERROR_SUCCESS,
            install_info.Create(HKEY_LOCAL_MACHINE,
                                L"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE\\InstallInfo",
                                KEY_SET_VALUE));
  const std::wstring commands[] = {
      L"\"" + reinstall.value() + L" --reinstall",
      L"\"%TAVRO_PLANTED_FOLDER%\\reinstall.exe\" --reinstall",
      L"\"" + reinstall.value() + L"\"   --reinstall  --hide",
  };
  base::test::ScopedLogCapture log;
  for (const std::wstring& command : commands) {
    SCOPED_TRACE(command);
    RecordingInstallerObserver installed;
    ASSERT_TRUE(RunInstaller(L"--allusers=1", &installed));
    ASSERT_EQ("Success", installed.events().back()) << installed.error_detail();
    DeleteTaskAtEnd(ReadStatusFile().app_id);
    ASSERT_TRUE(test::WriteRegistryDefaultValue(
        HKEY_CURRENT_USER, L"Software\\Classes\\http\\shell\\open\\command",
        L"\"" + install_folder().Append(kLauncherExeName).value() + L"\" \"%1\""));
    ASSERT_EQ(ERROR_SUCCESS, install_info.WriteValue(L"ReinstallCommand", command));

    RecordingInstallerObserver uninstalled;
    ASSERT_TRUE(RunInstaller(L"--uninstall", &uninstalled));
    EXPECT_EQ("Success", uninstalled.events().back()) << uninstalled.error_detail();
  }
  // Run and waited for once: the command without its closing quote was skipped, and so was
  // the one whose program a variable of the user's named.
  EXPECT_TRUE(log.LoggedPrefix(logging::LOG_ERROR, "Ignoring the ReinstallCommand \"%TAVRO"));
  EXPECT_TRUE(InvocationsOf(planted).empty());
  const std::vector<test::StubInvocation> runs = InvocationsOf(reinstall);
  ASSERT_EQ(1u, runs.size());
  const base::CommandLine run = runs[0].GetCommandLine();
  EXPECT_TRUE(run.HasSwitch("reinstall"));
  EXPECT_TRUE(run.HasSwitch("hide"));
}

// Whatever an elevated uninstallation starts runs elevated too: the survey's browser is
// started by the user's own installer once the elevated run has ended, never by that run.
TEST_F(InstallerElevationE2eTest, AnElevatedUninstallationLeavesTheSurveyToTheUsersInstaller) {
  RecordingInstallerObserver installed;
  ASSERT_TRUE(RunInstaller(L"--allusers=1", &installed));
  ASSERT_EQ("Success", installed.events().back()) << installed.error_detail();
  DeleteTaskAtEnd(ReadStatusFile().app_id);
  {
    // This process in the place of the elevated run.
    base::test::ScopedLogCapture log;
    RecordingInstallerObserver elevated;
    ASSERT_TRUE(RunInstaller(L"--uninstall --run-elevated --parent-pid=1", &elevated));
    EXPECT_EQ("Success", elevated.events().back()) << elevated.error_detail();
    EXPECT_TRUE(log.Logged(logging::LOG_INFO,
                           "The uninstall survey is left to the installer that started this run"));
    EXPECT_FALSE(log.Logged(logging::LOG_INFO, "Trying to display the uninstall survey"));
  }

  ASSERT_TRUE(RunInstaller(L"--allusers=1", &installed));
  ASSERT_EQ("Success", installed.events().back()) << installed.error_detail();
  DeleteTaskAtEnd(ReadStatusFile().app_id);
  // The user's own run: the elevated run (a stub) ends with success.
  ActAsStandardUser(std::make_shared<std::atomic<bool>>(false));
  base::test::ScopedLogCapture log;
  RecordingInstallerObserver uninstalled;
  ASSERT_TRUE(RunInstaller(L"--uninstall", &uninstalled));
  EXPECT_EQ("Success", uninstalled.events().back()) << uninstalled.error_detail();
  ASSERT_EQ(1u, InvocationsOf(own_executable_).size());
  EXPECT_TRUE(InvocationsOf(own_executable_)[0].GetCommandLine().HasSwitch("run-elevated"));
  EXPECT_TRUE(log.Logged(logging::LOG_INFO, "Trying to display the uninstall survey"));
  // Started through the system, it records its run beside itself.
  const base::FilePath survey_log = program_files_x86().Append(L"Internet Explorer");
  EXPECT_TRUE(test::WaitForStubInvocations(stub_log_folder(), L"iexplore.exe", 1, kProcessWait) ||
              test::WaitForStubInvocations(survey_log, L"iexplore.exe", 1, kProcessWait));
}

// The real helper (the package's installer in its helper role) grants, and keeps the grant
// until the run that asked for it has ended.
TEST_F(InstallerElevationE2eTest, TheHelperHoldsTheGrantUntilTheRunEnds) {
  // The real helper grants only on a new folder directly in a program-files folder of the
  // system's, or on an installation: one that an administrator made before.
  RecordingInstallerObserver first;
  ASSERT_TRUE(RunInstaller(L"--allusers=0", &first));
  ASSERT_EQ("Success", first.events().back()) << first.error_detail();
  DeleteTaskAtEnd(ReadStatusFile().app_id);

  // The user may write once the helper has granted: the check after it.
  auto checks = std::make_shared<std::atomic<int>>(0);
  auto rights = std::make_unique<InstallerUserRights>();
  rights->is_user_admin = [](bool) { return false; };
  rights->has_folder_access = [checks](const base::FilePath&, ACCESS_MASK) {
    return checks->fetch_add(1) > 0;
  };
  rights->grant_folder_access = [](const base::FilePath&, ACCESS_MASK,
                                   std::unique_ptr<SavedSecurity>*) { return false; };
  SetUserRights(std::move(rights));
  base::ScopedPathOverride real_installer(base::FILE_EXE,
                                          package_folder().Append(L"installer.exe"), true, false);

  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--allusers=0", &observer));
  EXPECT_EQ("Success", observer.events().back()) << observer.error_detail();
  EXPECT_EQ(2, checks->load());
  DeleteTaskAtEnd(ReadStatusFile().app_id);

  // Told at the end of the run, the helper puts the folder's list back a while later and
  // ends.
  const std::vector<DWORD> helpers =
      test::FindChildProcesses(::GetCurrentProcessId(), L"installer.exe");
  ASSERT_EQ(1u, helpers.size());
  const base::Process helper = base::Process::Open(helpers[0]);
  ASSERT_TRUE(helper.IsValid());
  DWORD exit_code = 0;
  EXPECT_TRUE(helper.WaitForExitWithTimeout(
      static_cast<DWORD>((kUndoGrantDelay + kProcessWait).InMilliseconds()), &exit_code));
  EXPECT_EQ(0u, exit_code);
}

// An administrator's run of a signed installer installs the package only as the package
// file carries it: signed by the product's signer, checked on the file it holds while it
// unpacks. Once the package folder is unpacked, the user's programs and data swapped in
// there, and a rewritten files list, are not installed.
TEST_F(SignedInstallerElevationE2eTest, InstallsOnlyWhatTheSignedPackageFileHolds) {
  const base::ScopedPathOverride signed_installer(
      base::FILE_EXE, test::ExamplePackage::Current().package_installer(), true, false);
  const base::FilePath signed_by_other =
      base::FilePath(test::GetTestBinFolder()).Append(L"signed_by_other.exe");
  // A package file that another signer signed has taken the package's place.
  ASSERT_TRUE(base::CopySingleFile(signed_by_other, package_file()));
  const Snapshot before = TakeSnapshot();
  {
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"", &observer));
    EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "Error(37055)", "Done(0)"}),
              observer.events());
    EXPECT_EQ("The package " + package_file().ToUtf8() +
                  " does not carry the product's signature",
              observer.error_detail());
  }
  EXPECT_EQ(kNoChanges, ChangesSince(before));

  // The product's package file, and in its unpacked folder a browser of another signer, a
  // resource and a files list of the user's.
  ASSERT_TRUE(
      base::CopySingleFile(test::ExamplePackage::Current().package_installer(), package_file()));
  ASSERT_TRUE(base::CopySingleFile(signed_by_other, package_folder().Append(L"tavro.exe")));
  ASSERT_TRUE(test::WriteTestFile(package_folder().Append(L"resources\\about.txt"), "swapped"));
  ASSERT_TRUE(test::WriteTestFile(package_folder().Append(L"files_list"), "tavro.exe\r\n"));
  const RecordingInstallerObserver* observer = Run(L"");
  ASSERT_EQ("Success", observer->events().back()) << observer->error_detail();
  const base::FilePath installed = install_folder().Append(ReadStatusFile().subfolder);
  const base::FilePath example = test::ExamplePackage::Current().package_folder();
  for (const wchar_t* name : {L"tavro.exe", L"resources\\about.txt", L"tavro_installer.dll"}) {
    std::string expected;
    std::string text;
    EXPECT_TRUE(base::ReadFileToString(example.Append(name), &expected));
    EXPECT_TRUE(base::ReadFileToString(installed.Append(name), &text)) << name;
    EXPECT_TRUE(expected == text) << name;
  }
}

}  // namespace
}  // namespace installer
