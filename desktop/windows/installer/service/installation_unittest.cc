#include "desktop/windows/installer/service/installation.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/executable_path.h"
#include "base/win/known_folder.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

base::FilePath GetKnownFolder(REFKNOWNFOLDERID id) {
  base::FilePath path;
  EXPECT_EQ(S_OK, base::win::GetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, &path));
  return path;
}

void WriteFile(const base::FilePath& path, const std::string& contents) {
  ASSERT_EQ(static_cast<int>(contents.size()),
            base::WriteFileFromBuffer(path, contents.data(), static_cast<int>(contents.size())));
}

class InstallationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    folder_ = temp_dir_.GetPath();
  }

  void SaveStatus(bool copy_only) {
    InstallStatus status;
    status.copy_only = copy_only;
    ASSERT_TRUE(SaveInstallStatus(folder_.Append(kInstallStatusFileName), status));
  }
  void WritePrefs(const std::string& json) {
    WriteFile(folder_.Append(kInstallerPrefsFileName), json);
  }
  base::FilePath GetProfile(bool must_exist) {
    base::FilePath path;
    return Installation(folder_).GetProfileDirectory(&path, must_exist) ? path : base::FilePath();
  }

  base::win::ScopedComInitializer com_;
  base::ScopedTempDir temp_dir_;
  base::FilePath folder_;
};

TEST_F(InstallationTest, CopyOnly) {
  EXPECT_FALSE(Installation(folder_).IsCopyOnly());  // No status file.
  SaveStatus(true);
  EXPECT_TRUE(Installation(folder_).IsCopyOnly());
  InstallStatus given;
  EXPECT_FALSE(Installation(folder_, given).IsCopyOnly());  // A given status wins.
  WriteFile(folder_.Append(kInstallStatusFileName), "<broken");
  EXPECT_FALSE(Installation(folder_).IsCopyOnly());
}

TEST_F(InstallationTest, ProfileDirectory) {
  const ProductNaming& naming = ProductNaming::GetInstance();
  const base::FilePath roaming_profile = GetKnownFolder(FOLDERID_RoamingAppData)
                                             .Append(naming.GetCompanyName())
                                             .Append(naming.GetVisibleNameWithStream());
  const base::FilePath single_profile = folder_.Append(L"profile");

  // Neither preferences nor status: a multi-profile installation.
  EXPECT_EQ(roaming_profile, GetProfile(false));
  // A copy-only installation keeps its profile in the install folder.
  SaveStatus(true);
  EXPECT_EQ(single_profile, GetProfile(false));
  EXPECT_EQ(base::FilePath(), GetProfile(true));
  ASSERT_TRUE(base::CreateDirectory(single_profile));
  EXPECT_EQ(single_profile, GetProfile(true));

  // The preferences decide over the status.
  WritePrefs("{\"single_profile\": false}");
  EXPECT_EQ(roaming_profile, GetProfile(false));
  SaveStatus(false);
  WritePrefs("{\"single_profile\": true}");
  EXPECT_EQ(single_profile, GetProfile(false));
  WritePrefs("{\"single_profile\": \"yes\", \"profile_path\": \"\"}");
  EXPECT_EQ(roaming_profile, GetProfile(false));
  WritePrefs("{\"single_profile\": true, \"profile_path\": \"D:\\\\Profiles\\\\Mine\"}");
  EXPECT_EQ(base::FilePath(L"D:\\Profiles\\Mine"), GetProfile(false));
  WritePrefs("{\"profile_path\": \"custom\"}");
  EXPECT_EQ(folder_.Append(L"custom"), GetProfile(false));
  WritePrefs("not json");
  EXPECT_EQ(roaming_profile, GetProfile(false));
}

// For deleting it, the profile is only what the preferences record: a guess would name the
// standard profile, which another installation may use.
TEST_F(InstallationTest, RecordedProfileDirectory) {
  SaveStatus(true);
  auto recorded = [this]() {
    base::FilePath path;
    return Installation(folder_).GetRecordedProfileDirectory(&path) ? path : base::FilePath();
  };
  EXPECT_EQ(base::FilePath(), recorded());  // No preferences.
  for (const char* unreadable : {"not json", "[true]", "{\"single_profile\": \"yes\"}", "{}"}) {
    WritePrefs(unreadable);
    EXPECT_EQ(base::FilePath(), recorded()) << unreadable;
  }
  WritePrefs("{\"single_profile\": true}");
  EXPECT_EQ(folder_.Append(L"profile"), recorded());
  WritePrefs("{\"single_profile\": false}");
  const ProductNaming& naming = ProductNaming::GetInstance();
  EXPECT_EQ(GetKnownFolder(FOLDERID_RoamingAppData)
                .Append(naming.GetCompanyName())
                .Append(naming.GetVisibleNameWithStream()),
            recorded());
  WritePrefs("{\"profile_path\": \"D:\\\\Profiles\\\\Mine\"}");
  EXPECT_EQ(base::FilePath(L"D:\\Profiles\\Mine"), recorded());
}

TEST_F(InstallationTest, TranslateProfilePath) {
  const base::FilePath roaming = GetKnownFolder(FOLDERID_RoamingAppData);
  const base::FilePath local = GetKnownFolder(FOLDERID_LocalAppData);
  const Installation installation(folder_);
  base::FilePath translated;
  installation.TranslateProfilePath(roaming.Append(L"Tavro Software").Append(L"Tavro Stable"),
                                    &translated);
  EXPECT_EQ(local.Append(L"Tavro Software").Append(L"Tavro Stable"), translated);
  installation.TranslateProfilePath(roaming, &translated);
  EXPECT_EQ(local, translated);
  // In another letter case it is the same folder.
  std::wstring upper = roaming.Append(L"X").value();
  ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
  installation.TranslateProfilePath(base::FilePath(upper), &translated);
  EXPECT_EQ(local.Append(L"X"), translated);
  installation.TranslateProfilePath(folder_.Append(L"profile"), &translated);
  EXPECT_EQ(folder_.Append(L"profile"), translated);
}

TEST_F(InstallationTest, InstallationFolderOfExecutable) {
  const base::FilePath subfolder = folder_.Append(L"1.2.3.4");
  ASSERT_TRUE(base::CreateDirectory(subfolder));
  // Neither folder has a launcher: the executable's own folder.
  EXPECT_EQ(subfolder, GetInstallationFolderOf(subfolder));
  // The launcher in the parent: the parent.
  WriteFile(folder_.Append(kLauncherExeName), "MZ");
  EXPECT_EQ(folder_, GetInstallationFolderOf(subfolder));
  EXPECT_EQ(folder_, GetInstallationFolderOf(folder_));
  // A launcher beside the executable wins.
  WriteFile(subfolder.Append(kLauncherExeName), "MZ");
  EXPECT_EQ(subfolder, GetInstallationFolderOf(subfolder));

  // The running test program has no launcher beside it or above it.
  base::FilePath exe;
  ASSERT_TRUE(base::win::GetExecutablePath(&exe));
  const base::FilePath exe_folder = exe.DirName();
  EXPECT_EQ(GetInstallationFolderOf(exe_folder), GetCurrentInstallation().folder());
  EXPECT_EQ(&GetCurrentInstallation(), &GetCurrentInstallation());
}

TEST_F(InstallationTest, DefaultHandler) {
  test::ScopedRegistryOverride registry;
  ASSERT_TRUE(registry.IsValid());
  InstallStatus status;
  status.subfolder = base::FilePath(L"1.2.3.4");
  const Installation installation(folder_, status);
  const std::wstring launcher_command =
      L"\"" + folder_.Append(L"LAUNCHER.EXE").value() + L"\" -- \"%1\"";
  const std::wstring other_command = L"\"C:\\Other\\other.exe\" \"%1\"";

  EXPECT_FALSE(installation.IsDefaultHandlerFor(L"http", false));

  // The machine's class, matched without regard to case.
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_LOCAL_MACHINE, L"Software\\Classes\\http\\shell\\open\\command", launcher_command));
  EXPECT_TRUE(installation.IsDefaultHandlerFor(L"http", false));
  EXPECT_FALSE(installation.IsDefaultHandlerFor(L"http", true));
  EXPECT_FALSE(installation.IsDefaultHandlerFor(L"https", false));
  // The user's class overrides it.
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_CURRENT_USER, L"Software\\Classes\\http\\shell\\open\\command", other_command));
  EXPECT_FALSE(installation.IsDefaultHandlerFor(L"http", false));
  // The user's choice overrides both.
  base::win::RegistryKey choice;
  ASSERT_EQ(ERROR_SUCCESS,
            choice.Create(HKEY_CURRENT_USER,
                          L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\"
                          L"http\\UserChoice",
                          KEY_SET_VALUE));
  ASSERT_EQ(ERROR_SUCCESS, choice.WriteValue(L"Progid", L"ChosenClass"));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_CURRENT_USER, L"Software\\Classes\\ChosenClass\\shell\\open\\command",
      launcher_command));
  EXPECT_TRUE(installation.IsDefaultHandlerFor(L"http", false));

  // An extension through the class its default value names; the browser executable in
  // the installation's subfolder.
  ASSERT_TRUE(test::WriteRegistryDefaultValue(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.html",
                                              L"BrowserHtml"));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_LOCAL_MACHINE, L"Software\\Classes\\BrowserHtml\\shell\\open\\command",
      folder_.Append(L"1.2.3.4").Append(GetBrowserExeName()).value() + L" %1"));
  EXPECT_TRUE(installation.IsDefaultHandlerFor(L".html", true));
  EXPECT_FALSE(installation.IsDefaultHandlerFor(L".html", false));
  EXPECT_EQ(folder_.Append(L"1.2.3.4").Append(GetBrowserExeName()).value() + L" %1",
            GetAssociationOpenCommand(L".html"));
}

}  // namespace
}  // namespace installer
