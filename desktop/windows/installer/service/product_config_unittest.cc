#include "desktop/windows/installer/service/product_config.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ProductConfigTest, HostResourceIsReadOnce) {
  ProductConfig& config = ProductConfig::GetInstance();
  ASSERT_TRUE(config.IsValid());
  EXPECT_EQ("Tavro", config.GetProductName());
  EXPECT_FALSE(config.GetCompanyName().empty());
  EXPECT_FALSE(config.GetUrl("autoupdate").empty());
  EXPECT_EQ(&config, &ProductConfig::GetInstance());
  EXPECT_FALSE(LoadHostTextResource(134).empty());
  EXPECT_TRUE(LoadHostTextResource(999).empty());
}

TEST(ProductConfigTest, MissingKeysAndWrongTypesGiveEmptyValues) {
  const ProductConfig config(
      R"({"product_name": 7, "white_labeled": "yes", "urls": {"help": "h"},
          "scheduled_autoupdate_delay_min": 3, "domain": ".d"})");
  ASSERT_TRUE(config.IsValid());
  EXPECT_EQ("", config.GetProductName());
  EXPECT_FALSE(config.IsWhiteLabeled());
  EXPECT_EQ("h", config.GetUrl("help"));
  EXPECT_EQ("", config.GetUrl("crash"));
  EXPECT_EQ(3, config.GetScheduledAutoupdateDelayMinutes());
  EXPECT_EQ(".d", config.GetDomain());
  EXPECT_EQ("", config.GetCrashLogProductSuffix());

  const ProductConfig broken("{not json");
  EXPECT_FALSE(broken.IsValid());
  EXPECT_EQ("", broken.GetUrl("help"));
  EXPECT_EQ(0, broken.GetInteger("scheduled_autoupdate_delay_min"));
}

}  // namespace
}  // namespace installer
