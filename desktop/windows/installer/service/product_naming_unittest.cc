#include "desktop/windows/installer/service/product_naming.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_info.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ProductNamingTest, Names) {
  const ProductNaming& naming = ProductNaming::GetInstance();
  EXPECT_EQ(&naming, &ProductNaming::GetInstance());
  EXPECT_EQ(L"Tavro", naming.GetProductName());
  EXPECT_EQ(L"Software\\Tavro Software", GetCompanyRegistryKey());
  EXPECT_EQ(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
            GetUninstallRegistryKey());
  EXPECT_EQ(L"tavro.exe", GetBrowserExeName());
  EXPECT_EQ(GetBrowserExeName(), naming.GetBrowserExeName());
  EXPECT_EQ(L"Tavro " + base::Utf8ToUtf16(ProductInfo::GetStream()),
            naming.GetVisibleNameWithStream());
  if (GetCurrentStream() == STREAM_STABLE)
    EXPECT_EQ("Stable", GetStreamName());
  else
    EXPECT_FALSE(GetStreamName().empty());
}

}  // namespace
}  // namespace installer
