#include "desktop/windows/installer/service/product_info.h"

#include <string>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

bool IsDigits(const std::string& text) {
  if (text.empty())
    return false;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
  }
  return true;
}

TEST(ProductInfoTest, VersionTexts) {
  EXPECT_EQ("1.2.3.4", ProductInfo::FormatVersion(1, 2, 3, 4));
  EXPECT_EQ("0.0.0.0", ProductInfo::FormatVersion(0, 0, 0, 0));
  EXPECT_EQ("2147483647.10.0.1", ProductInfo::FormatVersion(2147483647, 10, 0, 1));

  const std::vector<std::string> parts =
      base::SplitString(ProductInfo::GetVersion(), ".", base::KEEP_WHITESPACE,
                        base::SPLIT_WANT_ALL);
  ASSERT_EQ(4u, parts.size());
  for (const std::string& part : parts)
    EXPECT_TRUE(IsDigits(part)) << ProductInfo::GetVersion();
  EXPECT_EQ(std::to_string(ProductInfo::GetMajorVersion()), parts[0]);

  const std::vector<std::string> internal =
      base::SplitString(ProductInfo::GetInternalVersion(), ".", base::KEEP_WHITESPACE,
                        base::SPLIT_WANT_ALL);
  ASSERT_EQ(2u, internal.size());
  EXPECT_TRUE(IsDigits(internal[0]) && IsDigits(internal[1]));
  EXPECT_GE(ProductInfo::GetBuildNumber(), 0);
  EXPECT_GE(ProductInfo::GetBuildIdNumber(), 0);
}

TEST(ProductInfoTest, BuildDateIsDateUnderscoreTime) {
  const std::string date = ProductInfo::GetBuildDate();
  ASSERT_EQ(15u, date.size()) << date;
  EXPECT_EQ('_', date[8]);
  EXPECT_TRUE(IsDigits(date.substr(0, 8))) << date;
  EXPECT_TRUE(IsDigits(date.substr(9))) << date;
  int month = 0, day = 0, hour = 0, minute = 0, second = 0;
  ASSERT_TRUE(base::StringToInt(date.substr(4, 2), &month));
  ASSERT_TRUE(base::StringToInt(date.substr(6, 2), &day));
  ASSERT_TRUE(base::StringToInt(date.substr(9, 2), &hour));
  ASSERT_TRUE(base::StringToInt(date.substr(11, 2), &minute));
  ASSERT_TRUE(base::StringToInt(date.substr(13, 2), &second));
  EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << date;
  EXPECT_TRUE(hour <= 23 && minute <= 59 && second <= 60) << date;
}

TEST(ProductInfoTest, StreamAndNames) {
  const std::string stream = ProductInfo::GetStream();
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(" (Edition " + stream + ")", ProductInfo::GetEditionString());
  EXPECT_EQ("Tavro", ProductInfo::GetProductName());
  EXPECT_EQ("Tavro " + stream, ProductInfo::GetVisibleNameWithStream());
  EXPECT_GE(GetCurrentStream(), STREAM_NIGHTLY);
  EXPECT_LE(GetCurrentStream(), STREAM_STABLE);
}

}  // namespace
}  // namespace installer
