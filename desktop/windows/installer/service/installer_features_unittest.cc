#include "desktop/windows/installer/service/installer_features.h"

#include <string>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "desktop/windows/installer/service/browser_features.h"
#include "desktop/windows/installer/service/product_info.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerFeaturesTest, TableAndRegistration) {
  const std::span<const FeatureRow> rows = GetInstallerFeatures();
  ASSERT_EQ(4u, rows.size());
  EXPECT_STREQ("installer-experiment-test", rows[0].name);
  EXPECT_STREQ("installer-hide-from-program-and-features", rows[1].name);
  EXPECT_STREQ("installer-pref-default-overrides-support", rows[2].name);
  EXPECT_STREQ("installer-support-x64-download", rows[3].name);

  // Whatever the stream: the test experiment and hiding are off, the rest on.
  EXPECT_FALSE(IsFeatureEnabledByDefault(rows[0]));
  EXPECT_FALSE(IsFeatureEnabledByDefault(rows[1]));
  EXPECT_TRUE(IsFeatureEnabledByDefault(rows[2]));
  EXPECT_TRUE(IsFeatureEnabledByDefault(rows[3]));

  base::FeatureRegistry registry;
  RegisterInstallerFeatures(&registry);
  for (const FeatureRow& row : rows) {
    EXPECT_TRUE(IsFeatureOverridable(row)) << row.name;
    EXPECT_TRUE(registry.IsRegistered(row.name)) << row.name;
    EXPECT_EQ(IsFeatureEnabledByDefault(row), registry.IsEnabled(row.name)) << row.name;
  }
  EXPECT_TRUE(registry.GetOverrides().empty());

  // The switches the help text advertises turn them over.
  const base::CommandLine command_line = base::CommandLine::FromString(
      L"installer.exe --with-feature:installer-experiment-test "
      L"--with-feature:installer-support-x64-download=off");
  registry.ApplyReader(base::CommandLineFeatureReader(command_line));
  EXPECT_TRUE(registry.IsEnabled(kInstallerExperimentTestFeature));
  EXPECT_FALSE(registry.IsEnabled(kInstallerSupportX64DownloadFeature));
  EXPECT_TRUE(registry.IsEnabled(kInstallerPrefDefaultOverridesSupportFeature));
}

TEST(InstallerFeaturesTest, DefaultMaskFollowsTheStream) {
  const int stream = GetCurrentStream();
  const FeatureRow only_this = {"x", StreamBit(stream), true};
  const FeatureRow all_others = {"y", kAllStreams & ~StreamBit(stream), true};
  EXPECT_TRUE(IsFeatureEnabledByDefault(only_this));
  EXPECT_FALSE(IsFeatureEnabledByDefault(all_others));
  EXPECT_EQ(stream != STREAM_STABLE, (kPreReleaseStreams & StreamBit(stream)) != 0);
}

TEST(BrowserFeaturesTest, Lookup) {
  const FeatureRow* crash_logging = FindBrowserFeature("alternative-crash-logging");
  ASSERT_NE(nullptr, crash_logging);
  EXPECT_EQ(crash_logging, FindBrowserFeature("Alternative-Crash-Logging"));
  EXPECT_TRUE(IsFeatureOverridable(*crash_logging));
  const int stream = GetCurrentStream();
  EXPECT_EQ(stream == STREAM_NIGHTLY || stream == STREAM_DEVELOPER,
            IsFeatureEnabledByDefault(*crash_logging));

  const FeatureRow* full_dumps = FindBrowserFeature("crash-full-memory-dumps");
  ASSERT_NE(nullptr, full_dumps);
  EXPECT_FALSE(IsFeatureOverridable(*full_dumps));

  EXPECT_EQ(nullptr, FindBrowserFeature("installer-experiment-test"));
  EXPECT_EQ(nullptr, FindBrowserFeature(""));
  EXPECT_EQ(nullptr, FindBrowserFeature("alternative-crash-logging-x"));
}

}  // namespace
}  // namespace installer
