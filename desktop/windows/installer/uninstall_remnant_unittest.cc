#include "desktop/windows/installer/uninstall_remnant.h"

#include <algorithm>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::WriteTestFile;

// Only a version folder that holds nothing but the installer and its library, in a folder
// that an installation left its preferences in, is what an ended uninstallation left; a
// folder with anything else of the user's, or of another name, is not.
TEST(UninstallRemnantTest, OnlyAnInstallerInAVersionFolderOfAFormerInstallation) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath folder = temp.GetPath().Append(L"Tavro");
  const std::wstring version = base::AsciiToUtf16(ProductInfo::GetVersion());
  const base::FilePath installer = folder.Append(version).Append(L"installer.exe");
  for (const base::FilePath& file :
       {installer, folder.Append(version).Append(L"tavro_installer.dll"),
        folder.Append(L"1.2.3.4_0\\installer.exe"), folder.Append(L"1.2.3.5\\installer.exe"),
        folder.Append(L"1.2.3.5\\notes.txt"), folder.Append(L"downloads\\installer.exe"),
        folder.Append(L"1.2.3\\installer.exe")}) {
    ASSERT_TRUE(base::CreateDirectory(file.DirName()));
    ASSERT_TRUE(WriteTestFile(file, "MZ"));
  }
  // Not before an installation has been there.
  EXPECT_TRUE(FindUninstallRemnants(folder).empty());
  EXPECT_FALSE(IsUninstallRemnant(installer));

  ASSERT_TRUE(WriteTestFile(folder.Append(kInstallerPrefsFileName), "{}"));
  std::vector<base::FilePath> remnants = FindUninstallRemnants(folder);
  std::sort(remnants.begin(), remnants.end());
  EXPECT_EQ((std::vector<base::FilePath>{folder.Append(L"1.2.3.4_0"), folder.Append(version)}),
            remnants);
  EXPECT_TRUE(IsUninstallRemnant(installer));

  // An installation stands: its browser, or its status file or launcher beside.
  ASSERT_TRUE(WriteTestFile(folder.Append(kLauncherExeName), "MZ"));
  EXPECT_FALSE(IsUninstallRemnant(installer));
  ASSERT_TRUE(base::DeletePath(folder.Append(kLauncherExeName), false));
  ASSERT_TRUE(WriteTestFile(installer.DirName().Append(GetBrowserExeName()), "MZ"));
  EXPECT_FALSE(IsUninstallRemnant(installer));
  // Another version's installer is not this one's remnant.
  EXPECT_FALSE(IsUninstallRemnant(folder.Append(L"1.2.3.4_0\\installer.exe")));
}

}  // namespace
}  // namespace installer
