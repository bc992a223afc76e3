#include "base/win/windows_version.h"

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(WindowsVersionTest, DescribesThisSystem) {
  const OsInfo* info = OsInfo::GetInstance();
  EXPECT_EQ(info, OsInfo::GetInstance());
  EXPECT_EQ(OsInfo::X64_ARCHITECTURE, info->architecture());
  EXPECT_TRUE(info->is_64bit_windows());
  EXPECT_EQ(OsInfo::WOW64_DISABLED, info->wow64_status());
  EXPECT_GE(info->processors(), 1);

  SYSTEM_INFO system_info;
  ::GetSystemInfo(&system_info);
  EXPECT_EQ(static_cast<int>(system_info.dwNumberOfProcessors), info->processors());

  EXPECT_GE(GetWindowsVersion(), VERSION_WIN7);
  EXPECT_EQ(info->version(), GetWindowsVersion());
  const OsInfo::VersionNumber number = info->version_number();
  if (number.major >= 10)
    EXPECT_EQ(VERSION_WIN10, info->version());
  else
    EXPECT_EQ(6u, number.major);
  EXPECT_GT(number.build, 0u);
}

}  // namespace
}  // namespace win
}  // namespace base
