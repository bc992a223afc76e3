#include "desktop/windows/installer/service/wmi_launch.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_com_initializer.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class WmiLaunchTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(com_.Succeeded()); }

  base::win::ScopedComInitializer com_;
};

TEST_F(WmiLaunchTest, StartsTheProcess) {
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const base::FilePath marker = temp_dir.GetPath().Append(L"marker.txt");
  const uint32_t pid =
      LaunchProcessViaWmi(L"cmd.exe /c echo started> \"" + marker.value() + L"\"");
  EXPECT_NE(0u, pid);
  // The file shows up before cmd.exe has written all of it.
  std::string contents;
  for (int i = 0; i < 200; ++i) {
    if (base::ReadFileToString(marker, &contents) && contents == "started\r\n")
      break;
    ::Sleep(25);
  }
  EXPECT_EQ("started\r\n", contents);
  // cmd.exe may still hold the folder for a moment.
  for (int i = 0; i < 40 && !temp_dir.Delete(); ++i)
    ::Sleep(25);
}

TEST_F(WmiLaunchTest, FailsForAMissingProgram) {
  EXPECT_EQ(0u, LaunchProcessViaWmi(L"C:\\TavroTest\\no such program.exe"));
}

}  // namespace
}  // namespace installer
