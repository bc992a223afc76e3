#include "desktop/windows/installer/installer.h"

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/shortcut.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/installer_run.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::RecordingInstallerObserver;

class InstallerTest : public test::InstallerRunTest {
 protected:
  base::FilePath VersionFolder() const {
    return install_folder().Append(base::AsciiToUtf16(ProductInfo::GetVersion()));
  }
  InstallStatus ReadStatusFile() const {
    InstallStatus status;
    EXPECT_TRUE(LoadInstallStatus(install_folder().Append(kInstallStatusFileName), &status));
    return status;
  }
};

TEST_F(InstallerTest, InstallsPackage) {
  RecordingInstallerObserver observer;
  ASSERT_TRUE(RunInstaller(L"", &observer));
  EXPECT_EQ((std::vector<std::string>{"InstallFolderReady", "TotalSteps(12)", "Step x12",
                                      "Success"}),
            observer.Summary());

  std::string contents;
  ASSERT_TRUE(base::ReadFileToString(VersionFolder().Append(L"resources\\about.txt"), &contents));
  EXPECT_EQ("about", contents);
  EXPECT_TRUE(base::PathExists(VersionFolder().Append(L"tavro.exe")));
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"root.txt")));
  EXPECT_TRUE(base::PathExists(install_folder().Append(kLauncherExeName)));

  const InstallStatus status = ReadStatusFile();
  EXPECT_EQ((std::vector<std::string>{"tavro.exe", "installer.exe", "resources\\about.txt"}),
            status.files);
  EXPECT_TRUE(test::InstallerRunTest::DeleteAutoupdateTask(status.app_id));
}

}  // namespace
}  // namespace installer
