// The Installer in this process uninstalling an installation of the example package that it
// made before: from the real registry of the test prefix, its real files, shortcuts, pins,
// scheduled task and component, with the clean-up batch and the uninstall survey started
// as real processes.

#include <windows.h>

#include <wchar.h>

#include <set>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_registry.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_path_override.h"
#include "base/time/time.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"
#include "desktop/common/autoupdate/updatechecker/globalstorage_win.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/installer_in_process_e2e_test.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::InstallerInProcessE2eTest;
using test::RecordingInstallerObserver;
using test::RegistrySnapshot;
using test::TreeSnapshot;

constexpr base::TimeDelta kProcessWait = base::TimeDelta::FromSeconds(30);

// The command interpreters this process started that still run.
std::set<DWORD> GetRunningBatchProcesses() {
  const std::vector<DWORD> pids = test::FindChildProcesses(::GetCurrentProcessId(), L"cmd.exe");
  return std::set<DWORD>(pids.begin(), pids.end());
}

// Whether the clean-up batch |batch| was started: it either runs (waiting for this process
// to end) or has done its work and deleted itself.
bool WaitForCleanupBatchStarted(const base::FilePath& batch, const std::set<DWORD>& before) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + kProcessWait;
  while (base::TimeTicks::Now() < deadline) {
    if (!base::PathExists(batch))
      return true;
    for (DWORD pid : GetRunningBatchProcesses()) {
      if (!before.count(pid))
        return true;
    }
    ::Sleep(50);
  }
  return false;
}

bool WaitUntilGone(const base::FilePath& path) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + kProcessWait;
  while (base::PathExists(path)) {
    if (base::TimeTicks::Now() >= deadline)
      return false;
    ::Sleep(50);
  }
  return true;
}

// An uninstallation leaves the registry keys it shares with other programs (which a fresh
// test prefix does not have) and the last install folder: each test deletes them itself.
class InstallerUninstallE2eTest : public InstallerInProcessE2eTest {
 protected:
  // Installs for all users with the component and a single profile, made final at once;
  // the record of the installation is returned.
  InstallStatus Install() {
    RecordingInstallerObserver observer;
    EXPECT_TRUE(RunInstaller(L"--components=suite:suite --singleprofile=1", &observer));
    EXPECT_EQ("Success", observer.events().back()) << observer.error_detail();
    const InstallStatus status = ReadStatusFile();
    DeleteTaskAtEnd(status.app_id);
    return status;
  }

  // No value that the installation wrote is left: only the keys it shares with other
  // programs, now empty, and the last install folder stay.
  void ExpectOnlySharedKeysAndTheLastInstallPathLeft() {
    const RegistrySnapshot registry = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
    const std::wstring company_key = L"HKCU\\" + GetCompanyRegistryKey();
    const std::wstring last_install_path = company_key + L"\\Last Stable Install Path";
    bool last_install_path_kept = false;
    for (const test::SnapshotDifference& difference :
         CompareSnapshots(registry_before(), registry, RegistrySnapshot::DefaultAllowList())) {
      EXPECT_EQ(test::SnapshotDifference::Kind::kAdded, difference.kind) << difference.path;
      const RegistrySnapshot::Values* values = registry.FindKey(difference.path);
      if (values && difference.path != company_key) {
        EXPECT_TRUE(values->empty()) << difference.path;
      } else if (!values) {
        EXPECT_EQ(last_install_path, difference.path);
        last_install_path_kept = true;
      }
    }
    EXPECT_TRUE(last_install_path_kept);
    for (const std::wstring& key : std::vector<std::wstring>{
             L"HKLM\\Software\\Classes\\TavroStable",
          L"HKLM\\Software\\Clients\\StartMenuInternet\\TavroStable",
          L"HKLM\\Software\\Classes\\Applications\\tavro.exe",
          L"HKLM\\Software\\Wow6432Node\\" + Installer::MakeUninstallKey(std::wstring()).substr(
              wcslen(L"Software\\"))}) {
      EXPECT_FALSE(registry.FindKey(key)) << key;
    }
  }

  base::FilePath profile() const { return install_folder().Append(L"profile"); }
  base::FilePath batch() const { return install_folder().Append(L"k.bat"); }
};

TEST_F(InstallerUninstallE2eTest, RemovesEverythingButWhatIsKept) {
  const TreeSnapshot files_before = TreeSnapshot::Capture(target_root());
  // A partner's welcome page and an autoupdate identity for the survey.
  ASSERT_TRUE(test::WriteTestFile(
      package_folder().Append(L"installer_prefs_include.json"),
      "{\"welcome-url\": \"https://www.tavro.example/welcome/?partner=t\"}"));
  ASSERT_EQ(GlobalStorage::STATUS_OK, GlobalStorage::Instance().Write("UUID", "u-1"));

  const InstallStatus installed = Install();
  ASSERT_FALSE(installed.desktop_shortcut.empty());
  ScheduledTaskInfo task;
  ASSERT_TRUE(ReadAutoupdateTask(installed.app_id, &task));
  // The user pinned the browser and used it.
  const base::FilePath pin = taskbar_pins_folder().Append(installed.desktop_shortcut.BaseName());
  ASSERT_TRUE(base::CopySingleFile(installed.desktop_shortcut, pin));
  ASSERT_TRUE(base::CreateDirectory(profile()));
  ASSERT_TRUE(test::WriteTestFile(profile().Append(L"Preferences"), "{}"));

  const std::set<DWORD> batches_before = GetRunningBatchProcesses();
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--uninstall", &observer));
  GlobalStorage::Instance().Write("UUID", std::string());
  // Six steps.
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "TotalSteps(7)", "Step x7",
                                      "Success"}),
            observer.Summary())
      << observer.error_detail();

  // The component uninstalls itself on its own.
  ASSERT_TRUE(test::WaitForStubInvocations(stub_log_folder(), L"suite_installer.exe", 2,
                                           kProcessWait));
  const base::CommandLine component = Invocations(L"suite_installer.exe")[1].GetCommandLine();
  EXPECT_EQ(install_folder().Append(L"suite\\suite_installer.exe"), component.GetProgram());
  EXPECT_TRUE(component.HasSwitch("uninstall"));
  EXPECT_EQ("0", component.GetSwitchValueASCII("copyonly"));
  EXPECT_EQ("1", component.GetSwitchValueASCII("allusers"));
  EXPECT_TRUE(WaitUntilGone(install_folder().Append(L"suite\\component.txt")));

  // The clean-up batch ran, or waits for this process.
  EXPECT_TRUE(WaitForCleanupBatchStarted(batch(), batches_before));

  // The uninstall survey, in a private window, names the version, the autoupdate identity
  // and the partner.
  const base::FilePath survey_log = program_files_x86().Append(L"Internet Explorer");
  ASSERT_TRUE(test::WaitForStubInvocations(stub_log_folder(), L"iexplore.exe", 1, kProcessWait) ||
              test::WaitForStubInvocations(survey_log, L"iexplore.exe", 1, kProcessWait));
  std::vector<test::StubInvocation> survey = Invocations(L"iexplore.exe");
  if (survey.empty())
    survey = test::ReadStubInvocations(survey_log, L"iexplore.exe");
  const bool private_window = base::win::GetWindowsVersion() >= base::win::VERSION_WIN8;
  EXPECT_EQ(L"\"" + survey_log.Append(L"iexplore.exe").value() + L"\"" +
                (private_window ? L" -private" : L"") +
                L" https://www.tavro.example/uninstall-survey/?version=" +
                base::AsciiToUtf16(ProductInfo::GetVersion()) + L"&uuid=u-1&partner=t",
            survey[0].command_line);

  // What the installation made is gone, the pin and the task included; the profile, the
  // installer preferences (which name it) and what the component keeps stay, and the
  // batch while it waits.
  EXPECT_FALSE(base::PathExists(pin));
  EXPECT_FALSE(ReadAutoupdateTask(installed.app_id, &task));
  EXPECT_EQ(
      "+ Programs\n"
      "+ Programs\\Tavro\n"
      "+ Programs\\Tavro\\installer_prefs.json\n"
      "+ Programs\\Tavro\\profile\n"
      "+ Programs\\Tavro\\profile\\Preferences\n"
      "+ Programs\\Tavro\\suite\n"
      "+ Programs\\Tavro\\suite\\suite_installer.exe\n",
      test::FormatDifferences(CompareSnapshots(files_before, TreeSnapshot::Capture(target_root()),
                                               {L"Programs\\Tavro\\k.bat"})));
  ExpectOnlySharedKeysAndTheLastInstallPathLeft();
  DeleteAddedRegistryEntries();
}

// The installed installer uninstalls in a process of its own, as the backend that its front
// end starts. The files it runs from it cannot delete: they go to the clean-up batch.
TEST_F(InstallerUninstallE2eTest, TheInstalledInstallerUninstallsAsABackend) {
  const InstallStatus installed = Install();
  const base::FilePath version_folder = install_folder().Append(installed.subfolder);
  const base::FilePath temp = temp_root().Append(L"temp");
  ASSERT_TRUE(base::CreateDirectory(temp));

  base::CommandLine backend(version_folder.Append(L"installer.exe"));
  backend.AppendSwitch("backend");
  backend.AppendSwitch("uninstall");
  // No survey: its browser would be the system's.
  backend.AppendSwitch("silent");
  backend.AppendSwitchASCII("initial-pid", base::UintToString(::GetCurrentProcessId()));
  test::ProcessOptions options;
  options.environment = {{L"TEMP", temp.value()}, {L"TMP", temp.value()}};
  // The batch waits for this process too.
  options.wait_for_started_processes = false;
  test::TestProcess process;
  ASSERT_TRUE(process.Start(backend, options));
  const test::ProcessResult result = process.Wait();
  ASSERT_TRUE(result.Succeeded()) << result.Describe() << test::ReadAllInstallerLogs(temp);

  EXPECT_TRUE(test::WaitForStubInvocations(stub_log_folder(), L"suite_installer.exe", 2,
                                           kProcessWait));
  EXPECT_FALSE(base::PathExists(install_folder().Append(kInstallStatusFileName)));
  EXPECT_FALSE(base::PathExists(install_folder().Append(kLauncherExeName)));
  EXPECT_FALSE(base::PathExists(installed.desktop_shortcut));
  EXPECT_FALSE(base::PathExists(version_folder.Append(L"resources")));
  const std::string log = test::ReadAllInstallerLogs(temp);
  EXPECT_NE(std::string::npos, log.find("Installation succeeded")) << log;
  EXPECT_NE(std::string::npos, log.find("Starting final cleanup batch file.")) << log;
  ExpectOnlySharedKeysAndTheLastInstallPathLeft();
  DeleteAddedRegistryEntries();
}

TEST_F(InstallerUninstallE2eTest, RefusedWhileTheBrowserRunsThenRemovesTheProfileWhenAsked) {
  const InstallStatus installed = Install();
  ASSERT_TRUE(base::CreateDirectory(profile()));
  ASSERT_TRUE(test::WriteTestFile(profile().Append(L"Preferences"), "{}"));

  test::StubHold hold(L"tavro.exe");
  ASSERT_TRUE(hold.IsValid());
  test::ProcessOptions options;
  options.environment = {hold.GetEnvironment(), test::StubLogEnvironment(stub_log_folder())};
  test::TestProcess browser;
  ASSERT_TRUE(browser.Start(
      base::CommandLine(install_folder().Append(installed.subfolder).Append(L"tavro.exe")),
      options));
  ASSERT_TRUE(test::WaitForStubInvocations(stub_log_folder(), L"tavro.exe", 1, kProcessWait));

  const Snapshot before = TakeSnapshot();
  RecordingInstallerObserver refused;
  ASSERT_TRUE(RunInstaller(L"--uninstall --deleteuserprofile", &refused));
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "Error(37063)", "Done(0)"}),
            refused.events());
  EXPECT_EQ("Can't uninstall when " +
                install_folder().Append(installed.subfolder).Append(L"tavro.exe").ToUtf8() +
                " is in use",
            refused.error_detail());
  EXPECT_EQ(kNoChanges, ChangesSince(before));

  hold.Release();
  EXPECT_TRUE(browser.Wait().Succeeded());
  RecordingInstallerObserver uninstalled;
  ASSERT_TRUE(RunInstaller(L"--uninstall --deleteuserprofile", &uninstalled));
  EXPECT_EQ("Success", uninstalled.events().back()) << uninstalled.error_detail();
  EXPECT_FALSE(base::PathExists(profile()));
  EXPECT_FALSE(base::PathExists(install_folder().Append(kLauncherExeName)));
  DeleteAddedRegistryEntries();
}

// A user whose folder rights need an administrator: the uninstallation restarts elevated (the
// installed installer, run for real). That run, the only one allowed to delete there, starts
// its clean-up batch, written where the user cannot change it; the batch removes the
// installer it ran from once it has ended. The user's process starts none. What made the
// browser the user's default goes too.
TEST_F(InstallerUninstallE2eTest, AnElevatedUninstallationEndsWithItsCleanupBatch) {
  const TreeSnapshot files_before = TreeSnapshot::Capture(target_root());
  RecordingInstallerObserver installed;
  // The default browser for the user: registrations that no registry record keeps.
  ASSERT_TRUE(
      RunInstaller(L"--allusers=0 --components=suite:suite --setdefaultbrowser=1", &installed));
  ASSERT_EQ("Success", installed.events().back()) << installed.error_detail();
  const InstallStatus status = ReadStatusFile();
  DeleteTaskAtEnd(status.app_id);
  ASSERT_TRUE(Installation(install_folder()).IsDefaultHandlerFor(L"http", false));
  const base::FilePath version_folder = install_folder().Append(status.subfolder);

  auto rights = std::make_unique<InstallerUserRights>();
  rights->is_user_admin = [](bool consider_linked_token) { return consider_linked_token; };
  rights->has_folder_access = [](const base::FilePath&, ACCESS_MASK) { return false; };
  rights->grant_folder_access = [](const base::FilePath&, ACCESS_MASK,
                                   std::unique_ptr<SavedSecurity>*) { return false; };
  SetUserRights(std::move(rights));
  base::ScopedPathOverride elevated_installer(base::FILE_EXE,
                                              version_folder.Append(L"installer.exe"), true, false);
  const std::set<DWORD> batches_before = GetRunningBatchProcesses();
  // Each elevated batch runs in a protected folder of its own, removed when it ends.
  constexpr wchar_t kBatchFolders[] = L"tavro_cleanup_*";
  const std::set<base::FilePath> protected_before = test::ListSystemTempFolders(kBatchFolders);

  // This process stands for the front end too. (Under Wine the batch cannot see which
  // processes run, as its TASKLIST and FIND lack what it asks of them: it goes on after its
  // first second.)
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(
      L"--uninstall --silent --initial-pid=" + base::UintToWideString(::GetCurrentProcessId()),
      &observer));
  EXPECT_EQ((std::vector<std::string>{"StartingNewMainProcess(0)", "ReturnedToPreviousMainProcess",
                                      "Success"}),
            observer.events())
      << observer.error_detail();
  EXPECT_EQ(batches_before, GetRunningBatchProcesses());
  EXPECT_TRUE(WaitUntilGone(version_folder));
  const base::TimeTicks deadline = base::TimeTicks::Now() + kProcessWait;
  while (test::ListSystemTempFolders(kBatchFolders) != protected_before &&
         base::TimeTicks::Now() < deadline)
    ::Sleep(50);
  EXPECT_EQ(protected_before, test::ListSystemTempFolders(kBatchFolders));
  EXPECT_EQ(
      "+ Programs\n"
      "+ Programs\\Tavro\n"
      "+ Programs\\Tavro\\installer_prefs.json\n"
      "+ Programs\\Tavro\\suite\n"
      "+ Programs\\Tavro\\suite\\suite_installer.exe\n",
      test::FormatDifferences(
          CompareSnapshots(files_before, TreeSnapshot::Capture(target_root()), {})));
  ExpectOnlySharedKeysAndTheLastInstallPathLeft();
  DeleteAddedRegistryEntries();
}

}  // namespace
}  // namespace installer
