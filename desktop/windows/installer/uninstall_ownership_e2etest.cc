// Uninstallations through the real installer.exe under Wine, of silent installations from
// the local server, that meet values read back from the installation which point
// elsewhere: a profile folder that holds more than a profile, a status file that names
// files, a component and a key outside the installation, damaged preferences, a folder name
// that the command interpreter would read otherwise. Nothing outside the installation
// changes, and the uninstallation still succeeds.

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/path_registry.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/known_folder.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/test/server_install_e2e_test.h"
#include "desktop/windows/installer/test/snapshot_difference.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

constexpr char kLastInstallPath[] = "Last Stable Install Path";
constexpr char kNoDifferences[] = "(no differences)\n";

base::FilePath GetKnownFolder(REFKNOWNFOLDERID id) {
  base::FilePath path;
  EXPECT_EQ(S_OK, base::win::GetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, &path));
  return path;
}

bool WriteNewFile(const base::FilePath& path, const std::string& contents) {
  return base::CreateDirectory(path.DirName()) && WriteTestFile(path, contents);
}

class UninstallOwnershipE2eTest : public ServerInstallE2eTest {
 protected:
  void SetUp() override {
    ServerInstallE2eTest::SetUp();
    if (HasFatalFailure())
      return;
    // What the user keeps beside the installation, and the standard profile of another
    // installation of the stream (the folders the system's roaming and local application
    // data hold for it).
    const ProductNaming& naming = ProductNaming::GetInstance();
    for (const KNOWNFOLDERID* id : {&FOLDERID_RoamingAppData, &FOLDERID_LocalAppData}) {
      const base::FilePath folder = GetKnownFolder(*id);
      const base::FilePath company = folder.Append(naming.GetCompanyName());
      const base::FilePath profile = company.Append(naming.GetVisibleNameWithStream());
      for (const base::FilePath& made : {company, profile}) {
        if (!base::PathExists(made))
          made_folders_.insert(made_folders_.begin(), made);
      }
      kept_files_.push_back(folder.Append(L"tavro_test_kept.txt"));
      kept_files_.push_back(profile.Append(L"Preferences"));
      company_folders_.push_back(company);
    }
    kept_files_.push_back(work_folder().Append(L"Apps\\Keep\\data.txt"));
    for (const base::FilePath& file : kept_files_)
      ASSERT_TRUE(WriteNewFile(file, "kept"));
    shortcuts_before_ = ReadShortcuts();
  }

  void TearDown() override {
    for (const base::FilePath& file : kept_files_)
      base::DeletePath(file, false);
    for (const base::FilePath& folder : made_folders_)
      base::DeletePath(folder, false);
    ServerInstallE2eTest::TearDown();
  }

  void Install(const base::FilePath& folder, const std::wstring& switches) {
    // The browser is not started: it would run outside the test's environment.
    const ProcessResult run =
        RunHost(L"--silent --launchtavro=0 --installfolder=\"" + folder.value() + L"\" " + switches,
                options_);
    ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  }

  // Uninstalls with the installer the installation keeps, as the uninstall entry does, and
  // waits for its clean-up batch too.
  void Uninstall(const base::FilePath& folder, const std::wstring& switches) {
    const base::FilePath installer =
        folder.AppendASCII(ExamplePackage::Current().version()).Append(L"installer.exe");
    const ProcessResult run =
        RunProcess(L"\"" + installer.value() + L"\" --uninstall --silent " + switches, options_);
    EXPECT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
    EXPECT_EQ(std::wstring(), FindUninstallEntry(folder));
  }

  // The registry holds what it held but the last install folder and the emptied keys that
  // the installation shared with other programs.
  void ExpectRegistryAsBefore() {
    const RegistrySnapshot after = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
    const std::wstring company_key = L"HKCU\\" + GetCompanyRegistryKey();
    const std::wstring last_install_path =
        company_key + L"\\" + base::Utf8ToUtf16(kLastInstallPath);
    for (const SnapshotDifference& difference :
         CompareSnapshots(registry_before(), after, RegistrySnapshot::DefaultAllowList())) {
      const RegistrySnapshot::Values* values = after.FindKey(difference.path);
      const bool empty_key = values && values->empty();
      // The company key is new when no earlier run of the prefix made it.
      const bool only_last_install_path =
          difference.path == company_key && values && values->size() == 1 &&
          values->count(base::Utf8ToUtf16(kLastInstallPath)) == 1;
      EXPECT_TRUE(difference.kind == SnapshotDifference::Kind::kAdded &&
                  (empty_key || only_last_install_path || difference.path == last_install_path))
          << FormatDifferences({difference});
    }
  }

  // The files the user keeps, as they were.
  void ExpectKeptFilesKept() {
    for (const base::FilePath& file : kept_files_) {
      std::string contents;
      EXPECT_TRUE(base::ReadFileToString(file, &contents) && contents == "kept") << file;
    }
  }

  // The shortcuts of the product's names in the desktops, start menus and quick launch
  // folder, with their contents. Only those names: a Wine prefix's desktop may be the Linux
  // home folder, shared with everything else there.
  static std::map<base::FilePath, std::string> ReadShortcuts() {
    std::map<base::FilePath, std::string> shortcuts;
    for (int key : {base::DIR_USER_DESKTOP, base::DIR_COMMON_DESKTOP, base::DIR_START_MENU,
                    base::DIR_COMMON_START_MENU, base::DIR_USER_QUICK_LAUNCH}) {
      base::FilePath folder;
      EXPECT_TRUE(base::PathRegistry::Get(key, &folder)) << key;
      for (bool with_version : {false, true}) {
        const base::FilePath shortcut = folder.Append(Installer::GetMasterShortcutName(with_version));
        std::string contents;
        if (base::ReadFileToString(shortcut, &contents))
          shortcuts[shortcut] = contents;
      }
    }
    return shortcuts;
  }

  // The installation made (or remade) its desktop, start menu and quick launch shortcuts.
  void ExpectShortcutsMade() {
    const std::map<base::FilePath, std::string> after = ReadShortcuts();
    size_t made = 0;
    for (const auto& shortcut : after) {
      const auto before = shortcuts_before_.find(shortcut.first);
      if (before == shortcuts_before_.end() || before->second != shortcut.second)
        ++made;
    }
    EXPECT_EQ(3u, made);
  }

  // The shortcut folders hold what they held before the test.
  void ExpectShortcutFoldersAsBefore() {
    const std::map<base::FilePath, std::string> after = ReadShortcuts();
    for (const auto& shortcut : after)
      EXPECT_EQ(1u, shortcuts_before_.count(shortcut.first)) << "left behind: " << shortcut.first;
    EXPECT_EQ(shortcuts_before_.size(), after.size());
  }

  ProcessOptions options_ = MakeProcessOptions();
  std::vector<base::FilePath> kept_files_;
  std::vector<base::FilePath> company_folders_;
  std::map<base::FilePath, std::string> shortcuts_before_;
  // The folders the test made for the kept files, deepest first.
  std::vector<base::FilePath> made_folders_;
};

// A profile folder that is no folder of its own: given as a switch ("..", the roaming folder
// in another letter case) or read back from the preferences ("."), it is refused and kept,
// with everything beside the installation; the local counterpart too.
TEST_F(UninstallOwnershipE2eTest, ProfileFolderThatHoldsMoreThanAProfileIsKept) {
  const base::FilePath apps = work_folder().Append(L"Apps");
  const base::FilePath installation = apps.Append(L"Tavro");
  const TreeSnapshot work_before = TreeSnapshot::Capture(work_folder());
  const std::vector<TreeSnapshot> companies_before = {TreeSnapshot::Capture(company_folders_[0]),
                                                      TreeSnapshot::Capture(company_folders_[1])};

  Install(installation, L"--profile-folder=..");
  const base::FilePath prefs_file = installation.Append(kInstallerPrefsFileName);
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(prefs_file, &text));
  std::unique_ptr<base::DictionaryValue> prefs =
      base::DictionaryValue::From(base::JsonReader::Read(text));
  ASSERT_TRUE(prefs);
  EXPECT_FALSE(prefs->HasKey("profile_path")) << text;
  // As a file of an older or a tampered installation would say.
  prefs->SetString("profile_path", ".");
  ASSERT_TRUE(base::JsonWriter::Write(*prefs, &text));
  ASSERT_TRUE(WriteTestFile(prefs_file, text));
  ASSERT_TRUE(WriteTestFile(installation.Append(L"notes.txt"), "the user's own"));
  Uninstall(installation, L"--deleteuserprofile");
  EXPECT_EQ(
      "+ Apps\\Tavro\n"
      "+ Apps\\Tavro\\installer_prefs.json\n"
      "+ Apps\\Tavro\\notes.txt\n",
      FormatDifferences(CompareSnapshots(work_before, TreeSnapshot::Capture(work_folder()))));

  const base::FilePath other = apps.Append(L"Other");
  Install(other, L"--profile-folder=\"" +
                     base::ToUpperAscii(GetKnownFolder(FOLDERID_RoamingAppData).value()) + L"\"");
  Uninstall(other, L"--deleteuserprofile");
  EXPECT_TRUE(base::PathExists(other.Append(kInstallerPrefsFileName)));
  EXPECT_FALSE(base::PathExists(other.Append(kLauncherExeName)));

  ExpectKeptFilesKept();
  for (size_t i = 0; i < company_folders_.size(); ++i) {
    EXPECT_EQ(kNoDifferences, FormatDifferences(CompareSnapshots(
                                  companies_before[i], TreeSnapshot::Capture(company_folders_[i]))))
        << company_folders_[i];
  }
  ExpectShortcutFoldersAsBefore();
  ExpectRegistryAsBefore();
}

// The record of the installation names a subfolder that climbs out of it, a component
// installer outside it (signed by the product's signer) and a key that the installation
// never writes; its preferences are cut short, so the profile mode cannot be read. The
// uninstallation removes the installation's registration and shortcuts, and nothing else:
// no file beside it, no key of another program, no profile, and it runs no component.
TEST_F(UninstallOwnershipE2eTest, RecordThatPointsOutsideTheInstallationTouchesNothingThere) {
  const base::FilePath installation = work_folder().Append(L"Apps\\Tavro");
  const base::FilePath victim = work_folder().Append(L"Apps\\victim\\tavro.exe");
  const base::FilePath foreign = work_folder().Append(L"foreign");
  const std::wstring foreign_key = L"Software\\TavroTestForeign\\Shell\\Foo";
  ASSERT_TRUE(WriteNewFile(victim, "another program"));
  ASSERT_TRUE(base::CreateDirectory(foreign));
  ASSERT_TRUE(base::CopySingleFile(
      ExamplePackage::Current().component_folder().Append(L"suite_installer.exe"),
      foreign.Append(L"foreign_installer.exe")));
  ASSERT_TRUE(WriteRegistryDefaultValue(HKEY_CURRENT_USER, foreign_key, L"another program"));
  Install(installation, L"");
  const RegistrySnapshot keys_before = RegistrySnapshot::Capture(
      {{HKEY_CURRENT_USER, L"Software\\TavroTestForeign", KEY_WOW64_64KEY, {}}});
  {
    base::win::ScopedComInitializer com;
    const base::FilePath status_file = installation.Append(kInstallStatusFileName);
    InstallStatus status;
    ASSERT_TRUE(LoadInstallStatus(status_file, &status));
    status.subfolder = base::FilePath(L"..\\victim");
    status.components.push_back({"foreign", foreign});
    status.hkcu_keys.push_back({3, foreign_key, {}});
    ASSERT_TRUE(SaveInstallStatus(status_file, status));
  }
  const base::FilePath prefs_file = installation.Append(kInstallerPrefsFileName);
  std::string prefs;
  ASSERT_TRUE(base::ReadFileToString(prefs_file, &prefs));
  prefs.resize(prefs.size() / 2);
  ASSERT_TRUE(WriteTestFile(prefs_file, prefs));
  const TreeSnapshot work_before = TreeSnapshot::Capture(work_folder());

  Uninstall(installation, L"--deleteuserprofile");
  // The files of the climbing subfolder stay, with those of the version folder, which the
  // record no longer names.
  const std::string differences =
      FormatDifferences(CompareSnapshots(work_before, TreeSnapshot::Capture(work_folder())));
  EXPECT_EQ(std::string::npos, differences.find("victim")) << differences;
  EXPECT_EQ(std::string::npos, differences.find("foreign")) << differences;
  EXPECT_EQ(std::string::npos, differences.find("Keep")) << differences;
  EXPECT_EQ(std::string::npos, differences.find("installer_prefs")) << differences;
  EXPECT_FALSE(base::PathExists(installation.Append(kInstallStatusFileName)));
  EXPECT_FALSE(base::PathExists(installation.Append(kLauncherExeName)));
  EXPECT_FALSE(base::PathExists(prefs_file.AddExtension(L"bad")));
  EXPECT_TRUE(ReadStubInvocations(L"foreign_installer.exe").empty());
  EXPECT_EQ(kNoDifferences,
            FormatDifferences(CompareSnapshots(
                keys_before,
                RegistrySnapshot::Capture(
                    {{HKEY_CURRENT_USER, L"Software\\TavroTestForeign", KEY_WOW64_64KEY, {}}}))));
  ExpectKeptFilesKept();
  ExpectShortcutFoldersAsBefore();
  base::win::RegistryKey(HKEY_CURRENT_USER, L"Software", KEY_ALL_ACCESS)
      .DeleteKey(L"TavroTestForeign");
  ExpectRegistryAsBefore();
}

// An install folder whose name holds what the command interpreter would expand, split,
// escape or read in another code page ("%", "&", "^", "!", a fullwidth quote, Polish and
// Chinese letters): its clean-up batch still removes the installer it ran from, the
// variable named in it runs no command, and its shortcuts go with it.
TEST_F(UninstallOwnershipE2eTest, FolderNameThatTheInterpreterWouldReadOtherwise) {
  const base::FilePath injected = work_folder().Append(L"injected.txt");
  options_.environment.push_back(
      {L"TAVRO_X", L"\" & echo INJECTED> \"" + injected.value() + L"\" & rem \""});
  const base::FilePath installation =
      work_folder().Append(L"50%TAVRO_X% & ^!\\a\uFF02b \u0141\u00F3d\u017A \u4E2D\u6587");
  const TreeSnapshot work_before = TreeSnapshot::Capture(work_folder());
  Install(installation, L"--desktopshortcut=1 --startmenushortcut=1 --quicklaunchshortcut=1");
  ExpectShortcutsMade();
  Uninstall(installation, L"");
  EXPECT_EQ(
      "+ 50%TAVRO_X% & ^!\n"
      "+ " +
          base::Utf16ToUtf8(installation.DirName().BaseName().value()) + "\\" +
          base::Utf16ToUtf8(installation.BaseName().value()) + "\n" + "+ " +
          base::Utf16ToUtf8(installation.DirName().BaseName().value()) + "\\" +
          base::Utf16ToUtf8(installation.BaseName().value()) + "\\installer_prefs.json\n",
      FormatDifferences(CompareSnapshots(work_before, TreeSnapshot::Capture(work_folder()))));
  EXPECT_FALSE(base::PathExists(injected));
  ExpectKeptFilesKept();
  ExpectShortcutFoldersAsBefore();
  ExpectRegistryAsBefore();
}

}  // namespace
}  // namespace test
}  // namespace installer
