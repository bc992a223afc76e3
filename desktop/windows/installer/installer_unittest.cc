#include "desktop/windows/installer/installer.h"

#include <windows.h>

#include <sddl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/features/feature_registry.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture.h"
#include "base/test/folder_link.h"
#include "base/threading/thread.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/installer_registry_tables.h"
#include "desktop/windows/installer/prefs_task_pool.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/installer_file.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/installer_run.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {

namespace {

using test::RecordingInstallerObserver;

const std::wstring kVersion = base::AsciiToUtf16(ProductInfo::GetVersion());
constexpr base::TimeDelta kWriteWait = base::TimeDelta::FromSeconds(20);

std::unique_ptr<base::DictionaryValue> ReadJsonFile(const base::FilePath& path) {
  std::string text;
  if (!base::ReadFileToString(path, &text))
    return nullptr;
  return base::DictionaryValue::From(base::JsonReader::Read(text));
}

// Makes the installer preferences of the installation in |folder| name |profile| as its
// profile folder, as an older or a tampered file would.
bool RecordProfilePath(const base::FilePath& folder, const base::FilePath& profile) {
  const base::FilePath prefs_file = folder.Append(kInstallerPrefsFileName);
  std::unique_ptr<base::DictionaryValue> prefs = ReadJsonFile(prefs_file);
  std::string text;
  if (!prefs)
    return false;
  prefs->SetString("profile_path", profile.ToUtf8());
  return base::JsonWriter::Write(*prefs, &text) && test::WriteTestFile(prefs_file, text);
}

std::wstring ReadRegistryText(HKEY root,
                              const std::wstring& path,
                              const wchar_t* name,
                              REGSAM view = 0) {
  base::win::RegistryKey key(root, path.c_str(), KEY_READ | view);
  std::wstring value;
  if (key.ReadValue(name, &value) != ERROR_SUCCESS)
    return L"(missing)";
  return value;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0) {
  return base::win::RegistryKey(root, path.c_str(), KEY_READ | view).Valid();
}

base::FilePath ShortcutTarget(const base::FilePath& shortcut) {
  base::FilePath target;
  base::win::ResolveShortcut(shortcut, &target, nullptr);
  return target;
}

// How many values the main table writes under |root| on this system and build.
size_t CountWrittenRows(HKEY root) {
  size_t count = 0;
  for (const RegistryTemplateRow& row : GetMainRegistryTable()) {
    const bool applies =
        (!row.root || row.root == root) &&
        static_cast<int32_t>(base::win::GetWindowsVersion()) >= row.min_windows_version &&
        GetCurrentStream() >= row.min_stream;
    if (applies && row.type != kRegistryRowDeleteKey && row.type != kRegistryRowDeleteValue)
      ++count;
  }
  return count;
}

class InstallerTest : public test::InstallerRunTest {
 protected:
  base::FilePath Subfolder(const std::wstring& name) const {
    return install_folder().Append(name);
  }
  InstallStatus ReadStatusFile() const {
    InstallStatus status;
    EXPECT_TRUE(LoadInstallStatus(install_folder().Append(kInstallStatusFileName), &status));
    return status;
  }
  // Installs with |switches| and expects success.
  InstallStatus Install(const std::wstring& switches = std::wstring()) {
    RecordingInstallerObserver observer;
    EXPECT_TRUE(RunInstaller(switches, &observer));
    EXPECT_EQ("Success", observer.events().empty() ? "" : observer.events().back())
        << observer.error_detail();
    InstallStatus status = ReadStatusFile();
    app_ids_.push_back(status.app_id);
    return status;
  }
  void TearDown() override {
    for (const std::string& app_id : app_ids_)
      DeleteAutoupdateTask(app_id);
    test::InstallerRunTest::TearDown();
  }
  // Every value of |record| is in the registry under |root| as recorded.
  void ExpectRecordInRegistry(HKEY root, const RegistryRecord& record) {
    for (const RegistryKeyRecord& key : record) {
      const REGSAM view =
          key.key_path.starts_with(GetUninstallRegistryKey()) ? KEY_WOW64_32KEY : 0;
      for (const RegistryValueRecord& value : key.values) {
        base::win::RegistryKey opened(root, key.key_path.c_str(), KEY_READ | view);
        DWORD type = REG_NONE;
        std::vector<uint8_t> data;
        ASSERT_EQ(ERROR_SUCCESS, opened.ReadRawValue(value.name.c_str(), &type, &data))
            << key.key_path << " " << value.name;
        if (value.type_name == L"REG_SZ") {
          EXPECT_EQ(value.data, ReadRegistryText(root, key.key_path, value.name.c_str(), view));
        } else if (value.type_name == L"REG_DWORD") {
          DWORD number = 0;
          ASSERT_EQ(ERROR_SUCCESS, opened.ReadValueDword(value.name.c_str(), &number));
          EXPECT_EQ(value.data, base::UintToWideString(number));
        } else {
          EXPECT_EQ(L"REG_NONE", value.type_name);
          EXPECT_EQ(static_cast<DWORD>(REG_NONE), type);
        }
      }
    }
  }

  std::vector<std::string> app_ids_;
};

TEST_F(InstallerTest, InstallsEveryPartOfThePackage) {
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"", &observer));
  // 3 files, 2 root files and 8 steps.
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "TotalSteps(12)", "Step x12",
                                      "Success"}),
            observer.Summary());
  const InstallStatus status = ReadStatusFile();
  app_ids_.push_back(status.app_id);

  // What was installed, as recorded; the run is an administrator's: for all users.
  const base::FilePath launcher = install_folder().Append(kLauncherExeName);
  EXPECT_TRUE(base::PathExists(launcher));
  EXPECT_TRUE(base::PathExists(Subfolder(kVersion).Append(L"resources\\about.txt")));
  EXPECT_EQ((std::vector<std::string>{"tavro.exe", "installer.exe", "resources\\about.txt"}),
            status.files);
  EXPECT_EQ((std::vector<std::string>{"launcher.VisualElements.xml", "root.txt"}),
            status.root_files);
  EXPECT_EQ(base::FilePath(kVersion), status.subfolder);
  EXPECT_TRUE(status.all_users);
  EXPECT_FALSE(status.copy_only);

  // The shortcuts, copies of one master shortcut to the launcher.
  const std::wstring shortcut_name = Installer::GetMasterShortcutName(false);
  EXPECT_EQ(L"Tavro Stable.lnk", shortcut_name);
  EXPECT_EQ(common_desktop().Append(shortcut_name), status.desktop_shortcut);
  EXPECT_EQ(common_start_menu().Append(shortcut_name), status.start_menu_shortcut);
  EXPECT_EQ(target_root().Append(L"QuickLaunch").Append(shortcut_name),
            status.quick_launch_shortcut);
  for (const base::FilePath* shortcut :
       {&status.desktop_shortcut, &status.start_menu_shortcut, &status.quick_launch_shortcut}) {
    EXPECT_EQ(launcher, ShortcutTarget(*shortcut)) << *shortcut;
  }
  // No pin helper in this package: nothing pinned.
  EXPECT_FALSE(status.pinned);

  // The installer preferences.
  const std::unique_ptr<base::DictionaryValue> prefs =
      ReadJsonFile(install_folder().Append(kInstallerPrefsFileName));
  ASSERT_TRUE(prefs);
  std::string text;
  EXPECT_TRUE(prefs->GetString("welcome-url", &text));
  EXPECT_EQ("https://welcome.tavro.example/?partner=t", text);
  bool value = true;
  EXPECT_TRUE(prefs->GetBoolean("single_profile", &value) && !value);
  EXPECT_TRUE(prefs->GetBoolean("autoupdate", &value) && !value);
  EXPECT_TRUE(prefs->GetBoolean("import_browser_data", &value) && value);
  EXPECT_TRUE(prefs->GetBoolean("enable_stats", &value) && value);
  EXPECT_FALSE(prefs->HasKey("profile_path"));
  const base::ListValue* list = nullptr;
  ASSERT_TRUE(prefs->GetList("installer-experiments", &list));
  EXPECT_EQ(0u, list->GetSize());
  ASSERT_TRUE(prefs->GetList("all-installer-experiments", &list));
  ASSERT_EQ(4u, list->GetSize());
  EXPECT_TRUE(list->GetString(0, &text));
  EXPECT_EQ("installer-experiment-test@2", text);
  EXPECT_TRUE(list->GetString(3, &text));
  EXPECT_EQ("installer-support-x64-download@1", text);

  // The registry: every row of the table that applies, recorded in the status.
  EXPECT_TRUE(status.hkcu_keys.empty());
  size_t recorded_values = 0;
  for (const RegistryKeyRecord& key : status.hklm_keys)
    recorded_values += key.values.size();
  EXPECT_EQ(CountWrittenRows(HKEY_LOCAL_MACHINE), recorded_values);
  ExpectRecordInRegistry(HKEY_LOCAL_MACHINE, status.hklm_keys);
  const std::wstring uninstall_key = Installer::MakeUninstallKey(std::wstring());
  EXPECT_EQ(L"Tavro Stable " + kVersion,
            ReadRegistryText(HKEY_LOCAL_MACHINE, uninstall_key, L"DisplayName", KEY_WOW64_32KEY));
  EXPECT_EQ(L"\"" + install_folder().value() + L"\\Launcher.exe\" /uninstall",
            ReadRegistryText(HKEY_LOCAL_MACHINE, uninstall_key, L"UninstallString",
                             KEY_WOW64_32KEY));
  EXPECT_EQ(L"https://help.tavro.example/",
            ReadRegistryText(HKEY_LOCAL_MACHINE, uninstall_key, L"HelpLink", KEY_WOW64_32KEY));
  EXPECT_EQ(L"Tavro Software",
            ReadRegistryText(HKEY_LOCAL_MACHINE, uninstall_key, L"Publisher", KEY_WOW64_32KEY));
  EXPECT_EQ(L"\"" + install_folder().value() + L"\\Launcher.exe\" -noautoupdate -- \"%1\"",
            ReadRegistryText(HKEY_LOCAL_MACHINE,
                             L"Software\\Classes\\TavroStable\\shell\\open\\command", nullptr));
  EXPECT_EQ(install_folder().value() + L"\\",
            ReadRegistryText(HKEY_CURRENT_USER, L"Software\\Tavro Software",
                             L"Last Stable Install Path"));
  // Hidden from the list of programs only when asked.
  EXPECT_FALSE(base::win::RegistryKey(HKEY_LOCAL_MACHINE, uninstall_key.c_str(),
                                      KEY_READ | KEY_WOW64_32KEY)
                   .HasValue(L"SystemComponent"));

  // The scheduled autoupdate, as far as the system's scheduler keeps it.
  ScheduledTaskInfo task;
  ASSERT_TRUE(ReadAutoupdateTask(status.app_id, &task));
  EXPECT_EQ(L"Keeps Tavro up to date.", task.description);
  EXPECT_EQ(3600u, task.time_limit_seconds);
  EXPECT_TRUE(task.run_only_with_network);
}

TEST_F(InstallerTest, InstallsForTheCurrentUserHiddenFromTheListOfPrograms) {
  // Sets the state of one feature, as the command line's switches do.
  struct FeatureState : base::FeatureReader {
    FeatureState(const char* feature, bool on) : name(feature), enabled(on) {}
    void ReadOverrides(std::vector<base::FeatureOverride>* overrides) const override {
      overrides->push_back({name, enabled});
    }
    std::string name;
    bool enabled;
  };
  base::FeatureRegistry& features = base::FeatureRegistry::GetInstance();
  features.ApplyReader(FeatureState(kInstallerHideFromProgramAndFeaturesFeature, true));
  const InstallStatus status = Install(L"--allusers=0");
  features.ApplyReader(FeatureState(kInstallerHideFromProgramAndFeaturesFeature, false));

  EXPECT_FALSE(status.all_users);
  EXPECT_TRUE(status.hklm_keys.empty());
  ExpectRecordInRegistry(HKEY_CURRENT_USER, status.hkcu_keys);
  size_t recorded_values = 0;
  for (const RegistryKeyRecord& key : status.hkcu_keys)
    recorded_values += key.values.size();
  EXPECT_EQ(CountWrittenRows(HKEY_CURRENT_USER) + 1, recorded_values);
  const std::wstring uninstall_key = Installer::MakeUninstallKey(std::wstring());
  DWORD system_component = 0;
  EXPECT_EQ(ERROR_SUCCESS, base::win::RegistryKey(HKEY_CURRENT_USER, uninstall_key.c_str(),
                                                  KEY_READ | KEY_WOW64_32KEY)
                               .ReadValueDword(L"SystemComponent", &system_component));
  EXPECT_EQ(1u, system_component);
  // The user's class gets an empty DDE conversation; the machine's is left alone.
  EXPECT_EQ(L"", ReadRegistryText(HKEY_CURRENT_USER,
                                  L"Software\\Classes\\TavroStable\\shell\\open\\ddeexec\\Topic",
                                  nullptr));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TavroStable"));
  EXPECT_EQ(user_desktop().Append(Installer::GetMasterShortcutName(false)),
            status.desktop_shortcut);
  EXPECT_EQ(user_start_menu().Append(Installer::GetMasterShortcutName(false)),
            status.start_menu_shortcut);

  const std::unique_ptr<base::DictionaryValue> prefs =
      ReadJsonFile(install_folder().Append(kInstallerPrefsFileName));
  ASSERT_TRUE(prefs);
  const base::ListValue* changed = nullptr;
  ASSERT_TRUE(prefs->GetList("installer-experiments", &changed));
  std::string entry;
  ASSERT_EQ(1u, changed->GetSize());
  EXPECT_TRUE(changed->GetString(0, &entry));
  EXPECT_EQ("installer-hide-from-program-and-features@1", entry);
}

TEST_F(InstallerTest, EveryChangeIsAnOperation) {
  KeepUndoOfSuccessfulRuns();
  const Snapshot before = TakeSnapshot();
  RecordingInstallerObserver observer;
  std::unique_ptr<Installer> installer;
  ASSERT_TRUE(RunInstaller(L"", &observer, &installer));
  ASSERT_TRUE(installer->succeeded());
  app_ids_.push_back(ReadStatusFile().app_id);
  InstallerTestPeer::RollBack(installer.get());
  // The record of the run's copy of the package goes with the copy, when the run ends.
  installer.reset();
  // The status file too, and the undo journal goes with the rest.
  EXPECT_EQ(kNoChanges, ChangesSince(before));
}

// Another installer, into another folder, chooses its uninstall key while this run writes
// its registrations: the key this run chose is its own from the moment it was chosen.
TEST_F(InstallerTest, AnUninstallKeyIsTheRunsFromTheMomentItIsChosen) {
  const base::FilePath other_folder = target_root().Append(L"Other");
  std::wstring other_key;
  base::Thread other_installer("Other installer");
  ASSERT_TRUE(other_installer.Start());
  other_installer.GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&] {
    // It starts once this run has chosen its key and written its first registration.
    base::win::RegistryKey machine;
    const base::win::ScopedHandle changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (machine.Open(HKEY_LOCAL_MACHINE, L"", KEY_NOTIFY) != ERROR_SUCCESS)
      return;
    const base::TimeTicks deadline = base::TimeTicks::Now() + kWriteWait;
    while (!KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TavroStable") &&
           base::TimeTicks::Now() < deadline) {
      ::RegNotifyChangeKeyValue(machine.Handle(), TRUE, REG_NOTIFY_CHANGE_NAME, changed.Get(),
                                TRUE);
      ::WaitForSingleObject(changed.Get(), 100);
    }
    // The first free key, taken as an installer takes it.
    for (int suffix = 0; suffix < 10 && other_key.empty(); ++suffix) {
      const std::wstring name = Installer::MakeUninstallKey(
          suffix == 0 ? std::wstring() : base::IntToWideString(suffix));
      base::win::RegistryKey key;
      DWORD disposition = 0;
      if (key.Create(HKEY_LOCAL_MACHINE, name.c_str(), KEY_SET_VALUE | KEY_WOW64_32KEY,
                     &disposition) == ERROR_SUCCESS &&
          disposition == REG_CREATED_NEW_KEY) {
        key.WriteValue(L"InstallLocation", other_folder.value());
        other_key = name;
      }
    }
  }));
  Install();
  other_installer.Stop();

  const std::wstring own_key = Installer::MakeUninstallKey(std::wstring());
  EXPECT_EQ(install_folder().value(),
            ReadRegistryText(HKEY_LOCAL_MACHINE, own_key, L"InstallLocation", KEY_WOW64_32KEY));
  ASSERT_EQ(Installer::MakeUninstallKey(L"1"), other_key);
  EXPECT_EQ(other_folder.value(),
            ReadRegistryText(HKEY_LOCAL_MACHINE, other_key, L"InstallLocation", KEY_WOW64_32KEY));
  EXPECT_EQ(L"(missing)",
            ReadRegistryText(HKEY_LOCAL_MACHINE, other_key, L"DisplayName", KEY_WOW64_32KEY));
}

TEST_F(InstallerTest, CountsEveryStepItAnnounces) {
  // A root files list that is missing, and a files list with an empty line: the root copy
  // step still passes on once.
  ASSERT_TRUE(base::DeletePath(package_folder().Append(L"root_files_list"), false));
  ASSERT_TRUE(test::WriteTestFile(package_folder().Append(L"files_list"),
                                  "tavro.exe\r\n\r\ninstaller.exe\r\n"));
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"", &observer));
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "TotalSteps(10)", "Step x10",
                                      "Success"}),
            observer.Summary());
  const InstallStatus status = ReadStatusFile();
  app_ids_.push_back(status.app_id);
  EXPECT_EQ((std::vector<std::string>{"tavro.exe", "installer.exe"}), status.files);
  EXPECT_TRUE(status.root_files.empty());
}

TEST_F(InstallerTest, StandaloneCopyTouchesNeitherRegistryNorShortcuts) {
  const Snapshot before = TakeSnapshot();
  const InstallStatus status = Install(L"--copyonly=1");
  EXPECT_TRUE(status.copy_only);
  EXPECT_FALSE(status.all_users);
  EXPECT_TRUE(status.hklm_keys.empty() && status.hkcu_keys.empty());
  EXPECT_TRUE(status.desktop_shortcut.empty() && status.start_menu_shortcut.empty());
  EXPECT_TRUE(CompareSnapshots(before.registry, TakeSnapshot().registry).empty());
  EXPECT_FALSE(base::PathExists(common_desktop().Append(Installer::GetMasterShortcutName(false))));
  ScheduledTaskInfo task;
  EXPECT_FALSE(ReadAutoupdateTask(status.app_id, &task));
  EXPECT_TRUE(base::PathExists(Subfolder(kVersion).Append(L"tavro.exe")));
}

TEST_F(InstallerTest, UpgradesIntoANewSubfolderAndCleansTheOneBefore) {
  const InstallStatus first = Install();
  const std::wstring uninstall_key = Installer::MakeUninstallKey(std::wstring());

  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"", &observer));
  // 3 files, 2 root files and 12 steps.
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "TotalSteps(16)", "Step x16",
                                      "Success"}),
            observer.Summary());
  const InstallStatus second = ReadStatusFile();
  EXPECT_EQ(first.app_id, second.app_id);
  EXPECT_EQ(base::FilePath(kVersion + L"_0"), second.subfolder);
  EXPECT_TRUE(base::PathExists(Subfolder(kVersion + L"_0").Append(L"tavro.exe")));
  // The version before may still run: it goes with the next upgrade.
  EXPECT_TRUE(base::PathExists(Subfolder(kVersion).Append(L"tavro.exe")));
  std::vector<base::FilePath> kept;
  base::FileEnumerator old_status(install_folder().Append(L"old_status"), false,
                                  base::FileEnumerator::FILES);
  for (base::FilePath file = old_status.Next(); !file.empty(); file = old_status.Next())
    kept.push_back(file);
  ASSERT_EQ(1u, kept.size());
  EXPECT_TRUE(kept[0].BaseName().value().starts_with(L"installation_status.xml."));
  InstallStatus kept_status;
  ASSERT_TRUE(LoadInstallStatus(kept[0], &kept_status));
  EXPECT_EQ(first, kept_status);
  // The registration was removed and written again, under the same uninstall key.
  EXPECT_EQ(first.hklm_keys, second.hklm_keys);
  ExpectRecordInRegistry(HKEY_LOCAL_MACHINE, second.hklm_keys);
  EXPECT_EQ(install_folder().value(), ReadRegistryText(HKEY_LOCAL_MACHINE, uninstall_key,
                                                       L"InstallLocation", KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, Installer::MakeUninstallKey(L"1"), KEY_WOW64_32KEY));
  // The shortcuts are kept or made again, under the same names.
  EXPECT_EQ(first.desktop_shortcut, second.desktop_shortcut);
  EXPECT_EQ(first.start_menu_shortcut, second.start_menu_shortcut);
  EXPECT_EQ(install_folder().Append(kLauncherExeName), ShortcutTarget(second.start_menu_shortcut));

  const InstallStatus third = Install();
  EXPECT_EQ(base::FilePath(kVersion + L"_1"), third.subfolder);
  EXPECT_FALSE(base::PathExists(Subfolder(kVersion)));
  EXPECT_TRUE(base::PathExists(Subfolder(kVersion + L"_0").Append(L"tavro.exe")));
  size_t kept_count = 0;
  base::FileEnumerator old_status_after(install_folder().Append(L"old_status"), false,
                                        base::FileEnumerator::FILES);
  for (base::FilePath file = old_status_after.Next(); !file.empty();
       file = old_status_after.Next()) {
    InstallStatus record;
    ASSERT_TRUE(LoadInstallStatus(file, &record));
    EXPECT_EQ(second.subfolder, record.subfolder);
    ++kept_count;
  }
  EXPECT_EQ(1u, kept_count);
}

TEST_F(InstallerTest, FailedUpgradeLeavesThePreviousInstallationAsItWas) {
  // Two installations before: the second upgrade removes the first's folder.
  Install();
  Install();
  const Snapshot before = TakeSnapshot();
  // 3 files, 2 root files and 12 steps: removing the oldest files, copying, the registry,
  // the shortcuts, the preferences, keeping the status: all before the 15th Step.
  for (int cancel_after_step : {2, 10, 15}) {
    RecordingInstallerObserver observer;
    CancelAtStep(&observer, cancel_after_step);
    ASSERT_TRUE(RunInstaller(L"", &observer));
    EXPECT_EQ("Done(0)", observer.events().back()) << cancel_after_step;
    EXPECT_EQ(cancel_after_step, observer.steps());
    EXPECT_EQ(kNoChanges, ChangesSince(before)) << cancel_after_step;
  }
}

// The front end ends while a step keeps the installer's thread busy: the run is cancelled at
// the next step boundary, and undone.
TEST_F(InstallerTest, ARunIsCancelledAtTheStepAfterItsFrontEndEnded) {
  const Snapshot before = TakeSnapshot();
  // An event stands for the front-end process.
  const base::win::ScopedHandle front_end(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(front_end.IsValid());
  CancelRunsWhenEnded(front_end.Get());
  RecordingInstallerObserver observer;
  observer.on_step = [&front_end](int step) {
    if (step == 3)
      ::SetEvent(front_end.Get());
  };
  ASSERT_TRUE(RunInstaller(L"", &observer));
  EXPECT_EQ("Done(0)", observer.events().back());
  EXPECT_EQ(3, observer.steps());
  EXPECT_EQ(kNoChanges, ChangesSince(before));
}

// Under a temporary grant on the install folder, an upgrade deletes what it kept aside for
// an undo while it still holds the grant.
TEST_F(InstallerTest, SuccessDeletesWhatItKeptAsideBeforeTheGrantEnds) {
  Install();
  Install();
  auto restored = std::make_shared<std::vector<std::wstring>>();
  auto rights = std::make_unique<InstallerUserRights>();
  rights->has_folder_access = [](const base::FilePath&, ACCESS_MASK) { return false; };
  rights->grant_folder_access = [](const base::FilePath& folder, ACCESS_MASK,
                                   std::unique_ptr<SavedSecurity>* saved) {
    *saved = std::make_unique<SavedSecurity>(folder.value(), SE_FILE_OBJECT,
                                             base::win::ScopedLocalAlloc(), nullptr, false);
    return true;
  };
  // What is kept aside in the folder when the grant ends.
  rights->restore_folder_access = [restored, folder = install_folder()](const SavedSecurity&) {
    base::FileEnumerator entries(folder, true,
                                 base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
    for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
      if (FileBackup::IsBackupName(entry.BaseName().value()))
        restored->push_back(entry.value());
    }
    restored->push_back(L"(restored)");
    return true;
  };
  SetUserRights(std::move(rights));

  // The third installation removes the first's files: a run with many things kept aside.
  Install();
  EXPECT_EQ(std::vector<std::wstring>{L"(restored)"}, *restored);
}

// The copies an administrator's run left in the system's temporary folder.
std::vector<base::FilePath> FindStagingFolders() {
  std::vector<base::FilePath> found;
  base::FileEnumerator entries(SystemTempFolder(), false, base::FileEnumerator::DIRECTORIES,
                               L"tavro_staging_*");
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next())
    found.push_back(entry);
  return found;
}

// The package folder is the user's: another process of the user rewrites the package once
// the run has counted its steps, before the first file is copied. An administrator's run
// installs the package as it was when the run copied it, and leaves no copy behind.
TEST_F(InstallerTest, InstallsThePackageAsCopiedWhateverChangesInItLater) {
  const std::vector<base::FilePath> staging_before = FindStagingFolders();
  RecordingInstallerObserver observer;
  observer.on_event = [&](const std::string& event) {
    if (!event.starts_with("TotalSteps"))
      return;
    for (const wchar_t* name : {L"tavro.exe", L"root.txt", L"installer_prefs_include.json"})
      EXPECT_TRUE(test::WriteTestFile(package_folder().Append(name), "{\"swapped\": 1}"));
  };
  ASSERT_TRUE(RunInstaller(L"", &observer));
  ASSERT_EQ("Success", observer.events().back()) << observer.error_detail();
  app_ids_.push_back(ReadStatusFile().app_id);

  std::string text;
  EXPECT_TRUE(base::ReadFileToString(Subfolder(kVersion).Append(L"tavro.exe"), &text));
  EXPECT_EQ("the browser", text);
  EXPECT_TRUE(base::ReadFileToString(install_folder().Append(L"root.txt"), &text));
  EXPECT_EQ("root", text);
  const std::unique_ptr<base::DictionaryValue> prefs =
      ReadJsonFile(install_folder().Append(kInstallerPrefsFileName));
  ASSERT_TRUE(prefs && prefs->GetString("welcome-url", &text));
  EXPECT_EQ("https://welcome.tavro.example/?partner=t", text);
  EXPECT_EQ(staging_before, FindStagingFolders());
}

// The welcome page comes from the package folder, which the user can change: only a web
// address is written for the browser to open.
TEST_F(InstallerTest, WritesOnlyAWebAddressAsTheWelcomePage) {
  for (const char* address : {"file:///C:/Windows/System32/calc.exe", "javascript:alert(1)",
                              "https://x.example/<script>", "https://welcome.example/"}) {
    SCOPED_TRACE(address);
    ASSERT_TRUE(test::WriteTestFile(package_folder().Append(L"installer_prefs_include.json"),
                                    std::string("{\"welcome-url\": \"") + address + "\"}"));
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"", &observer));
    ASSERT_EQ("Success", observer.events().back()) << observer.error_detail();
    app_ids_.push_back(ReadStatusFile().app_id);
    const std::unique_ptr<base::DictionaryValue> prefs =
        ReadJsonFile(install_folder().Append(kInstallerPrefsFileName));
    ASSERT_TRUE(prefs);
    std::string text;
    EXPECT_EQ(std::string(address) == "https://welcome.example/",
              prefs->GetString("welcome-url", &text));
  }
}

// Once the front end has unpacked the package, another process of the user rewrites a data
// file and the files list in the package folder before the administrator's run stages it,
// and the list names more (as the front end adds the files it fetched for the package).
// What the package file holds is installed as its archive has it; a file only the folder's
// list adds comes from the folder as data; a name leading out of the folder is dropped.
TEST_F(InstallerTest, InstallsWhatThePackageFileHoldsWhateverItsFolderSays) {
  base::test::ScopedLogCapture log;
  RecordingInstallerObserver observer;
  observer.on_event = [&](const std::string& event) {
    if (event != "InstallFolderReady")
      return;
    EXPECT_TRUE(test::WriteTestFile(package_folder().Append(L"resources\\about.txt"), "swapped"));
    EXPECT_TRUE(test::WriteTestFile(package_folder().Append(L"partner.txt"), "partner"));
    EXPECT_TRUE(test::WriteTestFile(temp_root().Append(L"outside.txt"), "outside"));
    // Code the browser would load from its folder.
    EXPECT_TRUE(test::WriteTestFile(package_folder().Append(L"version.dll"), "MZ"));
    EXPECT_TRUE(test::WriteTestFile(package_folder().Append(L"files_list"),
                                    "resources\\about.txt\r\npartner.txt\r\n..\\outside.txt\r\n"
                                    "version.dll\r\n"));
  };
  ASSERT_TRUE(RunInstaller(L"", &observer));
  ASSERT_EQ("Success", observer.events().back()) << observer.error_detail();
  app_ids_.push_back(ReadStatusFile().app_id);

  std::string text;
  EXPECT_TRUE(base::ReadFileToString(Subfolder(kVersion).Append(L"resources\\about.txt"), &text));
  EXPECT_EQ("about", text);
  EXPECT_TRUE(base::ReadFileToString(Subfolder(kVersion).Append(L"tavro.exe"), &text));
  EXPECT_EQ("the browser", text);
  EXPECT_TRUE(base::PathExists(Subfolder(kVersion).Append(L"installer.exe")));
  EXPECT_TRUE(base::ReadFileToString(Subfolder(kVersion).Append(L"partner.txt"), &text));
  EXPECT_EQ("partner", text);
  EXPECT_FALSE(base::PathExists(Subfolder(kVersion).Append(L"outside.txt")));
  EXPECT_FALSE(base::PathExists(install_folder().Append(L"outside.txt")));
  EXPECT_TRUE(log.Logged(logging::LOG_INFO, "Installing partner.txt, which only the package "
                                            "folder lists"));
  EXPECT_FALSE(base::PathExists(Subfolder(kVersion).Append(L"version.dll")));
}

// What an administrator's run takes from the package folder as data is never another name
// of a file elsewhere, which that run could read and its user could not.
TEST_F(InstallerTest, TakesNoOtherNameOfAFileFromThePackageFolder) {
  RecordingInstallerObserver observer;
  observer.on_event = [&](const std::string& event) {
    if (event != "InstallFolderReady")
      return;
    const base::FilePath overrides = package_folder().Append(L"pref_default_overrides");
    EXPECT_TRUE(test::WriteTestFile(temp_root().Append(L"secret.json"), "{\"secret\": 1}"));
    base::DeletePath(overrides, false);
    EXPECT_TRUE(::CreateHardLinkW(overrides.value().c_str(),
                                  temp_root().Append(L"secret.json").value().c_str(), nullptr));
  };
  ASSERT_TRUE(RunInstaller(L"", &observer));
  EXPECT_NE("Success", observer.events().back());
  EXPECT_FALSE(base::PathExists(install_folder().Append(L"pref_default_overrides")));
}

// An administrator's run whose package file is gone, is no installer with a package, or
// carries an archive that does not unpack, installs nothing.
TEST_F(InstallerTest, InstallsNothingFromAPackageFileItCannotUnpack) {
  const Snapshot before = TakeSnapshot();
  const std::vector<base::FilePath> staging_before = FindStagingFolders();
  const base::FilePath host = base::FilePath(test::GetTestBinFolder()).Append(L"installer.exe");
  const struct {
    std::function<bool()> spoil;
    std::string error;
  } cases[] = {
      {[&] { return base::DeletePath(package_file(), false); }, "Could not find the package"},
      {[&] { return test::WriteTestFile(package_file(), "MZ"); },
       "Could not find the package in " + package_file().ToUtf8()},
      {[&] {
         return base::CopySingleFile(host, package_file()) &&
                test::AppendPayload(package_file(), std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8) +
                                                        std::string(32, 'x'));
       },
       "Could not unpack the package"},
  };
  for (const auto& spoiled : cases) {
    RecordingInstallerObserver observer;
    observer.on_event = [&](const std::string& event) {
      if (event == "InstallFolderReady") {
        EXPECT_TRUE(spoiled.spoil());
      }
    };
    ASSERT_TRUE(RunInstaller(L"", &observer));
    EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "Error(37055)", "Done(0)"}),
              observer.events());
    EXPECT_EQ(spoiled.error, observer.error_detail());
    EXPECT_EQ(kNoChanges, ChangesSince(before)) << spoiled.error;
  }
  EXPECT_EQ(staging_before, FindStagingFolders());
}

// The tracking data is the package's file: one that the switch names elsewhere is never
// copied into the installation.
TEST_F(InstallerTest, InstallsTrackingDataOnlyFromThePackage) {
  const base::FilePath installed = install_folder().Append(L"server_tracking_data");
  const base::FilePath elsewhere = temp_root().Append(L"secret.txt");
  ASSERT_TRUE(test::WriteTestFile(elsewhere, "secret"));
  ASSERT_TRUE(test::WriteTestFile(package_folder().Append(L"server_tracking_data"), "utm=abc"));
  for (const base::FilePath& named : {elsewhere, base::FilePath(L"..\\secret.txt")}) {
    Install(L"--server-tracking-data=\"" + named.value() + L"\"");
    EXPECT_FALSE(base::PathExists(installed)) << named;
  }
  Install(L"--server-tracking-data=server_tracking_data");
  std::string text;
  EXPECT_TRUE(base::ReadFileToString(installed, &text));
  EXPECT_EQ("utm=abc", text);
}

TEST_F(InstallerTest, NoStepRunsOnceTheInstallerIsGone) {
  const Snapshot before = TakeSnapshot();
  const std::unique_ptr<Settings> settings = MakeSettings(L"");
  auto installer = std::make_unique<Installer>();
  RecordingInstallerObserver observer;
  installer->AddObserver(&observer);
  // Posted behind the launcher step, which posts the next step before the Installer goes.
  observer.on_step = [&](int count) {
    if (count == 6) {
      base::MessageLoop::Current()->task_runner()->PostTask(
          FROM_HERE, base::BindLambda([&installer] { installer.reset(); }));
    }
  };
  installer->Start(settings.get());
  ASSERT_TRUE(RunUntil([&] { return observer.ended(); }));
  RunPendingTasks();
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "TotalSteps(12)", "Step x7",
                                      "Done(0)"}),
            observer.Summary());
  EXPECT_EQ(kNoChanges, ChangesSince(before));
}

TEST_F(InstallerTest, SucceedsOnceWhenAnotherProcessEndsTheRun) {
  const std::unique_ptr<Settings> settings =
      MakeSettings(L"--wait-for-package=\"" + package_folder().value() + L"\"");
  Installer installer;
  RecordingInstallerObserver observer;
  installer.AddObserver(&observer);
  installer.Start(settings.get());
  // An elevated run that waits for the package leaves the end to the package's installer.
  EXPECT_FALSE(InstallerTestPeer::HandleElevatedResult(&installer, 0));
  EXPECT_TRUE(observer.events().empty());
  InstallerTestPeer::StepInstallationSucceeded(&installer);
  InstallerTestPeer::StepInstallationSucceeded(&installer);
  // The run posted by Start finds the run ended.
  RunPendingTasks();
  EXPECT_EQ(std::vector<std::string>{"Success"}, observer.events());
  EXPECT_TRUE(installer.succeeded());
  EXPECT_FALSE(installer.running());
  installer.RemoveObserver(&observer);
}

TEST_F(InstallerTest, UpgradeKeepsEveryPreferenceItWrites) {
  Install();
  const base::FilePath prefs_file = install_folder().Append(kInstallerPrefsFileName);
  std::unique_ptr<base::DictionaryValue> prefs = ReadJsonFile(prefs_file);
  ASSERT_TRUE(prefs);
  // The browser counted failures of its autoupdate task, and keeps a value of its own.
  prefs->SetInteger("au_task_error_count", 3);
  prefs->SetString("browser_value", "kept");
  std::string text;
  ASSERT_TRUE(base::JsonWriter::Write(*prefs, &text));
  ASSERT_TRUE(test::WriteTestFile(prefs_file, text));

  // The preference file's writes are held up for a while just before the preference step
  // (the 12th Step of an upgrade announces it): the steps after it must still read what it
  // wrote.
  RecordingInstallerObserver observer;
  observer.on_step = [&](int count) {
    if (count != 12)
      return;
    JsonPrefStore::GetTaskRunnerForFile(prefs_file, GetPrefsTaskPool()->owner()->pool())
        ->PostTask(FROM_HERE, base::BindLambda([] { ::Sleep(1000); }));
  };
  const base::FilePath temp_folder = target_root().Append(L"Temp");
  ASSERT_TRUE(
      RunInstaller(L"--temp-folder=\"" + temp_folder.value() + L"\"", &observer));
  ASSERT_EQ("Success", observer.events().back());
  ASSERT_TRUE(WaitForPendingWrites(GetPrefsTaskPool(), prefs_file, kWriteWait));
  prefs = ReadJsonFile(prefs_file);
  ASSERT_TRUE(prefs);
  int count = 0;
  EXPECT_TRUE(prefs->GetInteger("au_task_error_count", &count));
  EXPECT_EQ(2, count);
  EXPECT_TRUE(prefs->GetString("browser_value", &text));
  EXPECT_EQ("kept", text);
  // Written by the preference step, before the count was changed.
  EXPECT_TRUE(prefs->GetString("temp_folder", &text));
  EXPECT_EQ(temp_folder.ToUtf8(), text);

  prefs->SetInteger("au_task_error_count", 0);
  ASSERT_TRUE(base::JsonWriter::Write(*prefs, &text));
  ASSERT_TRUE(test::WriteTestFile(prefs_file, text));
  Install();
  ASSERT_TRUE(WaitForPendingWrites(GetPrefsTaskPool(), prefs_file, kWriteWait));
  prefs = ReadJsonFile(prefs_file);
  ASSERT_TRUE(prefs && prefs->GetInteger("au_task_error_count", &count));
  EXPECT_EQ(0, count);
}

TEST_F(InstallerTest, RegistersAProtocolWhereTheInstallationHasItsCapabilities) {
  Install();
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--register-tavro-as-protocol-handler=tavro-test", &observer));
  EXPECT_EQ((std::vector<std::string>{"Step x3", "Success"}), observer.Summary());
  // The installation recorded the key as the table writes it, "UrlAssociations".
  EXPECT_EQ(L"TavroStable",
            ReadRegistryText(HKEY_LOCAL_MACHINE,
                             L"Software\\Clients\\StartMenuInternet\\TavroStable\\Capabilities\\"
                             L"URLAssociations",
                             L"tavro-test"));
}

// The record comes from a file in the install folder: an uninstallation removes what the
// registry tables write, as deep as they own it, and nothing else; an installation for one
// user removes no machine key whatever its record lists.
TEST_F(InstallerTest, UninstallRemovesOnlyWhatTheTablesWriteAsDeepAsTheyOwnIt) {
  const std::wstring client = L"Software\\Clients\\StartMenuInternet\\TavroStable";
  const std::wstring persisted =
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
      L"Assistant\\Persisted";
  const std::wstring launcher = install_folder().Append(L"Launcher.exe").value();
  const std::wstring own_entry = Installer::MakeUninstallKey(L"7");
  const std::wstring other_entry = Installer::MakeUninstallKey(L"8");
  ASSERT_TRUE(test::WriteRegistryDefaultValue(HKEY_LOCAL_MACHINE,
                                              L"Software\\Microsoft\\Windows\\Shell\\Foo", L"x"));
  ASSERT_TRUE(
      test::WriteRegistryDefaultValue(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Foo\\Bar", L"x"));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_LOCAL_MACHINE, L"Software\\Classes\\TavroStable\\DefaultIcon", L"x"));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(HKEY_LOCAL_MACHINE, client, L"Tavro Stable"));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_LOCAL_MACHINE, client + L"\\shell\\open\\command", L"\"" + launcher + L"\""));
  {
    base::win::RegistryKey kept;
    ASSERT_EQ(ERROR_SUCCESS, kept.Create(HKEY_LOCAL_MACHINE, L"Software\\Kept", KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, kept.WriteValue(L"gone", L"x"));
    base::win::RegistryKey compatibility;
    ASSERT_EQ(ERROR_SUCCESS,
              compatibility.Create(HKEY_LOCAL_MACHINE, persisted.c_str(), KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, compatibility.WriteValue(launcher.c_str(), static_cast<DWORD>(32)));
    ASSERT_EQ(ERROR_SUCCESS, compatibility.WriteValue(L"C:\\Other.exe", static_cast<DWORD>(32)));
    for (const auto& [entry, location] :
         {std::make_pair(own_entry, install_folder().value()),
          std::make_pair(other_entry, std::wstring(L"C:\\Other"))}) {
      base::win::RegistryKey uninstall;
      ASSERT_EQ(ERROR_SUCCESS, uninstall.Create(HKEY_LOCAL_MACHINE, entry.c_str(),
                                                KEY_ALL_ACCESS | KEY_WOW64_32KEY));
      ASSERT_EQ(ERROR_SUCCESS, uninstall.WriteValue(L"InstallLocation", location.c_str()));
    }
  }
  InstallStatus previous;
  previous.all_users = true;
  previous.app_id = "42";
  previous.subfolder = base::FilePath(L"1.0");
  std::wstring lower_client = client;
  ::CharLowerBuffW(&lower_client[0], static_cast<DWORD>(lower_client.size()));
  previous.hklm_keys = {
      // Keys the installation does not write.
      {3, L"Software\\Microsoft\\Windows\\Shell\\Foo", {}},
      {2, L"Software\\Classes\\Foo\\Bar", {}},
      {0, L"Software\\Kept", {{L"gone", L"REG_SZ", L"x"}}},
      // Deeper than its rows own it.
      {9, L"Software\\Classes\\TavroStable\\DefaultIcon", {}},
      // In another letter case, as deep as its row owns it.
      {2, lower_client + L"\\shell\\open\\command", {}},
      // Only the value the table writes.
      {0, persisted, {{launcher, L"REG_DWORD", L"32"}, {L"C:\\Other.exe", L"REG_DWORD", L"32"}}},
      {1, own_entry, {}},
      {1, other_entry, {}},
  };
  ASSERT_TRUE(
      test::MakeTestInstallation(install_folder(), previous, "{\"single_profile\": false}"));
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--uninstall", &observer));
  EXPECT_EQ("Success", observer.events().back()) << observer.error_detail();

  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\Shell\\Foo"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Foo\\Bar"));
  EXPECT_EQ(L"x", ReadRegistryText(HKEY_LOCAL_MACHINE, L"Software\\Kept", L"gone"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TavroStable\\DefaultIcon"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, client + L"\\shell\\open"));
  EXPECT_EQ(L"Tavro Stable", ReadRegistryText(HKEY_LOCAL_MACHINE, client, nullptr));
  EXPECT_EQ(L"(missing)", ReadRegistryText(HKEY_LOCAL_MACHINE, persisted, launcher.c_str()));
  EXPECT_TRUE(base::win::RegistryKey(HKEY_LOCAL_MACHINE, persisted.c_str(), KEY_READ)
                  .HasValue(L"C:\\Other.exe"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, own_entry, KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, other_entry, KEY_WOW64_32KEY));

  // The same keys, listed by the record of an installation for one user.
  previous.all_users = false;
  previous.hklm_keys = {{1, client}, {0, persisted, {{L"C:\\Other.exe", L"REG_DWORD", L"32"}}}};
  ASSERT_TRUE(
      test::MakeTestInstallation(install_folder(), previous, "{\"single_profile\": false}"));
  RecordingInstallerObserver per_user;
  ASSERT_TRUE(RunInstaller(L"--uninstall", &per_user));
  EXPECT_EQ("Success", per_user.events().back()) << per_user.error_detail();
  EXPECT_EQ(L"Tavro Stable", ReadRegistryText(HKEY_LOCAL_MACHINE, client, nullptr));
  EXPECT_TRUE(base::win::RegistryKey(HKEY_LOCAL_MACHINE, persisted.c_str(), KEY_READ)
                  .HasValue(L"C:\\Other.exe"));
}

TEST_F(InstallerTest, RefusesRunsWithoutAValidOperation) {
  {
    // An autoupdate installs only over an older-generation installation.
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"--autoupdate", &observer));
    EXPECT_EQ((std::vector<std::string>{"Error(37055)", "Done(0)"}), observer.events());
    EXPECT_EQ("Settings operation invalid for autoupdate", observer.error_detail());
  }
  // A file where the folder should be: no operation, and no interrupted event is needed.
  ASSERT_TRUE(base::CreateDirectory(install_folder().DirName()));
  ASSERT_TRUE(test::WriteTestFile(install_folder(), "a file"));
  CloseInterruptedEvent();
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"", &observer));
  EXPECT_EQ((std::vector<std::string>{"Error(37058)", "Done(0)"}), observer.events());
  EXPECT_EQ("Settings operation invalid", observer.error_detail());
}

TEST_F(InstallerTest, RefusesAFilesListEntryOutsideItsFolder) {
  const Snapshot before = TakeSnapshot();
  for (const char* entry : {"..\\..\\escaped.txt", "C:\\escaped.txt", "\\escaped.txt"}) {
    ASSERT_TRUE(test::WriteTestFile(package_folder().Append(L"files_list"),
                                    std::string("tavro.exe\r\n") + entry + "\r\n"));
    RecordingInstallerObserver observer;
    ASSERT_TRUE(RunInstaller(L"", &observer));
    EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "Error(37055)", "Done(0)"}),
              observer.events());
    EXPECT_EQ(std::string("Invalid entry in files list: ") + entry, observer.error_detail());
    EXPECT_EQ(kNoChanges, ChangesSince(before));
  }
}

// The ways a run can fail or be stopped; each must leave files and registry as they were.
enum class Trouble {
  kFileInUse,
  kReadOnlyStatusFile,
  kUnwritableUninstallKey,
  kUnreadablePreferences,
  kCancel
};

struct TroubleCase {
  Trouble trouble;
  // For kCancel: the Step after which the interrupted event is signalled.
  int cancel_after_step;
  const char* name;
  const wchar_t* switches = L"";
};

class InstallerRollbackTest : public InstallerTest,
                              public testing::WithParamInterface<TroubleCase> {};

TEST_P(InstallerRollbackTest, LeavesNoTrace) {
  const TroubleCase& trouble = GetParam();
  base::win::ScopedHandle held_file;
  base::win::RegistryKey volatile_key;
  int expected_error = 0;
  switch (trouble.trouble) {
    case Trouble::kFileInUse:
      // A file where a file of the package goes, then held by another program.
      ASSERT_TRUE(base::CreateDirectory(install_folder()));
      ASSERT_TRUE(test::WriteTestFile(install_folder().Append(L"root.txt"), "in use"));
      expected_error = IDS_ERROR_COPY_FILE;
      break;
    case Trouble::kReadOnlyStatusFile: {
      const base::FilePath status_file = install_folder().Append(kInstallStatusFileName);
      ASSERT_TRUE(base::CreateDirectory(install_folder()));
      ASSERT_TRUE(test::WriteTestFile(status_file, "not a status"));
      ASSERT_TRUE(::SetFileAttributesW(status_file.value().c_str(), FILE_ATTRIBUTE_READONLY));
      expected_error = IDS_ERROR_INSTALL_FAILED;
      break;
    }
    case Trouble::kUnwritableUninstallKey: {
      // Below a volatile key only volatile keys can be made.
      HKEY key = nullptr;
      ASSERT_EQ(ERROR_SUCCESS,
                ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, GetUninstallRegistryKey().c_str(), 0,
                                  nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                                  nullptr, &key, nullptr));
      volatile_key = base::win::RegistryKey(key);
      expected_error = IDS_ERROR_INSTALL_FAILED;
      break;
    }
    case Trouble::kUnreadablePreferences:
      // What an uninstallation keeps, then held open by another program.
      ASSERT_TRUE(base::CreateDirectory(install_folder()));
      ASSERT_TRUE(test::WriteTestFile(install_folder().Append(kInstallerPrefsFileName),
                                      "{\"single_profile\": false}"));
      expected_error = IDS_ERROR_INSTALL_FAILED;
      break;
    case Trouble::kCancel:
      break;
  }
  const Snapshot before = TakeSnapshot();
  // Opened without any sharing: nobody can read, replace or move it.
  if (trouble.trouble == Trouble::kUnreadablePreferences) {
    held_file.Set(::CreateFileW(install_folder().Append(kInstallerPrefsFileName).value().c_str(),
                                GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held_file.IsValid());
  } else if (trouble.trouble == Trouble::kFileInUse) {
    held_file.Set(::CreateFileW(install_folder().Append(L"root.txt").value().c_str(),
                                GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held_file.IsValid());
  }

  RecordingInstallerObserver observer;
  if (trouble.trouble == Trouble::kCancel)
    CancelAtStep(&observer, trouble.cancel_after_step);
  ASSERT_TRUE(RunInstaller(trouble.switches, &observer));
  held_file.Close();
  const std::vector<std::string>& events = observer.events();
  ASSERT_GE(events.size(), 2u);
  if (expected_error) {
    EXPECT_EQ("Error(" + std::to_string(expected_error) + ")", events[events.size() - 2]);
  } else {
    // No step starts once the event is signalled.
    EXPECT_EQ("Step", events[events.size() - 2]);
    EXPECT_EQ(trouble.cancel_after_step, observer.steps());
  }
  EXPECT_EQ("Done(0)", events.back());
  EXPECT_EQ(kNoChanges, ChangesSince(before));
}

INSTANTIATE_TEST_SUITE_P(
    Troubles,
    InstallerRollbackTest,
    testing::Values(TroubleCase{Trouble::kFileInUse, 0, "FileInUse"},
                    TroubleCase{Trouble::kReadOnlyStatusFile, 0, "ReadOnlyStatusFile"},
                    TroubleCase{Trouble::kUnwritableUninstallKey, 0, "UnwritableUninstallKey"},
                    TroubleCase{Trouble::kUnreadablePreferences, 0,
                                "UnreadablePreferencesOfASingleProfile", L"--singleprofile=1"},
                    TroubleCase{Trouble::kCancel, 1, "CancelBeforeCopying"},
                    TroubleCase{Trouble::kCancel, 2, "CancelWhileCopying"},
                    TroubleCase{Trouble::kCancel, 6, "CancelAfterTheLauncher"},
                    TroubleCase{Trouble::kCancel, 8, "CancelAfterShortcuts"},
                    TroubleCase{Trouble::kCancel, 10, "CancelAfterThePreferences"}),
    [](const testing::TestParamInfo<TroubleCase>& info) { return std::string(info.param.name); });

// A link on the way to the recorded profile folder leads elsewhere: that folder is not the
// one checked, and nothing is deleted there.
TEST_F(InstallerTest, NeverDeletesAProfileFolderThroughALink) {
  const base::FilePath elsewhere = target_root().Append(L"Elsewhere");
  ASSERT_TRUE(base::CreateDirectory(elsewhere.Append(L"Profile")));
  ASSERT_TRUE(test::WriteTestFile(elsewhere.Append(L"Profile\\data.txt"), "another's"));
  base::test::ScopedFolderLink link;
  if (!link.Make(target_root().Append(L"Linked"), elsewhere))
    GTEST_SKIP() << "Folder links cannot be made here";
  Install(L"--singleprofile=1");
  ASSERT_TRUE(RecordProfilePath(install_folder(), target_root().Append(L"Linked\\Profile")));

  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--uninstall --deleteuserprofile", &observer));
  EXPECT_EQ("Success", observer.events().back()) << observer.error_detail();
  std::string kept;
  EXPECT_TRUE(base::ReadFileToString(elsewhere.Append(L"Profile\\data.txt"), &kept));
  EXPECT_EQ("another's", kept);
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

// An upgrade that cannot read the installation's profile mode leaves it to the installation
// (a standalone copy keeps its profile beside it) instead of writing a guess.
TEST_F(InstallerTest, UpgradeLeavesAProfileModeItCannotReadAsItWas) {
  Install(L"--copyonly=1");
  base::FilePath profile;
  ASSERT_TRUE(Installation(install_folder()).GetProfileDirectory(&profile, false));
  EXPECT_TRUE(install_folder().IsParent(profile)) << profile;
  const base::FilePath prefs_file = install_folder().Append(kInstallerPrefsFileName);
  ASSERT_TRUE(test::WriteTestFile(prefs_file, "{\"single_profile\": tru"));

  Install();
  std::unique_ptr<base::DictionaryValue> prefs = ReadJsonFile(prefs_file);
  ASSERT_TRUE(prefs);
  EXPECT_FALSE(prefs->HasKey("single_profile"));
  EXPECT_TRUE(prefs->HasKey("all-installer-experiments"));
  base::FilePath profile_after;
  ASSERT_TRUE(Installation(install_folder()).GetProfileDirectory(&profile_after, false));
  EXPECT_EQ(profile, profile_after);
}

// An elevated uninstallation takes the profile's place from a file that a user may have
// written: it deletes no profile outside the install folder and the user's own profile
// folders, such as another user's documents.
TEST_F(InstallerTest, ElevatedUninstallDeletesNoProfileOutsideItsOwnPlaces) {
  const base::FilePath documents = target_root().Append(L"Users\\other\\Documents");
  ASSERT_TRUE(base::CreateDirectory(documents));
  ASSERT_TRUE(test::WriteTestFile(documents.Append(L"letter.txt"), "another user's"));
  Install(L"--singleprofile=0");
  ASSERT_TRUE(RecordProfilePath(install_folder(), documents));

  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--uninstall --deleteuserprofile", &observer));
  EXPECT_EQ("Success", observer.events().back()) << observer.error_detail();
  std::string kept;
  EXPECT_TRUE(base::ReadFileToString(documents.Append(L"letter.txt"), &kept));
  EXPECT_EQ("another user's", kept);
}

// An install folder for all users is made with an access list that only SYSTEM and
// Administrators can change, whatever its parent lets others do; one for the user alone
// inherits its parent's.
TEST_F(InstallerTest, AllUsersInstallFolderIsMadeProtected) {
  std::map<std::wstring, std::wstring> asked;
  CreateFolderOperation::SetCreationObserverForTesting(
      [&asked](const base::FilePath& folder, PSECURITY_DESCRIPTOR security) {
        wchar_t* sddl = nullptr;
        if (security && ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                            security, SDDL_REVISION_1,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl,
                            nullptr)) {
          base::win::ScopedLocalAlloc owned(sddl);
          asked[folder.value()] = sddl;
        } else {
          asked[folder.value()] = security ? L"(unreadable)" : L"(inherited)";
        }
      });
  EXPECT_TRUE(Install().all_users);
  CreateFolderOperation::SetCreationObserverForTesting(nullptr);
  ASSERT_EQ(1u, asked.count(install_folder().value()));
  const std::wstring sddl = asked[install_folder().value()];
  EXPECT_NE(std::wstring::npos, sddl.find(L"D:P")) << sddl;
  EXPECT_NE(std::wstring::npos, sddl.find(L"(A;OICI;0x1200a9;;;BU)")) << sddl;
  PSECURITY_DESCRIPTOR raw = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(),
                                                                     SDDL_REVISION_1, &raw,
                                                                     nullptr));
  base::win::ScopedLocalAlloc descriptor(raw);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
  const base::win::ScopedHandle event(::CreateEventW(&attributes, TRUE, FALSE, nullptr));
  EXPECT_TRUE(OnlyTrustedCanChange(event.Get(), SE_KERNEL_OBJECT, nullptr));
}

// The profile folder comes from the installation's preference file: an uninstallation asked
// to delete it never deletes a folder that holds the installation.
TEST_F(InstallerTest, NeverDeletesAProfileFolderThatHoldsTheInstallation) {
  Install(L"--singleprofile=1");
  const base::FilePath prefs_file = install_folder().Append(kInstallerPrefsFileName);
  ASSERT_TRUE(RecordProfilePath(install_folder(), target_root()));

  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"--uninstall --deleteuserprofile", &observer));
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "TotalSteps(7)", "Step x7",
                                      "Success"}),
            observer.Summary())
      << observer.error_detail();
  EXPECT_TRUE(base::PathExists(prefs_file));
  EXPECT_TRUE(base::PathExists(user_desktop()));
}

}  // namespace
}  // namespace installer
