#include "desktop/windows/installer/service/browser_registration.h"

#include <windows.h>

#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// The value |name| (null: the default value) of |path| below |root|; "<missing>" when
// it cannot be read.
std::wstring Read(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
  std::wstring value = L"<missing>";
  base::win::RegistryKey key(root, path.c_str(), KEY_QUERY_VALUE);
  if (key.Valid())
    key.ReadValue(name, &value);
  return value;
}

bool KeyExists(HKEY root, const std::wstring& path) {
  return base::win::RegistryKey(root, path.c_str(), KEY_QUERY_VALUE).Valid();
}

class BrowserRegistrationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    ASSERT_TRUE(registry_.IsValid());
    installation_ = std::make_unique<Installation>(temp_dir_.GetPath(), InstallStatus());
    launcher_ = L"\"" + installation_->GetLauncherPath().value() + L"\"";
    prog_id_ = GetBrowserProgId();
  }
  base::win::ScopedComInitializer com_;
  base::ScopedTempDir temp_dir_;
  test::ScopedRegistryOverride registry_;
  std::unique_ptr<Installation> installation_;
  std::wstring launcher_;
  std::wstring prog_id_;
};

TEST_F(BrowserRegistrationTest, Names) {
  EXPECT_EQ(ProductNaming::GetInstance().GetProductName() + L"Stable", prog_id_);
  EXPECT_EQ(L"Software\\Tavro Software\\" + prog_id_ + L"\\Previous Default Browser",
            GetPreviousDefaultBrowserKey());
}

TEST_F(BrowserRegistrationTest, MakeDefaultHandlerFor) {
  EXPECT_FALSE(installation_->IsDefaultHandlerFor(L"tavro-test", false));

  // The current user.
  ASSERT_TRUE(MakeDefaultHandlerFor(*installation_, L"tavro-test", false));
  EXPECT_TRUE(installation_->IsDefaultHandlerFor(L"tavro-test", false));
  EXPECT_EQ(launcher_ + L" -noautoupdate -- \"%1\"",
            Read(HKEY_CURRENT_USER, L"Software\\Classes\\tavro-test\\shell\\open\\command"));
  EXPECT_EQ(L"", Read(HKEY_CURRENT_USER, L"Software\\Classes\\tavro-test", L"URL Protocol"));
  EXPECT_EQ(L"", Read(HKEY_CURRENT_USER, L"Software\\Classes\\tavro-test\\shell\\open\\ddeexec"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\tavro-test"));

  // All users: a DDE registration of another program goes.
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_LOCAL_MACHINE, L"Software\\Classes\\mms\\shell\\open\\ddeexec\\Topic", L"WWW_OpenURL"));
  ASSERT_TRUE(MakeDefaultHandlerFor(*installation_, L"mms", true));
  EXPECT_TRUE(installation_->IsDefaultHandlerFor(L"mms", false));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\mms\\shell\\open\\ddeexec"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\mms"));

  // Only URL schemes: nothing else may name a key.
  for (const wchar_t* bad : {L"", L"exefile\\shell\\open", L"1abc", L"a b", L".html", L"-x"}) {
    EXPECT_FALSE(MakeDefaultHandlerFor(*installation_, bad, false)) << bad;
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\exefile"));
  EXPECT_TRUE(MakeDefaultHandlerFor(*installation_, L"web+x.y-z", false));
}

TEST_F(BrowserRegistrationTest, ClassRegistrationDoesNotTakeOver) {
  ASSERT_TRUE(WriteBrowserClassRegistration(*installation_, false));
  const std::wstring classes = L"Software\\Classes\\";
  const std::wstring client = L"Software\\Clients\\StartMenuInternet\\" + prog_id_;
  EXPECT_EQ(launcher_ + L" -noautoupdate -- \"%1\"",
            Read(HKEY_CURRENT_USER, classes + prog_id_ + L"\\shell\\open\\command"));
  EXPECT_EQ(installation_->GetLauncherPath().value() + L",0",
            Read(HKEY_CURRENT_USER, classes + prog_id_ + L"\\DefaultIcon"));
  EXPECT_TRUE(base::win::RegistryKey(HKEY_CURRENT_USER,
                                     (classes + L".html\\OpenWithProgIDs").c_str(), KEY_QUERY_VALUE)
                  .HasValue(prog_id_.c_str()));
  EXPECT_EQ(launcher_, Read(HKEY_CURRENT_USER, client + L"\\shell\\open\\command"));
  EXPECT_EQ(launcher_ + L" --makedefaultbrowser",
            Read(HKEY_CURRENT_USER, client + L"\\InstallInfo", L"ReinstallCommand"));
  EXPECT_EQ(prog_id_,
            Read(HKEY_CURRENT_USER, client + L"\\Capabilities\\UrlAssociations", L"https"));
  EXPECT_EQ(prog_id_,
            Read(HKEY_CURRENT_USER, client + L"\\Capabilities\\FileAssociations", L".xhtml"));
  const std::wstring application_name =
      Read(HKEY_CURRENT_USER, client + L"\\Capabilities", L"ApplicationName");
  EXPECT_EQ(client + L"\\Capabilities",
            Read(HKEY_CURRENT_USER, L"Software\\RegisteredApplications", application_name.c_str()));

  // Registered, but nothing taken over.
  EXPECT_FALSE(installation_->IsDefaultHandlerFor(L"http", false));
  EXPECT_FALSE(installation_->IsDefaultHandlerFor(L".html", false));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));
}

TEST_F(BrowserRegistrationTest, DefaultBrowserKeepsThePreviousOne) {
  const std::wstring other_command = L"\"C:\\Other\\other.exe\" \"%1\"";
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_LOCAL_MACHINE, L"Software\\Classes\\http\\shell\\open\\command", other_command));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.html",
                                              L"OtherHTML"));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_LOCAL_MACHINE, L"Software\\Clients\\StartMenuInternet", L"OTHER.EXE"));

  for (int round = 0; round < 2; ++round) {
    SavePreviousDefaultBrowser(*installation_, true);
    ASSERT_TRUE(RegisterAsDefaultBrowser(*installation_, true));
  }
  for (const wchar_t* association : {L"http", L"https", L"ftp", L".htm", L".html", L".xhtml"})
    EXPECT_TRUE(installation_->IsDefaultHandlerFor(association, false)) << association;
  EXPECT_EQ(prog_id_, Read(HKEY_LOCAL_MACHINE, L"Software\\Clients\\StartMenuInternet"));
  EXPECT_FALSE(installation_->IsDefaultHandlerFor(L".pdf", false));

  // What was there before the first registration, not the browser itself.
  const std::wstring backup = GetPreviousDefaultBrowserKey();
  EXPECT_EQ(other_command, Read(HKEY_LOCAL_MACHINE, backup, L"http"));
  EXPECT_EQ(L"", Read(HKEY_LOCAL_MACHINE, backup, L"https"));
  EXPECT_EQ(L"OtherHTML", Read(HKEY_LOCAL_MACHINE, backup, L".html"));
  EXPECT_EQ(L"", Read(HKEY_LOCAL_MACHINE, backup, L".htm"));
  EXPECT_EQ(L"OTHER.EXE", Read(HKEY_LOCAL_MACHINE, backup, L"StartMenuInternet"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes"));

  // The current user's registration takes over from the machine's.
  ASSERT_TRUE(test::WriteRegistryDefaultValue(
      HKEY_CURRENT_USER, L"Software\\Classes\\http\\shell\\open\\command", other_command));
  EXPECT_FALSE(installation_->IsDefaultHandlerFor(L"http", false));
  SavePreviousDefaultBrowser(*installation_, false);
  ASSERT_TRUE(RegisterAsDefaultBrowser(*installation_, false));
  EXPECT_TRUE(installation_->IsDefaultHandlerFor(L"http", false));
  EXPECT_EQ(other_command, Read(HKEY_CURRENT_USER, backup, L"http"));
}

// Applies |removals| below |root| as the uninstallation does.
void Apply(HKEY root, const std::vector<RegistrationRemoval>& removals) {
  for (const RegistrationRemoval& removal : removals) {
    if (removal.delete_key) {
      ASSERT_TRUE(::RegDeleteTreeW(root, removal.key.c_str()) == ERROR_SUCCESS ||
                  !KeyExists(root, removal.key))
          << removal.key;
      continue;
    }
    base::win::RegistryKey key(root, removal.key.c_str(), KEY_SET_VALUE);
    if (removal.data.empty())
      key.DeleteValue(removal.value_name.c_str());
    else
      key.WriteValue(removal.value_name.c_str(), removal.data.c_str());
  }
}

// The registrations of a default browser that no registry record keeps are taken back while
// they name the installation: what it took over returns to the handler it kept, the rest
// goes; another installation's registration stays.
TEST_F(BrowserRegistrationTest, RemovalsGiveBackWhatTheInstallationTookOver) {
  const std::wstring other_command = L"\"C:\\Other\\other.exe\" \"%1\"";
  const std::wstring http_command = L"Software\\Classes\\http\\shell\\open\\command";
  ASSERT_TRUE(test::WriteRegistryDefaultValue(HKEY_CURRENT_USER, http_command, other_command));
  ASSERT_TRUE(test::WriteRegistryDefaultValue(HKEY_CURRENT_USER, L"Software\\Classes\\.html",
                                              L"OtherHTML"));
  SavePreviousDefaultBrowser(*installation_, false);
  ASSERT_TRUE(RegisterAsDefaultBrowser(*installation_, false));

  // Another installation of the same stream holds nothing of it.
  base::ScopedTempDir other_folder;
  ASSERT_TRUE(other_folder.CreateUniqueTempDir());
  EXPECT_TRUE(
      FindRegistrationRemovals(Installation(other_folder.GetPath()), HKEY_CURRENT_USER).empty());
  EXPECT_TRUE(FindRegistrationRemovals(*installation_, HKEY_LOCAL_MACHINE).empty());

  Apply(HKEY_CURRENT_USER, FindRegistrationRemovals(*installation_, HKEY_CURRENT_USER));
  EXPECT_EQ(other_command, Read(HKEY_CURRENT_USER, http_command));
  EXPECT_EQ(L"OtherHTML", Read(HKEY_CURRENT_USER, L"Software\\Classes\\.html"));
  for (const wchar_t* association : {L"http", L"https", L"ftp", L".htm", L".html", L".xhtml"})
    EXPECT_FALSE(installation_->IsDefaultHandlerFor(association, false)) << association;
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\https"));
  EXPECT_EQ(L"<missing>", Read(HKEY_CURRENT_USER, L"Software\\Clients\\StartMenuInternet"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + prog_id_));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Clients\\StartMenuInternet\\" + prog_id_));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, GetPreviousDefaultBrowserKey()));
  EXPECT_FALSE(base::win::RegistryKey(HKEY_CURRENT_USER,
                                      L"Software\\Classes\\.html\\OpenWithProgIDs", KEY_READ)
                   .HasValue(prog_id_.c_str()));
  EXPECT_TRUE(FindRegistrationRemovals(*installation_, HKEY_CURRENT_USER).empty());
}

}  // namespace
}  // namespace installer
