// The Installer in this process installing and upgrading the example package into the
// real registry of the test prefix, its real files and shortcuts (in folders of the test's
// own), running the package's real component installer and launcher.

#include "desktop/windows/installer/installer.h"

#include <windows.h>
#include <wchar.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/bind.h"
#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/json/json_file_reader.h"
#include "base/location.h"
#include "base/test/scoped_log_capture.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/prefs_task_pool.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"
#include "desktop/windows/installer/test/installer_in_process_e2e_test.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/installer_run.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::ExamplePackage;
using test::InstallerInProcessE2eTest;
using test::RecordingInstallerObserver;
using test::RegistrySnapshot;
using test::TreeSnapshot;

constexpr base::TimeDelta kStubWait = base::TimeDelta::FromSeconds(20);

// The Step just before the finalising step of an upgrade of the example package: 11 steps
// besides the copies.
int StepBeforeFinalizingAnUpgrade() {
  const ExamplePackage package = ExamplePackage::Current();
  return static_cast<int>(package.ReadFilesList().size() + package.ReadRootFilesList().size()) +
         10;
}

TEST_F(InstallerInProcessE2eTest, InstallsTheExamplePackage) {
  const ExamplePackage package = ExamplePackage::Current();
  const std::vector<std::string> files = package.ReadFilesList();
  const std::vector<std::string> root_files = package.ReadRootFilesList();
  ASSERT_FALSE(files.empty());

  RecordingInstallerObserver* observer = Run(L"--components=suite:suite --launchtavro=1");
  const int steps = static_cast<int>(files.size() + std::max<size_t>(root_files.size(), 1)) + 7;
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady",
                                      "TotalSteps(" + std::to_string(steps) + ")",
                                      "Step x" + std::to_string(steps), "Success"}),
            observer->Summary());
  const InstallStatus status = ReadStatusFile();

  // Every file of both lists, as the package holds it.
  const TreeSnapshot packaged = TreeSnapshot::Capture(package_folder());
  const TreeSnapshot installed = TreeSnapshot::Capture(install_folder());
  const std::wstring subfolder = status.subfolder.value() + L"\\";
  for (const std::string& file : files) {
    const std::wstring name = base::Utf8ToUtf16(file);
    const TreeSnapshot::Entry* entry = installed.Find(subfolder + name);
    ASSERT_TRUE(entry) << file;
    EXPECT_EQ(packaged.Find(name)->sha256, entry->sha256) << file;
  }
  for (const std::string& file : root_files)
    EXPECT_TRUE(installed.Find(base::Utf8ToUtf16(file))) << file;
  EXPECT_EQ(packaged.Find(kLauncherExeName)->sha256, installed.Find(kLauncherExeName)->sha256);
  EXPECT_EQ(files, status.files);
  EXPECT_EQ(root_files, status.root_files);

  // The component installer, signed by the product's signer, ran with the Parts' switches.
  const std::vector<test::StubInvocation> component = Invocations(L"suite_installer.exe");
  ASSERT_EQ(1u, component.size());
  const base::CommandLine component_command = component[0].GetCommandLine();
  EXPECT_EQ(install_folder().Append(L"suite"),
            component_command.GetSwitchValuePath("installfolder"));
  EXPECT_EQ("0", component_command.GetSwitchValueASCII("copyonly"));
  EXPECT_EQ("1", component_command.GetSwitchValueASCII("allusers"));
  ASSERT_EQ(1u, status.components.size());
  EXPECT_EQ("suite", status.components[0].name);
  EXPECT_EQ(install_folder().Append(L"suite"), status.components[0].path);

  // Windows 10 pins through the package's helper, run under the shell's name; before it,
  // the shell's verb, which Wine lacks.
  const std::vector<test::StubInvocation> pins = Invocations(L"explorer.exe");
  if (base::win::GetWindowsVersion() >= base::win::VERSION_WIN10) {
    ASSERT_EQ(1u, pins.size());
    EXPECT_NE(std::wstring::npos,
              pins[0].command_line.find(Installer::GetMasterShortcutName(false)));
    EXPECT_TRUE(status.pinned);
  } else {
    EXPECT_TRUE(pins.empty());
    EXPECT_FALSE(status.pinned);
  }
  EXPECT_FALSE(base::PathExists(package_folder().Append(L"explorer.exe")));

  // The browser is started through the installed launcher, maximised for a new installation.
  ASSERT_TRUE(test::WaitForStubInvocations(stub_log_folder(), kLauncherExeName, 1, kStubWait));
  const std::vector<test::StubInvocation> launches = Invocations(kLauncherExeName);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ(install_folder().Append(kLauncherExeName),
            launches[0].GetCommandLine().GetProgram());
  EXPECT_TRUE(launches[0].GetCommandLine().HasSwitch("start-maximized"));

  // The registry: exactly the recorded values (the uninstall entry in the 32-bit view) and
  // the stream's last install folder.
  const RegistrySnapshot registry = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
  constexpr wchar_t kMachine[] = L"HKLM\\Software\\";
  constexpr wchar_t kMachine32[] = L"HKLM\\Software\\Wow6432Node\\";
  std::set<std::wstring, RegistrySnapshot::LessIgnoringCase> expected = {
      L"HKCU\\Software\\Tavro Software\\Last Stable Install Path"};
  bool uninstall_entry = false;
  for (const RegistryKeyRecord& key : status.hklm_keys) {
    const bool uninstall = key.key_path.starts_with(GetUninstallRegistryKey() + L"\\");
    uninstall_entry = uninstall_entry || uninstall;
    const std::wstring path = (uninstall ? kMachine32 : kMachine) +
                              key.key_path.substr(wcslen(L"Software\\"));
    for (const RegistryValueRecord& value : key.values)
      expected.insert(path + L"\\" + (value.name.empty() ? L"(Default)" : value.name));
    if (uninstall) {
      const RegistrySnapshot::Value* location = registry.FindValue(path, L"InstallLocation");
      ASSERT_TRUE(location) << path;
      const std::string quoted_folder = '"' + install_folder().ToUtf8() + '"';
      EXPECT_EQ(quoted_folder, location->ToString());
    }
  }
  EXPECT_TRUE(uninstall_entry);
  const auto added = CompareSnapshots(registry_before(), registry,
                                      RegistrySnapshot::DefaultAllowList());
  std::set<std::wstring, RegistrySnapshot::LessIgnoringCase> found;
  for (const test::SnapshotDifference& difference : added) {
    EXPECT_EQ(test::SnapshotDifference::Kind::kAdded, difference.kind) << difference.path;
    if (registry.FindKey(difference.path))
      continue;
    // Keys that both views share show in the 32-bit view too.
    std::wstring path = difference.path;
    if (!expected.count(path) && path.starts_with(kMachine32))
      path = kMachine + path.substr(wcslen(kMachine32));
    EXPECT_TRUE(expected.count(path)) << difference.path;
    found.insert(path);
  }
  EXPECT_EQ(expected, found) << test::FormatDifferences(added);
}

TEST_F(InstallerInProcessE2eTest, UpgradeKeepsAPinOfTheVersionedBrowserPinned) {
  ASSERT_EQ("Success", Run(L"--pintotaskbar=0")->events().back());
  EXPECT_TRUE(Invocations(L"explorer.exe").empty());
  // The user pinned the running browser: a pin of the executable in the version's folder.
  const base::FilePath user_pin = taskbar_pins_folder().Append(L"Tavro.lnk");
  base::win::ShortcutProperties browser;
  browser.set_target(install_folder().Append(ReadStatusFile().subfolder).Append(L"tavro.exe"));
  ASSERT_TRUE(base::win::CreateOrUpdateShortcut(user_pin, browser,
                                                base::win::SHORTCUT_CREATE_ALWAYS));
  const TreeSnapshot pins_before = TreeSnapshot::Capture(taskbar_pins_folder());

  // An upgrade undone at its last Step before the finalising one puts the pin back and
  // pins it again; the pin it had made goes.
  RecordingInstallerObserver cancelled;
  CancelAtStep(&cancelled, StepBeforeFinalizingAnUpgrade());
  ASSERT_TRUE(RunInstaller(L"", &cancelled));
  EXPECT_EQ("Done(0)", cancelled.events().back());
  const auto pin_differences =
      CompareSnapshots(pins_before, TreeSnapshot::Capture(taskbar_pins_folder()));
  EXPECT_TRUE(pin_differences.empty()) << test::FormatDifferences(pin_differences);
  std::vector<test::StubInvocation> pin_runs = Invocations(L"explorer.exe");
  ASSERT_EQ(2u, pin_runs.size());
  EXPECT_NE(std::wstring::npos,
            pin_runs[0].command_line.find(Installer::GetMasterShortcutName(false)));
  EXPECT_NE(std::wstring::npos, pin_runs[1].command_line.find(user_pin.value()));

  // The upgrade that succeeds: the pin of the versioned browser, whose folder goes with the
  // next upgrade, gives way to a pin of the launcher.
  ASSERT_EQ("Success", Run(L"")->events().back());
  EXPECT_FALSE(base::PathExists(user_pin));
  base::FilePath pinned;
  ASSERT_TRUE(base::win::ResolveShortcut(
      taskbar_pins_folder().Append(Installer::GetMasterShortcutName(false)), &pinned, nullptr));
  EXPECT_EQ(install_folder().Append(kLauncherExeName), pinned);
  EXPECT_TRUE(ReadStatusFile().pinned);
  EXPECT_EQ(3u, Invocations(L"explorer.exe").size());
}

// A run ended before it succeeds (as a backend ended from outside) must not have started
// the browser: the launch comes after the success.
TEST_F(InstallerInProcessE2eTest, StartsTheBrowserOnlyOnceItsProfileIsWrittenAndTheRunSucceeded) {
  // A standalone copy, whose profile lives beside it, used in another language.
  ASSERT_EQ("Success", Run(L"--copyonly=1")->events().back());
  base::FilePath profile;
  ASSERT_TRUE(Installation(install_folder()).GetProfileDirectory(&profile, false));
  const base::FilePath local_state = profile.Append(L"Local State");
  ASSERT_TRUE(base::CreateDirectory(profile));
  ASSERT_TRUE(test::WriteTestFile(local_state, "{\"intl\": {\"app_locale\": \"de\"}}"));

  // The writes of the profile's "Local State" are held up until the installer waits for
  // them, or until the browser (its launcher, a stub that records its start) has started.
  base::test::ScopedLogCapture log;
  std::atomic<bool> started_before_written{false};
  JsonPrefStore::GetTaskRunnerForFile(local_state, GetPrefsTaskPool()->owner()->pool())
      ->PostTask(FROM_HERE, base::BindLambda([&] {
        const base::TimeTicks deadline = base::TimeTicks::Now() + kStubWait;
        while (base::TimeTicks::Now() < deadline &&
               !log.Logged(logging::LOG_INFO, "Waiting for the user profile to be written")) {
          if (!Invocations(kLauncherExeName).empty()) {
            started_before_written = true;
            return;
          }
          ::Sleep(10);
        }
      }));
  RecordingInstallerObserver* upgraded = Run(L"--launchtavro=1 --language=en-US");
  EXPECT_EQ("Success", upgraded->events().back());
  ASSERT_TRUE(WaitForPendingWrites(GetPrefsTaskPool(), local_state, kStubWait));

  EXPECT_FALSE(started_before_written);
  ASSERT_TRUE(test::WaitForStubInvocations(stub_log_folder(), kLauncherExeName, 1, kStubWait));
  const std::vector<std::pair<int, std::string>> lines = log.lines();
  const auto find = [&](const std::string& prefix) {
    return std::find_if(lines.begin(), lines.end(), [&](const auto& line) {
             return line.second.compare(0, prefix.size(), prefix) == 0;
           }) - lines.begin();
  };
  ASSERT_LT(find("Launching tavro"), lines.end() - lines.begin());
  EXPECT_LT(find("Installation succeeded"), find("Launching tavro"));
  std::string locale;
  const std::unique_ptr<base::Value> written = base::JsonFileReader(local_state).Deserialize(
      nullptr, nullptr);
  const base::DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(written && written->GetAsDictionary(&dictionary));
  EXPECT_TRUE(dictionary->GetString("intl.app_locale", &locale));
  EXPECT_EQ("en-US", locale);
}

TEST_F(InstallerInProcessE2eTest, RunsOnlyComponentInstallersSignedByTheProduct) {
  // A component installer without a signature and one signed by someone else, beside the
  // package like the real one.
  const base::FilePath bin(test::GetTestBinFolder());
  ASSERT_TRUE(base::CreateDirectory(temp_root().Append(L"unsigned")));
  ASSERT_TRUE(base::CopySingleFile(package_folder().Append(L"tavro.exe"),
                                   temp_root().Append(L"unsigned\\unsigned_installer.exe")));
  ASSERT_TRUE(base::CreateDirectory(temp_root().Append(L"other")));
  ASSERT_TRUE(base::CopySingleFile(bin.Append(L"signed_by_other.exe"),
                                   temp_root().Append(L"other\\other_installer.exe")));

  RecordingInstallerObserver* observer =
      Run(L"--components=\"unsigned:unsigned|other:other|suite:suite|\"");
  EXPECT_EQ("Success", observer->events().back());
  EXPECT_EQ(1u, Invocations(L"suite_installer.exe").size());
  EXPECT_TRUE(Invocations(L"unsigned_installer.exe").empty());
  const InstallStatus status = ReadStatusFile();
  ASSERT_EQ(1u, status.components.size());
  EXPECT_EQ("suite", status.components[0].name);
}

// A cancellation after the component installer ran undoes the component too: its installed
// copy uninstalls it, and its folder goes with the rest of the installation.
TEST_F(InstallerInProcessE2eTest, CancelledInstallationUninstallsItsComponent) {
  const TreeSnapshot files = TreeSnapshot::Capture(target_root());
  const ExamplePackage package = ExamplePackage::Current();
  // The Step just before the finalising step: 6 besides the copies.
  const int before_finalizing =
      static_cast<int>(package.ReadFilesList().size() + package.ReadRootFilesList().size()) + 6;
  RecordingInstallerObserver cancelled;
  CancelAtStep(&cancelled, before_finalizing);
  ASSERT_TRUE(RunInstaller(L"--components=suite:suite", &cancelled));
  EXPECT_EQ("Done(0)", cancelled.events().back());
  EXPECT_EQ(before_finalizing, cancelled.steps());

  const std::vector<test::StubInvocation> component = Invocations(L"suite_installer.exe");
  ASSERT_EQ(2u, component.size());
  const base::CommandLine undo = component[1].GetCommandLine();
  EXPECT_EQ(install_folder().Append(L"suite\\suite_installer.exe"), undo.GetProgram());
  EXPECT_TRUE(undo.HasSwitch("uninstall"));
  const auto file_differences = CompareSnapshots(files, TreeSnapshot::Capture(target_root()));
  EXPECT_TRUE(file_differences.empty()) << test::FormatDifferences(file_differences);
}

TEST_F(InstallerInProcessE2eTest, UpgradeThatFailsLeavesTheInstallationAsItWas) {
  RecordingInstallerObserver* first = Run(L"--components=suite:suite");
  ASSERT_EQ("Success", first->events().back());
  const RegistrySnapshot installed = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
  const TreeSnapshot files = TreeSnapshot::Capture(target_root());

  // An installed file in use, and a cancellation late in the upgrade.
  {
    base::win::ScopedHandle held(::CreateFileW(
        install_folder().Append(kLauncherExeName).value().c_str(), GENERIC_READ, 0, nullptr,
        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    RecordingInstallerObserver* failed = Run(L"--components=suite:suite");
    EXPECT_EQ((std::vector<std::string>{"Error(37062)", "Done(0)"}),
              std::vector<std::string>(failed->events().end() - 2, failed->events().end()));
  }
  const int before_finalizing = StepBeforeFinalizingAnUpgrade();
  RecordingInstallerObserver cancelled;
  CancelAtStep(&cancelled, before_finalizing);
  ASSERT_TRUE(RunInstaller(L"--components=suite:suite", &cancelled));
  EXPECT_EQ("Done(0)", cancelled.events().back());
  EXPECT_EQ(before_finalizing, cancelled.steps());
  // The component installer ran for the installation and for each upgrade that got there.
  EXPECT_EQ(2u, Invocations(L"suite_installer.exe").size());

  const auto registry_differences = CompareSnapshots(
      installed, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
      RegistrySnapshot::DefaultAllowList());
  EXPECT_TRUE(registry_differences.empty()) << test::FormatDifferences(registry_differences);
  const auto file_differences = CompareSnapshots(files, TreeSnapshot::Capture(target_root()));
  EXPECT_TRUE(file_differences.empty()) << test::FormatDifferences(file_differences);

  // Then an upgrade that succeeds: a new subfolder, the same registration.
  const InstallStatus before = ReadStatusFile();
  RecordingInstallerObserver* upgraded = Run(L"--components=suite:suite");
  ASSERT_EQ("Success", upgraded->events().back());
  const InstallStatus after = ReadStatusFile();
  EXPECT_EQ(before.app_id, after.app_id);
  EXPECT_EQ(base::FilePath(before.subfolder.value() + L"_0"), after.subfolder);
  EXPECT_EQ(before.hklm_keys, after.hklm_keys);
  const auto reregistered = CompareSnapshots(
      installed, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
      RegistrySnapshot::DefaultAllowList());
  EXPECT_TRUE(reregistered.empty()) << test::FormatDifferences(reregistered);
  const TreeSnapshot upgraded_files = TreeSnapshot::Capture(install_folder());
  EXPECT_TRUE(upgraded_files.Find(after.subfolder.value() + L"\\tavro.exe"));
  // The version before stays until the next upgrade; its record waits in "old_status".
  EXPECT_TRUE(upgraded_files.Find(before.subfolder.value() + L"\\tavro.exe"));
  EXPECT_TRUE(upgraded_files.Find(L"old_status"));
}

}  // namespace
}  // namespace installer
