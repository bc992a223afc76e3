#include "desktop/windows/installer/settings.h"

#include <algorithm>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/path_registry.h"
#include "base/test/run_until.h"
#include "base/test/scoped_path_override.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/status_fetcher.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

struct RecordingObserver : SettingsObserver {
  explicit RecordingObserver(Settings* observed) : settings(observed) {
    settings->AddObserver(this);
  }
  ~RecordingObserver() override { settings->RemoveObserver(this); }
  void OnSettingsChanged() override { ++changes; }
  void OnLanguageChanged() override { ++language_changes; }
  void OnPathChanged() override { paths.push_back(settings->GetInstallFolder()); }

  Settings* settings;
  int changes = 0;
  int language_changes = 0;
  std::vector<base::FilePath> paths;
};

// Roles of a run, as RunInstaller reads them from the command line.
struct Roles {
  bool uninstall = false;
  bool silent = false;
  bool autoupdate = false;
  bool replace_morrit = false;
  uint32_t architecture = INSTALLER_ARCH_X64;
  base::FilePath install_folder;
};

// The Settings' thread: a message loop and COM; the registry and both program-files
// folders of the process are test copies.
class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(registry_.IsValid());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    ASSERT_TRUE(base::PathRegistry::Get(base::DIR_PROGRAM_FILESX86, &program_files_x86_));
    ASSERT_TRUE(base::PathRegistry::Get(base::DIR_PROGRAM_FILES_X64, &program_files_x64_));
    default_x64_ = program_files_x64_.Append(GetDefaultInstallFolderName());
  }

  // Settings made from |switches| and |roles|, with their first folder read applied.
  std::unique_ptr<Settings> Make(const std::wstring& switches, const Roles& roles = Roles()) {
    command_lines_.push_back(base::CommandLine::FromString(L"installer.exe " + switches));
    auto settings = std::make_unique<Settings>(
        roles.uninstall, roles.silent, roles.autoupdate, roles.install_folder,
        roles.replace_morrit, roles.architecture, &command_lines_.back());
    EXPECT_TRUE(WaitForStatus(settings.get()));
    return settings;
  }
  // Runs the loop until |done| (at most 20 s).
  bool RunUntil(const std::function<bool()>& done) { return base::test::RunUntil(done); }
  bool WaitForStatus(Settings* settings) {
    return RunUntil([settings] { return !settings->IsFetchingStatus(); });
  }
  base::FilePath MakeFolder(const wchar_t* name) {
    const base::FilePath folder = temp_dir_.GetPath().Append(name);
    EXPECT_TRUE(base::CreateDirectory(folder));
    return folder;
  }

  // Tears down the preference pool that reading installations starts.
  base::ExitCallbackRegistry exit_callbacks_;
  base::MessageLoop loop_;
  base::win::ScopedComInitializer com_;
  test::ScopedRegistryOverride registry_;
  base::ScopedPathOverride program_files_x86_override_{base::DIR_PROGRAM_FILESX86};
  base::ScopedPathOverride program_files_x64_override_{base::DIR_PROGRAM_FILES_X64};
  base::ScopedTempDir temp_dir_;
  base::FilePath program_files_x86_;
  base::FilePath program_files_x64_;
  base::FilePath default_x64_;
  std::list<base::CommandLine> command_lines_;
};

TEST_F(SettingsTest, BooleanSwitchValues) {
  for (const wchar_t* value : {L"yes", L"TRUE", L"YeS", L"1", L" 7", L"+3", L"-2", L"007x",
                               L"123456789012345678901234567890"}) {
    EXPECT_TRUE(ParseBoolSwitchValue(value)) << value;
  }
  for (const wchar_t* value : {L"", L"0", L"0x1", L"no", L"false", L"y", L" ", L"00", L"-0"})
    EXPECT_FALSE(ParseBoolSwitchValue(value)) << value;

  EXPECT_FALSE(Make(L"--copyonly")->GetFlag(COPY_ONLY));  // A switch without value.
  EXPECT_TRUE(Make(L"--copyonly=\" 7\"")->GetFlag(COPY_ONLY));
  EXPECT_FALSE(Make(L"--copyonly=0x1")->GetFlag(COPY_ONLY));
}

TEST_F(SettingsTest, DefaultsInstallForAllUsersIntoTheProgramFilesFolderOfTheArchitecture) {
  std::unique_ptr<Settings> settings = Make(L"");
  EXPECT_EQ(OPERATION_INSTALLING, settings->operation());
  EXPECT_EQ(default_x64_, settings->GetInstallFolder());
  for (SettingsFlag flag : {ALL_USERS_FLAG, LAUNCH_TAVRO, DEFAULT_BROWSER, IMPORT_BROWSER_DATA,
                            ENABLE_TAVRO_STATS, ENABLE_INSTALLER_STATS, DESKTOP_SHORTCUT,
                            START_MENU_SHORTCUT, QUICK_LAUNCH_SHORTCUT, PINNED_SHORTCUT}) {
    EXPECT_TRUE(settings->GetFlag(flag)) << SettingsFlagName(flag);
  }
  for (SettingsFlag flag : {COPY_ONLY, SINGLE_PROFILE, INSTALL_ASSISTANT, SILENT, AUTOUPDATE})
    EXPECT_FALSE(settings->GetFlag(flag)) << SettingsFlagName(flag);

  // An x86 browser goes to the 32-bit folder, not to this 64-bit library's own.
  Roles x86;
  x86.architecture = INSTALLER_ARCH_X86;
  EXPECT_EQ(program_files_x86_.Append(GetDefaultInstallFolderName()),
            Make(L"", x86)->GetInstallFolder());
  // An autoupdate does not take over the default browser.
  Roles autoupdate;
  autoupdate.autoupdate = true;
  EXPECT_FALSE(Make(L"", autoupdate)->GetFlag(DEFAULT_BROWSER));

  // Statistics: "enable-stats" sets both, "enable-installer-stats" has the last word.
  settings = Make(L"--enable-stats=0");
  EXPECT_FALSE(settings->GetFlag(ENABLE_TAVRO_STATS));
  EXPECT_FALSE(settings->GetFlag(ENABLE_INSTALLER_STATS));
  settings = Make(L"--enable-stats=0 --enable-installer-stats=1");
  EXPECT_FALSE(settings->GetFlag(ENABLE_TAVRO_STATS));
  EXPECT_TRUE(settings->GetFlag(ENABLE_INSTALLER_STATS));
}

// A folder of the command line is what the user asked for: one that cannot hold an
// installation leaves the run without an operation (it is refused), even where a remembered
// installation would otherwise be upgraded.
TEST_F(SettingsTest, CommandLineFoldersAreUsedAsGivenEvenWhenUnusable) {
  const base::FilePath remembered = MakeFolder(L"remembered");
  base::win::RegistryKey company;
  ASSERT_EQ(ERROR_SUCCESS, company.Create(HKEY_CURRENT_USER, GetCompanyRegistryKey().c_str(),
                                          KEY_SET_VALUE));
  ASSERT_EQ(ERROR_SUCCESS, company.WriteValue(L"Last Stable Install Path", remembered.value()));
  ASSERT_EQ(remembered, Make(L"")->GetInstallFolder());

  const struct {
    const wchar_t* switches;
    base::FilePath folder;
    const char* reason;
  } kUnusable[] = {
      {L"", base::FilePath(L"Tavro"), "Path is relative"},
      {L"--installfolder=", base::FilePath(), "Path is empty"},
      {L"", remembered.Append(L"..\\other"), "Path refers to a parent folder"},
      {L"", base::FilePath(remembered.value() + L"\""),
       "Path holds a character that a name cannot hold"},
      {L"", temp_dir_.GetPath().Append(std::wstring(240, L'x')),
       "Path is too long for the installer's mailslot name"},
      {L"", base::FilePath(L"C:\\" + std::wstring(220, L'x')),
       "Path is too long for the installer's kernel object names"},
  };
  for (const auto& unusable : kUnusable) {
    Roles roles;
    roles.install_folder = unusable.folder;
    std::unique_ptr<Settings> settings = Make(unusable.switches, roles);
    EXPECT_EQ(OPERATION_INVALID, settings->operation()) << unusable.folder;
    EXPECT_EQ(unusable.folder, settings->GetInstallFolder());
    EXPECT_EQ(unusable.reason, settings->GetInvalidReason()) << unusable.folder;
    EXPECT_EQ(unusable.folder, settings->GetDefaultInstallFolder(
                                   DEFAULT_FOLDER_COMMAND_LINE | DEFAULT_FOLDER_REGISTRY));
  }

  Roles slashes;
  const base::FilePath target = temp_dir_.GetPath().Append(L"with\\slashes");
  std::wstring text = target.value();
  std::replace(text.begin(), text.end(), L'\\', L'/');
  slashes.install_folder = base::FilePath(text);
  std::unique_ptr<Settings> settings = Make(L"", slashes);
  EXPECT_EQ(target, settings->GetInstallFolder());
  EXPECT_EQ(OPERATION_INSTALLING, settings->operation());
  EXPECT_EQ(std::string(), settings->GetInvalidReason());
}

// The uninstallation may delete the profile folder: it is taken as an install folder would
// be, or not at all.
TEST_F(SettingsTest, ProfileFolderIsAFullFolderPathOrNone) {
  const struct {
    const wchar_t* value;
    const wchar_t* profile_folder;
  } cases[] = {
      {L"..", L""},
      {L".", L""},
      {L"profile", L""},
      {L"C:\\Apps\\..\\Windows", L""},
      {L"C:Profiles", L""},
      {L"C:/Profiles/Mine", L"C:\\Profiles\\Mine"},
      {L"\\\\server\\share\\Profile", L"\\\\server\\share\\Profile"},
  };
  for (const auto& entry : cases) {
    EXPECT_EQ(
        base::FilePath(entry.profile_folder),
        Make(std::wstring(L"--profile-folder=\"") + entry.value + L"\"", Roles())->profile_folder())
        << entry.value;
  }
}

TEST_F(SettingsTest, StandaloneRunCopiesOnly) {
  std::unique_ptr<Settings> settings =
      Make(L"--copyonly=1 --allusers=1 --desktopshortcut=1 --install-assistant");
  EXPECT_TRUE(settings->GetFlag(COPY_ONLY));
  EXPECT_TRUE(settings->GetFlag(SINGLE_PROFILE));
  for (SettingsFlag flag : {ALL_USERS_FLAG, DEFAULT_BROWSER, INSTALL_ASSISTANT, DESKTOP_SHORTCUT,
                            START_MENU_SHORTCUT, QUICK_LAUNCH_SHORTCUT, PINNED_SHORTCUT}) {
    EXPECT_FALSE(settings->GetFlag(flag)) << SettingsFlagName(flag);
  }
  const std::vector<base::FilePath> candidates = settings->GetSuggestedInstallFolders();
  ASSERT_FALSE(candidates.empty());
  EXPECT_EQ(candidates[0], settings->GetInstallFolder());
  EXPECT_FALSE(settings->SetDefaultBrowser(true));
  EXPECT_FALSE(settings->SetAllUsers(true));

  const base::CommandLine backend = settings->AppendToCommandLine(false);
  EXPECT_EQ(L"1", backend.GetSwitchValueNative("copyonly"));
  EXPECT_EQ(L"1", backend.GetSwitchValueNative("singleprofile"));
  for (const char* name : {"allusers", "setdefaultbrowser", "desktopshortcut",
                           "startmenushortcut", "quicklaunchshortcut", "pintotaskbar"}) {
    EXPECT_FALSE(backend.HasSwitch(name)) << name;
  }
  EXPECT_FALSE(Make(L"--copyonly=1 --singleprofile=0")->GetFlag(SINGLE_PROFILE));
}

// A backend reads what its front end wrote: a lost or renamed switch changes a choice.
TEST_F(SettingsTest, SwitchRoundTripGivesTheBackendTheSameChoices) {
  const base::FilePath target = MakeFolder(L"Target");
  const std::wstring shared =
      L" --initial-pid=4321 --temp-folder=\"" + temp_dir_.GetPath().value() +
      L"\" --components=suite| --server-tracking-data=\"" +
      temp_dir_.GetPath().Append(L"tracking").value() + L"\" --import-bookmarks --language=de";
  const std::wstring runs[] = {
      L"--allusers=0 --setdefaultbrowser=0 --desktopshortcut=0 --startmenushortcut=0 "
      L"--quicklaunchshortcut=0 --pintotaskbar=0 --import-browser-data=0 --enable-stats=0 "
      L"--enable-installer-stats=1 --singleprofile=1 --launchbrowser=0 "
      L"--profile-folder=\"D:\\profiles\\one\"",
      L"--copyonly=1 --singleprofile=0 --enable-stats=1 --enable-installer-stats=0",
  };
  // Written for the backend's component installers, not as a flag of its own.
  const uint32_t kNotCarried = 1u << INSTALL_ASSISTANT;
  for (const std::wstring& run : runs) {
    Roles front_roles;
    front_roles.silent = true;
    front_roles.autoupdate = true;
    front_roles.replace_morrit = true;
    front_roles.install_folder = target;
    std::unique_ptr<Settings> front = Make(run + shared, front_roles);
    const base::CommandLine& front_line = command_lines_.back();
    ASSERT_EQ(OPERATION_INSTALLING, front->operation());
    // A stand-alone copy replaces nothing.
    const uint32_t not_carried =
        kNotCarried | (front->GetFlag(COPY_ONLY) ? 1u << REPLACE_MORRIT_INSTALLATION : 0);

    for (bool launch_off : {false, true}) {
      base::CommandLine child(base::FilePath(L"C:\\package\\installer.exe"));
      child.AppendArguments(front->AppendToCommandLine(launch_off), false);
      command_lines_.push_back(base::CommandLine::FromString(child.GetCommandLineString()));
      const base::CommandLine& parsed = command_lines_.back();
      ASSERT_TRUE(parsed.HasSwitch("backend"));
      ASSERT_TRUE(parsed.HasSwitch("install"));
      for (const char* name : {"initial-pid", "temp-folder", "components",
                               "server-tracking-data", "import-bookmarks"}) {
        EXPECT_EQ(front_line.GetSwitchValueNative(name),
                  parsed.GetSwitchValueNative(name))
            << name;
      }
      Settings backend(false, parsed.HasSwitch("silent"), parsed.HasSwitch("autoupdate"),
                       parsed.GetSwitchValuePath("installfolder"),
                       parsed.HasSwitch("replacemorritinstallation"), INSTALLER_ARCH_X64,
                       &parsed);
      ASSERT_TRUE(WaitForStatus(&backend));
      const uint32_t expected = launch_off ? front->flags() & ~(1u << LAUNCH_TAVRO)
                                           : front->flags();
      for (int flag = 0; flag < SETTINGS_FLAG_COUNT; ++flag) {
        if (!(not_carried & (1u << flag))) {
          EXPECT_EQ((expected >> flag) & 1, (backend.flags() >> flag) & 1)
              << SettingsFlagName(flag) << " in " << parsed.GetCommandLineString();
        }
      }
      EXPECT_EQ(front->operation(), backend.operation());
      EXPECT_EQ(front->GetInstallFolder(), backend.GetInstallFolder());
      EXPECT_EQ(front->language(), backend.language());
      EXPECT_EQ(front->profile_folder(), backend.profile_folder());
    }
  }
}

TEST_F(SettingsTest, UpgradeKeepsWhatTheInstallationChose) {
  const base::FilePath folder = MakeFolder(L"Installed");
  ASSERT_TRUE(test::MakeTestInstallation(
      folder, InstallStatus(),
      R"({"single_profile": true, "enable_stats": false, "import_browser_data": false})"));
  Roles roles;
  roles.install_folder = folder;
  std::unique_ptr<Settings> settings = Make(L"--enable-installer-stats=1", roles);
  EXPECT_EQ(OPERATION_UPGRADING, settings->operation());
  EXPECT_TRUE(settings->GetFlag(SINGLE_PROFILE));
  EXPECT_FALSE(settings->GetFlag(ALL_USERS_FLAG));  // Installed for the current user.
  EXPECT_FALSE(settings->GetFlag(ENABLE_TAVRO_STATS));
  EXPECT_TRUE(settings->GetFlag(ENABLE_INSTALLER_STATS));  // The switch wins.
  EXPECT_FALSE(settings->GetFlag(IMPORT_BROWSER_DATA));
  EXPECT_FALSE(settings->GetFlag(DESKTOP_SHORTCUT));  // It has none.

  const uint32_t flags = settings->flags();
  EXPECT_FALSE(settings->SetMode(INSTALL_MODE_STANDALONE));
  EXPECT_FALSE(settings->SetMode(INSTALL_MODE_ALL_USERS));
  EXPECT_FALSE(settings->SetAllUsers(true));
  EXPECT_FALSE(settings->SetCopyOnly(true));
  EXPECT_EQ(flags, settings->flags());
  EXPECT_FALSE(settings->IsFetchingStatus());

  const base::CommandLine backend = settings->AppendToCommandLine(false);
  EXPECT_TRUE(backend.HasSwitch("install"));
  for (const char* name : {"allusers", "singleprofile", "copyonly"})
    EXPECT_FALSE(backend.HasSwitch(name)) << name;

  // The same installation registered as protocol handler: the backend is told no choices.
  settings = Make(L"--register-tavro-as-protocol-handler", roles);
  EXPECT_EQ(OPERATION_REGISTER_PROTOCOL_HANDLER, settings->operation());
  EXPECT_FALSE(settings->AppendToCommandLine(false).HasSwitch("installfolder"));
}

TEST_F(SettingsTest, SettersFollowTheirRulesAndNotify) {
  std::unique_ptr<Settings> settings = Make(L"");
  RecordingObserver observer(settings.get());
  EXPECT_TRUE(settings->SetEnableStats(false));
  EXPECT_TRUE(settings->SetImportBrowserData(false));
  EXPECT_FALSE(settings->SetDeleteProfile(true));  // Not uninstalling.
  EXPECT_EQ(2, observer.changes);
  EXPECT_FALSE(settings->GetFlag(ENABLE_TAVRO_STATS));
  EXPECT_TRUE(settings->GetFlag(ENABLE_INSTALLER_STATS));

  const std::wstring language = settings->language();
  EXPECT_FALSE(settings->SetLanguage(language));  // Unchanged: nobody told.
  EXPECT_EQ(0, observer.language_changes);

  // Once the installation has started nothing changes any more.
  settings->set_accepts_changes(false);
  const uint32_t flags = settings->flags();
  EXPECT_FALSE(settings->SetEnableStats(true));
  EXPECT_FALSE(settings->SetMode(INSTALL_MODE_STANDALONE));
  EXPECT_FALSE(settings->SetLanguage(L"xx"));
  EXPECT_FALSE(settings->SetInstallFolder(MakeFolder(L"late")));
  EXPECT_EQ(flags, settings->flags());
  EXPECT_FALSE(settings->IsFetchingStatus());
  EXPECT_EQ(2, observer.changes);
}

TEST_F(SettingsTest, OnlyTheLatestFolderReadIsApplied) {
  std::unique_ptr<Settings> settings = Make(L"");
  RecordingObserver observer(settings.get());
  const base::FilePath a = MakeFolder(L"A");
  const base::FilePath b = MakeFolder(L"B");

  // The same folder twice: one read.
  ASSERT_TRUE(settings->SetInstallFolder(a));
  StatusFetcher* first = settings->pending_fetcher_for_testing();
  ASSERT_TRUE(first);
  settings->SetInstallFolder(a);
  EXPECT_EQ(first, settings->pending_fetcher_for_testing());
  // Two quick changes: only the second folder arrives.
  settings->SetInstallFolder(b);
  ASSERT_TRUE(WaitForStatus(settings.get()));
  EXPECT_EQ(std::vector<base::FilePath>{b}, observer.paths);

  // Back to the applied folder while another is being read: the applied one wins.
  observer.paths.clear();
  settings->SetInstallFolder(a);
  settings->SetInstallFolder(b);
  ASSERT_TRUE(WaitForStatus(settings.get()));
  EXPECT_EQ(b, settings->GetInstallFolder());
  EXPECT_EQ(std::vector<base::FilePath>{b}, observer.paths);

  // A path typed with slashes is read with backslashes.
  settings->SetInstallFolderFromString(L"C:/Tavro/typed");
  ASSERT_TRUE(settings->pending_fetcher_for_testing());
  EXPECT_EQ(L"C:\\Tavro\\typed", settings->pending_fetcher_for_testing()->folder().value());
}

TEST_F(SettingsTest, LateReplyAfterTheSettingsAreGoneDoesNothing) {
  std::unique_ptr<Settings> settings = Make(L"");
  settings->SetInstallFolder(MakeFolder(L"late"));
  base::scoped_refptr<StatusFetcher> fetcher = settings->pending_fetcher_for_testing();
  ASSERT_TRUE(fetcher);
  settings.reset();
  // Once the read and its reply are done, only this test holds the fetcher.
  ASSERT_TRUE(RunUntil([&] { return fetcher->HasOneRef(); }));
  EXPECT_TRUE(fetcher->HoldsStatusForTesting());  // Never handed to anyone.
}

TEST_F(SettingsTest, ModeChangeMovesOnlyASuggestedFolder) {
  std::unique_ptr<Settings> settings = Make(L"");
  ASSERT_EQ(default_x64_, settings->GetInstallFolder());
  EXPECT_TRUE(settings->SetMode(INSTALL_MODE_CURRENT_USER));
  EXPECT_FALSE(settings->GetFlag(ALL_USERS_FLAG));
  ASSERT_TRUE(WaitForStatus(settings.get()));
  EXPECT_EQ(settings->GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD),
            settings->GetInstallFolder());
  EXPECT_NE(default_x64_, settings->GetInstallFolder());

  EXPECT_TRUE(settings->SetMode(INSTALL_MODE_STANDALONE));
  EXPECT_TRUE(settings->GetFlag(COPY_ONLY));
  EXPECT_TRUE(settings->GetFlag(SINGLE_PROFILE));
  ASSERT_TRUE(WaitForStatus(settings.get()));
  EXPECT_EQ(settings->GetSuggestedInstallFolders().front(), settings->GetInstallFolder());

  // A folder the user typed stays, also while it is still being read.
  const base::FilePath own = MakeFolder(L"own choice");
  settings->SetInstallFolder(own);
  ASSERT_TRUE(settings->IsFetchingStatus());
  EXPECT_TRUE(settings->SetMode(INSTALL_MODE_CURRENT_USER));
  EXPECT_EQ(own, settings->GetChosenInstallFolder());
  ASSERT_TRUE(WaitForStatus(settings.get()));
  EXPECT_EQ(own, settings->GetInstallFolder());
  EXPECT_TRUE(settings->SetMode(INSTALL_MODE_ALL_USERS));
  EXPECT_FALSE(settings->GetFlag(SINGLE_PROFILE));
  EXPECT_FALSE(settings->IsFetchingStatus());
  EXPECT_EQ(own, settings->GetInstallFolder());

  Stats stats(nullptr);
  settings->WriteStats("initial_", &stats);
  std::unique_ptr<base::Value> json = base::JsonReader::Read(stats.ToJson());
  const base::DictionaryValue* written = nullptr;
  ASSERT_TRUE(json && json->GetAsDictionary(&written));
  std::string text;
  EXPECT_TRUE(written->GetString("initial_installation_mode", &text) && text == "all_users");
  EXPECT_TRUE(written->GetString("initial_installation_operation", &text) &&
              text == "installing");
  EXPECT_TRUE(written->GetString("initial_build_arch", &text) && text == "X64");
  int number = -1;
  EXPECT_TRUE(written->GetInteger("initial_using_default_installation_folder", &number) &&
              number == 0);
  EXPECT_TRUE(written->GetInteger("autoupdate", &number) && number == 0);
}

TEST_F(SettingsTest, UninstallationNeedsAnInstallation) {
  Roles uninstall;
  uninstall.uninstall = true;
  // The test program's folder holds no installation.
  std::unique_ptr<Settings> settings = Make(L"--deleteuserprofile", uninstall);
  EXPECT_EQ(OPERATION_INVALID, settings->operation());
  EXPECT_TRUE(settings->GetFlag(DELETE_PROFILE));
  EXPECT_TRUE(settings->profile_deletion_allowed());

  const base::FilePath folder = MakeFolder(L"Installed");
  ASSERT_TRUE(test::MakeTestInstallation(folder, InstallStatus(), ""));
  settings->SetInstallFolder(folder);
  ASSERT_TRUE(WaitForStatus(settings.get()));
  EXPECT_EQ(OPERATION_UNINSTALLING, settings->operation());
  base::CommandLine backend = settings->AppendToCommandLine(false);
  EXPECT_EQ(3u, backend.GetSwitches().size());  // Nothing else follows.
  EXPECT_TRUE(backend.HasSwitch("uninstall"));
  EXPECT_TRUE(backend.HasSwitch("deleteuserprofile"));

  // Two registrations of the stream: the profile may belong to the other one too. A
  // backend does not look.
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    base::win::RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(root, (GetUninstallRegistryKey() + L"\\Tavro 1").c_str(), KEY_WRITE));
    key.WriteValue(L"Publisher", L"Tavro Software");
    key.WriteValue(L"DisplayName", L"Tavro Stable 1");
  }
  EXPECT_FALSE(Make(L"", uninstall)->profile_deletion_allowed());
  EXPECT_TRUE(Make(L"--backend", uninstall)->profile_deletion_allowed());
}

// The last installation of an x86 build lies in the 32-bit program-files folder.
TEST_F(SettingsTest, X64InstallerUpgradesAnX86InstallationWhereItIs) {
  const base::FilePath x86_folder = program_files_x86_.Append(GetDefaultInstallFolderName());
  ASSERT_TRUE(base::CreateDirectory(x86_folder));
  base::win::RegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, GetCompanyRegistryKey().c_str(), KEY_WRITE));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Last Stable Install Path", x86_folder.value()));

  // Nothing installed there any more: the x64 default, while an x86 installer goes back.
  EXPECT_EQ(default_x64_, Make(L"")->GetInstallFolder());
  Roles x86;
  x86.architecture = INSTALLER_ARCH_X86;
  EXPECT_EQ(x86_folder, Make(L"", x86)->GetInstallFolder());

  // Still installed: upgraded in place, read at once.
  ASSERT_TRUE(test::MakeTestInstallation(x86_folder, InstallStatus(), ""));
  command_lines_.push_back(base::CommandLine::FromString(L"installer.exe"));
  Settings settings(false, false, false, base::FilePath(), false, INSTALLER_ARCH_X64,
                    &command_lines_.back());
  EXPECT_FALSE(settings.IsFetchingStatus());
  EXPECT_EQ(OPERATION_UPGRADING, settings.operation());
  EXPECT_EQ(x86_folder, settings.GetInstallFolder());
}

}  // namespace
}  // namespace installer
