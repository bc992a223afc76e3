#include "desktop/windows/installer/installation_registry_keys.h"

#include <string>

#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// What an undo journal, a file anyone who may write the install folder may write, can make
// an elevated run change in the registry.
TEST(InstallationRegistryKeysTest, OnlyTheInstallationsKeysAndWhatTheyRemoveWithThem) {
  const std::wstring uninstall = GetUninstallRegistryKey() + L"\\";
  for (const std::wstring& owned :
       {std::wstring(L"Software\\Classes\\TavroStable\\shell\\open\\command"),
        std::wstring(L"Software\\Classes\\TavroStable\\shell\\open\\ddeexec"),
        std::wstring(L"software\\classes\\tavrostable"),
        std::wstring(L"Software\\Clients\\StartMenuInternet\\TavroStable\\Capabilities"),
        std::wstring(L"Software\\Classes\\.htm\\OpenWithProgIDs"),
        std::wstring(L"Software\\RegisteredApplications"),
        Installer::MakeUninstallKey(L""), uninstall + L"Tavro 1.2.3.4" + L"1",
        GetCompanyRegistryKey()}) {
    EXPECT_TRUE(IsInstallationRegistryKey(owned, false)) << owned;
  }
  for (const std::wstring& foreign :
       {std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
        std::wstring(L"Software\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000000}"),
        std::wstring(L"Software\\Classes\\exefile\\shell\\open\\command"),
        std::wstring(L"Software\\Classes"), uninstall + L"Other 1.0",
        std::wstring(L"Software\\Clients\\StartMenuInternet\\Other")}) {
    EXPECT_FALSE(IsInstallationRegistryKey(foreign, false)) << foreign;
  }
  // Above its keys, only as what an undo removes when it is empty.
  EXPECT_TRUE(IsInstallationRegistryKey(L"Software\\Classes", true));
  EXPECT_TRUE(IsInstallationRegistryKey(GetUninstallRegistryKey(), true));
  EXPECT_FALSE(IsInstallationRegistryKey(L"Software\\Policies", true));
}

}  // namespace
}  // namespace installer
