#include "desktop/windows/installer/status.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_com_initializer.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/scoped_local_alloc.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/taskbar_pins.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::WriteTestFile;

class StatusTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(registry_.IsValid());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    root_ = temp_dir_.GetPath();
    // Taskbar pins are looked for here, not among the user's.
    pins_ = root_.Append(L"pins");
    ASSERT_TRUE(base::CreateDirectory(pins_));
    SetTaskbarPinsFolderForTesting(pins_);
  }
  void TearDown() override { SetTaskbarPinsFolderForTesting(base::FilePath()); }

  static std::unique_ptr<Status> Read(const base::FilePath& folder, bool replace_morrit = false) {
    auto status = std::make_unique<Status>(replace_morrit);
    status->Initialize(folder);
    return status;
  }
  static void MakeShortcut(const base::FilePath& shortcut, const base::FilePath& target) {
    base::win::ShortcutProperties properties;
    properties.set_target(target);
    EXPECT_TRUE(base::win::CreateOrUpdateShortcut(shortcut, properties,
                                                  base::win::SHORTCUT_CREATE_ALWAYS));
  }

  // Tears down the preference pool that reading installations starts.
  base::ExitCallbackRegistry exit_callbacks_;
  base::win::ScopedComInitializer com_;
  test::ScopedRegistryOverride registry_;
  base::ScopedTempDir temp_dir_;
  base::FilePath root_;
  base::FilePath pins_;
};

TEST_F(StatusTest, PathsThatCannotHoldAnInstallationAreNotValid) {
  const base::FilePath file = root_.Append(L"file.txt");
  ASSERT_TRUE(WriteTestFile(file, "x"));
  wchar_t missing_drive = 0;
  for (wchar_t letter = L'Z'; letter >= L'D' && !missing_drive; --letter) {
    if (!(::GetLogicalDrives() & (1u << (letter - L'A'))))
      missing_drive = letter;
  }
  ASSERT_NE(0, missing_drive);

  // The longest name built from an install folder is
  // "Local\TavroInstaller/GiveInstallPermission/Undo/" and the folder: 48 characters more, in
  // at most MAX_PATH - 1.
  const std::wstring longest_usable = L"C:\\" + std::wstring(211 - 3, L'a');
  const struct {
    base::FilePath folder;
    const char* problem;
  } kInvalid[] = {
      {base::FilePath(), "Path is empty"},
      {base::FilePath(L"relative\\folder"), "Path is relative"},
      {base::FilePath(L"C:\\" + std::wstring(250, L'a')),
       "Path is too long for the installer's mailslot name"},
      {root_.Append(L"a\\..\\..\\elsewhere"), "Path refers to a parent folder"},
      {file, "Path is a file path"},
      {file.Append(L"below a file"), "Path is child of a file (invalid)"},
      {base::FilePath(std::wstring(1, missing_drive) + L":\\Tavro\\x"),
       "Path is a root folder that's not valid (probably invalid drive letter)"},
      // Names that Windows would change or refuse only when the installation makes them.
      {root_.Append(L"Tavro."), "Path has a name that ends in a dot or a space"},
      {root_.Append(L"Tavro \\x"), "Path has a name that ends in a dot or a space"},
      {root_.Append(L".\\x"), "Path has a name that ends in a dot or a space"},
      {base::FilePath(root_.value() + L"\""), "Path holds a character that a name cannot hold"},
      {root_.Append(L"a*b"), "Path holds a character that a name cannot hold"},
      {root_.Append(L"what?"), "Path holds a character that a name cannot hold"},
      {base::FilePath(root_.value() + L"\\a:b"), "Path holds a character that a name cannot hold"},
      {root_.Append(L"tab\tin"), "Path holds a character that a name cannot hold"},
      {root_.Append(L"NUL"), "Path names a device"},
      {root_.Append(L"com1.txt\\x"), "Path names a device"},
      {root_.Append(L"Lpt9 .log"), "Path names a device"},
      {base::FilePath(L"\\\\?\\C:\\Tavro"), "Path holds a character that a name cannot hold"},
      {base::FilePath(longest_usable + L"a"),
       "Path is too long for the installer's kernel object names"},
  };
  for (const auto& invalid : kInvalid) {
    std::unique_ptr<Status> status = Read(invalid.folder);
    EXPECT_FALSE(status->valid_install_path()) << invalid.folder;
    EXPECT_EQ(invalid.problem, status->problem()) << invalid.folder;
    EXPECT_FALSE(status->existing_installation()) << invalid.folder;
    EXPECT_EQ(invalid.folder, status->install_folder());
  }
  // What resembles those but is a name like any other.
  for (const base::FilePath& folder :
       {base::FilePath(longest_usable), root_.Append(L"NULL\\COM10\\.hidden\\a..b\\ x")}) {
    std::unique_ptr<Status> status = Read(folder);
    EXPECT_TRUE(status->valid_install_path()) << folder;
    EXPECT_EQ(std::string(), status->problem()) << folder;
  }
}

TEST_F(StatusTest, MissingFolderTakesItsNearestExistingAncestor) {
  std::unique_ptr<Status> status = Read(root_.Append(L"not\\yet"));
  EXPECT_TRUE(status->valid_install_path());
  EXPECT_EQ(root_, status->valid_parent_folder());
  EXPECT_TRUE(status->details().has_write_access);
  EXPECT_FALSE(status->existing_installation());
  EXPECT_FALSE(status->existing_installation_traces());
  EXPECT_FALSE(base::PathExists(root_.Append(L"not")));  // Reading creates nothing.

  // Two levels below a drive root.
  const base::FilePath below_root(L"C:\\TavroStatusTest-4d1f\\sub");
  ASSERT_FALSE(base::PathExists(below_root.DirName()));
  status = Read(below_root);
  EXPECT_TRUE(status->valid_install_path());
  EXPECT_EQ(base::FilePath(L"C:\\"), status->valid_parent_folder());
}

TEST_F(StatusTest, FolderTheUserMayNotWriteToHasNoWriteAccess) {
  // Wine keeps an access list given at creation (not one set later).
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;OICI;FA;;;SY)", SDDL_REVISION_1, &raw_descriptor, nullptr));
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw_descriptor, FALSE};
  const base::FilePath locked = root_.Append(L"locked");
  ASSERT_TRUE(::CreateDirectoryW(locked.value().c_str(), &attributes));

  std::unique_ptr<Status> status = Read(locked);
  EXPECT_TRUE(status->valid_install_path());
  EXPECT_FALSE(status->details().has_write_access);
  status = Read(locked.Append(L"new"));
  EXPECT_TRUE(status->valid_install_path());
  EXPECT_EQ(locked, status->valid_parent_folder());
  EXPECT_FALSE(status->details().has_write_access);
}

TEST_F(StatusTest, ReadsWhatAnInstallationChose) {
  const base::FilePath folder = root_.Append(L"Tavro");
  const base::FilePath shortcuts = root_.Append(L"shortcuts");
  ASSERT_TRUE(base::CreateDirectory(shortcuts));
  InstallStatus recorded;
  recorded.all_users = true;
  recorded.subfolder = base::FilePath(L"7.4.3105.12");
  recorded.desktop_shortcut = shortcuts.Append(L"Tavro.lnk");
  recorded.start_menu_shortcut = shortcuts.Append(L"Tavro start.lnk");
  recorded.quick_launch_shortcut = shortcuts.Append(L"missing.lnk");
  recorded.hklm_keys.push_back({1, L"Software\\Tavro", {}});
  ASSERT_TRUE(test::MakeTestInstallation(folder, recorded, R"({
      "single_profile": "yes", "import_browser_data": false, "enable_stats": true,
      "language": "de", "welcome-url": "https://www.tavro.example/welcome?utm=x",
      "profile_path": "profile",
      "all-installer-experiments": ["installer-experiment-test@1"]})"));
  const base::FilePath browser = folder.Append(recorded.subfolder).Append(GetBrowserExeName());
  MakeShortcut(recorded.desktop_shortcut, folder.Append(kLauncherExeName));
  MakeShortcut(recorded.start_menu_shortcut, browser);
  MakeShortcut(pins_.Append(L"Tavro.lnk"), browser);
  ASSERT_TRUE(WriteTestFile(folder.Append(L"server_tracking_data"), "utm=abc"));
  ASSERT_TRUE(base::CreateDirectory(folder.Append(L"profile")));
  ASSERT_TRUE(WriteTestFile(folder.Append(L"profile\\Local State"),
                            R"({"intl": {"app_locale": "fr"}})"));

  std::unique_ptr<Status> status = Read(folder);
  ASSERT_TRUE(status->existing_installation());
  EXPECT_TRUE(status->valid_install_path());
  EXPECT_FALSE(status->morrit_installation());
  EXPECT_EQ(folder, status->valid_parent_folder());
  EXPECT_EQ(recorded.subfolder, status->install_status().subfolder);
  EXPECT_TRUE(status->install_status().all_users);

  const StatusDetails& details = status->details();
  EXPECT_TRUE(details.has_write_access);
  // The desktop shortcut points to the launcher, as it should.
  EXPECT_TRUE(details.desktop_shortcut_exists);
  EXPECT_FALSE(details.recreate_desktop_shortcut);
  // The start-menu shortcut and the pin point to the browser itself: both are made again.
  EXPECT_TRUE(details.start_menu_shortcut_exists);
  EXPECT_TRUE(details.recreate_start_menu_shortcut);
  ASSERT_EQ(1u, details.pinned_shortcut_paths.size());
  EXPECT_EQ(pins_.Append(L"Tavro.lnk"), details.pinned_shortcut_paths[0]);
  EXPECT_TRUE(details.recreate_pinned_shortcut);
  EXPECT_FALSE(details.quick_launch_shortcut_exists);
  EXPECT_FALSE(details.recreate_quick_launch_shortcut);

  EXPECT_EQ(-1, details.single_profile);  // A string is no boolean.
  EXPECT_EQ(0, details.import_browser_data);
  EXPECT_EQ(1, details.enable_stats);
  EXPECT_EQ("https://www.tavro.example/welcome?utm=x", details.welcome_url);
  EXPECT_EQ("utm=abc", details.tracking_data);
  EXPECT_EQ(folder.Append(L"profile"), details.profile_path);
  EXPECT_EQ(L"fr", details.language);  // The profile's language wins over the installer's.
  EXPECT_EQ(-1, details.old_product_type);  // Its own preferences were read.
  EXPECT_TRUE(status->experiments().IsEnabled("installer-experiment-test"));
  EXPECT_FALSE(details.is_http_handler);
}

// Every folder the user types is read: damaged files there are left exactly as they are.
TEST_F(StatusTest, ReadingAFolderChangesNothingInIt) {
  const base::FilePath folder = root_.Append(L"Tavro");
  const base::FilePath prefs = folder.Append(kInstallerPrefsFileName);
  const base::FilePath local_state = folder.Append(L"profile\\Local State");
  ASSERT_TRUE(test::MakeTestInstallation(folder, InstallStatus(), "{\"single_profile\": true}"));
  ASSERT_TRUE(base::CreateDirectory(local_state.DirName()));
  const struct {
    base::FilePath file;
    std::string damaged;
  } cases[] = {
      {local_state, "{\"intl\": "},
      {prefs, "{\"single_profile\": true, \"lang"},
  };
  for (const auto& entry : cases) {
    ASSERT_TRUE(WriteTestFile(entry.file, entry.damaged));
    EXPECT_TRUE(Read(folder)->existing_installation());
    std::string contents;
    EXPECT_TRUE(base::ReadFileToString(entry.file, &contents));
    EXPECT_EQ(entry.damaged, contents);
    EXPECT_FALSE(base::PathExists(entry.file.AddExtension(L"bad"))) << entry.file;
  }
}

TEST_F(StatusTest, InstallationThatRegisteredAnythingIsNoStandaloneCopy) {
  // {copy only, all users, user keys, machine keys} as recorded, then as understood.
  const bool cases[][6] = {
      {true, true, false, false, true, false},    // A copy registers nothing, for nobody.
      {true, false, true, false, false, false},   // Left keys for the user: not a copy.
      {false, false, false, true, false, false},  // Machine keys alone: still one user's.
      {false, true, false, true, false, true},    // All users as recorded.
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const bool* c = cases[i];
    InstallStatus recorded;
    recorded.copy_only = c[0];
    recorded.all_users = c[1];
    if (c[2])
      recorded.hkcu_keys.push_back({0, L"Software\\Tavro", {}});
    if (c[3])
      recorded.hklm_keys.push_back({0, L"Software\\Tavro", {}});
    const base::FilePath folder = root_.Append(std::to_wstring(i));
    ASSERT_TRUE(test::MakeTestInstallation(folder, recorded, ""));
    std::unique_ptr<Status> status = Read(folder);
    ASSERT_TRUE(status->existing_installation());
    EXPECT_EQ(c[4], status->install_status().copy_only) << folder;
    EXPECT_EQ(c[5], status->install_status().all_users) << folder;
  }
}

TEST_F(StatusTest, OlderGenerationCountsAsInstallationOnlyWhenReplaced) {
  const base::FilePath folder = root_.Append(L"old");
  ASSERT_TRUE(base::CreateDirectory(folder));
  ASSERT_TRUE(SaveInstallStatus(folder.Append(kMorritInstallLogFileName), InstallStatus()));
  ASSERT_TRUE(WriteTestFile(folder.Append(kMorritPrefsFileName),
                            "[System]\r\nTavro Product=2\r\nMulti User=0\r\n"
                            "[User Prefs]\r\nLanguage Files Directory=C:\\old\\locale\\nb\\\r\n"));

  std::unique_ptr<Status> kept = Read(folder, false);
  EXPECT_TRUE(kept->valid_install_path());
  EXPECT_TRUE(kept->morrit_installation());
  EXPECT_FALSE(kept->existing_installation());
  EXPECT_EQ(2, kept->details().old_product_type);
  EXPECT_EQ(1, kept->details().single_profile);
  EXPECT_EQ(L"nb", kept->details().language);

  std::unique_ptr<Status> replaced = Read(folder, true);
  EXPECT_TRUE(replaced->morrit_installation());
  EXPECT_TRUE(replaced->existing_installation());
}

TEST_F(StatusTest, LauncherWithoutStatusFileLeavesTracesOnly) {
  const base::FilePath folder = root_.Append(L"traces");
  ASSERT_TRUE(base::CreateDirectory(folder));
  ASSERT_TRUE(WriteTestFile(folder.Append(kLauncherExeName), "MZ"));
  std::unique_ptr<Status> status = Read(folder);
  EXPECT_TRUE(status->valid_install_path());
  EXPECT_FALSE(status->existing_installation());
  EXPECT_TRUE(status->existing_installation_traces());
  EXPECT_EQ(0, status->details().old_product_type);
  EXPECT_EQ(-1, status->details().single_profile);
}

// An installation whose status file is damaged, or gone with its uninstall entry left, is
// still one: its record is made anew from what it left, so that an installation over it is
// an upgrade and its uninstaller removes it.
TEST_F(StatusTest, InstallationWithADamagedOrMissingStatusFileIsRecognisedByWhatItLeft) {
  const base::FilePath broken = root_.Append(L"broken");
  InstallStatus recorded;
  recorded.subfolder = base::FilePath(L"1.2.3.4_0");
  ASSERT_TRUE(test::MakeTestInstallation(broken, recorded, "{not json"));
  ASSERT_TRUE(WriteTestFile(broken.Append(kInstallStatusFileName),
                            "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]>"
                            "<install_log><copy_only>&a;</copy_only>"));
  // An older version folder, the launcher's manifest, a component and a user's folder.
  const auto write = [](const base::FilePath& path, std::string_view text) {
    return base::CreateDirectory(path.DirName()) && WriteTestFile(path, text);
  };
  ASSERT_TRUE(write(broken.Append(L"1.2.3.4_0\\resources\\about.txt"), "about"));
  ASSERT_TRUE(write(broken.Append(L"1.2.3.3\\").Append(GetBrowserExeName()), "MZ"));
  ASSERT_TRUE(write(broken.Append(L"launcher.VisualElementsManifest.xml"), "<x/>"));
  ASSERT_TRUE(write(broken.Append(L"suite\\suite_installer.exe"), "MZ"));
  ASSERT_TRUE(write(broken.Append(L"downloads\\notes.txt"), "the user's"));
  std::unique_ptr<Status> status = Read(broken);
  ASSERT_TRUE(status->existing_installation());
  EXPECT_TRUE(status->record_made_anew());
  InstallStatus made = status->install_status();
  EXPECT_EQ(recorded.subfolder, made.subfolder);
  EXPECT_EQ((std::vector<std::string>{"resources\\about.txt", base::Utf16ToUtf8(GetBrowserExeName())}),
            made.files);
  EXPECT_EQ(std::vector<std::string>{"launcher.VisualElementsManifest.xml"}, made.root_files);
  EXPECT_EQ((std::vector<InstallComponent>{{"suite", broken.Append(L"suite")}}), made.components);
  EXPECT_TRUE(made.copy_only);
  EXPECT_TRUE(made.hklm_keys.empty() && made.hkcu_keys.empty());

  // Without a status file, the uninstall entry that names the folder tells.
  const base::FilePath registered = root_.Append(L"registered");
  ASSERT_TRUE(write(registered.Append(L"7.0.1.2\\").Append(GetBrowserExeName()), "MZ"));
  const std::wstring uninstall_key = GetUninstallRegistryKey() + L"\\Tavro 7.0.1.2";
  base::win::RegistryKey entry;
  ASSERT_EQ(ERROR_SUCCESS,
            entry.Create(HKEY_CURRENT_USER, uninstall_key.c_str(), KEY_WRITE | KEY_WOW64_32KEY));
  ASSERT_EQ(ERROR_SUCCESS, entry.WriteValue(L"InstallLocation", registered.value().c_str()));
  ASSERT_EQ(ERROR_SUCCESS, entry.WriteValue(L"DisplayVersion", L"7.0.1.2"));
  status = Read(registered);
  ASSERT_TRUE(status->existing_installation());
  made = status->install_status();
  EXPECT_FALSE(made.copy_only);
  EXPECT_FALSE(made.all_users);
  EXPECT_EQ(base::FilePath(L"7.0.1.2"), made.subfolder);
  EXPECT_EQ("7.0.1.2", made.version);
  const auto recorded_entry =
      std::find_if(made.hkcu_keys.begin(), made.hkcu_keys.end(),
                   [&](const RegistryKeyRecord& key) { return key.key_path == uninstall_key; });
  ASSERT_NE(made.hkcu_keys.end(), recorded_entry);
  EXPECT_EQ(1u, recorded_entry->clean_depth);
  EXPECT_TRUE(made.hklm_keys.empty());

  // With neither, the browser's version folder and the launcher beside it still tell.
  ASSERT_TRUE(base::DeletePath(broken.Append(kInstallStatusFileName), false));
  status = Read(broken);
  ASSERT_TRUE(status->existing_installation());
  EXPECT_EQ(recorded.subfolder, status->install_status().subfolder);
  // A launcher alone is no installation (LauncherWithoutStatusFileLeaves...).
  ASSERT_TRUE(base::DeletePath(broken.Append(L"1.2.3.4_0"), true));
  ASSERT_TRUE(base::DeletePath(broken.Append(L"1.2.3.3"), true));
  EXPECT_FALSE(Read(broken)->existing_installation());
}

TEST_F(StatusTest, MalformedOrOversizedFilesAreIgnored) {
  // An installation with unreadable preferences and far too much tracking data.
  const base::FilePath installed = root_.Append(L"installed");
  ASSERT_TRUE(test::MakeTestInstallation(installed, InstallStatus(), "[1, 2"));
  ASSERT_TRUE(WriteTestFile(installed.Append(L"server_tracking_data"),
                            std::string(2 * 1024 * 1024, 'x')));
  std::unique_ptr<Status> status = Read(installed);
  ASSERT_TRUE(status->existing_installation());
  EXPECT_TRUE(status->details().tracking_data.empty());
  EXPECT_EQ(-1, status->details().single_profile);
  EXPECT_EQ(-1, status->details().enable_stats);
  EXPECT_TRUE(status->details().language.empty());
}

}  // namespace
}  // namespace installer
