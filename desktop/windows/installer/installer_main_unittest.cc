#include "desktop/windows/installer/installer_main.h"

#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerMainTest, InformationalSwitchesPrintAndSucceed) {
  test::ProcessResult version = test::RunInstallerExe(L"--version");
  ASSERT_TRUE(version.started);
  EXPECT_EQ(0u, version.exit_code);
  EXPECT_EQ(ProductInfo::GetVersion(), version.output);

  test::ProcessResult internal = test::RunInstallerExe(L"/internal-version");
  EXPECT_EQ(0u, internal.exit_code);
  EXPECT_EQ(ProductInfo::GetInternalVersion(), internal.output);

  test::ProcessResult stream = test::RunInstallerExe(L"-STREAM");
  EXPECT_EQ(0u, stream.exit_code);
  EXPECT_EQ(ProductInfo::GetStream(), stream.output);
}

TEST(InstallerMainTest, FirstInformationalSwitchWins) {
  // "version" is tested first, then "internal-version", then "stream".
  EXPECT_EQ(ProductInfo::GetVersion(), test::RunInstallerExe(L"--stream --version").output);
  EXPECT_EQ(ProductInfo::GetInternalVersion(),
            test::RunInstallerExe(L"--stream --internal-version").output);
}

TEST(InstallerMainTest, VersionIsFourDottedNumbers) {
  const std::string version = ProductInfo::GetVersion();
  int parts[4] = {-1, -1, -1, -1};
  char tail = 0;
  EXPECT_EQ(4, sscanf(version.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2],
                      &parts[3], &tail));
  EXPECT_EQ(ProductInfo::GetMajorVersion(), parts[0]);
}

}  // namespace
}  // namespace installer
