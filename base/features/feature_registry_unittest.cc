#include "base/features/feature_registry.h"

#include <memory>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/list_feature_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

CommandLine MakeCommandLine(const wchar_t* arguments) {
  return CommandLine::FromString(std::wstring(L"program.exe ") + arguments);
}

TEST(FeatureRegistryTest, DefaultsOverridesAndUnknownFeatures) {
  FeatureRegistry registry;
  registry.RegisterFeature("on-by-default", true);
  registry.RegisterFeature("off-by-default", false);
  EXPECT_TRUE(registry.IsEnabled("on-by-default"));
  EXPECT_TRUE(registry.IsEnabled("On-By-Default"));
  EXPECT_FALSE(registry.IsEnabled("off-by-default"));
  EXPECT_FALSE(registry.IsEnabled("never-heard-of"));
  EXPECT_FALSE(registry.IsRead());
  EXPECT_TRUE(registry.GetOverrides().empty());

  const CommandLine command_line = MakeCommandLine(
      L"--with-feature:on-by-default=off --with-feature:off-by-default=on "
      L"--with-feature:browser-only --other=on");
  registry.ApplyReader(CommandLineFeatureReader(command_line));
  EXPECT_TRUE(registry.IsRead());
  EXPECT_FALSE(registry.IsEnabled("on-by-default"));
  EXPECT_TRUE(registry.IsEnabled("off-by-default"));
  // An override of a feature this program does not register still counts (and is passed on).
  EXPECT_TRUE(registry.IsEnabled("browser-only"));
  EXPECT_FALSE(registry.IsEnabled("other"));
  EXPECT_EQ(3u, registry.GetOverrides().size());

  // Registering again changes the default, never an override.
  registry.RegisterFeature("on-by-default", true);
  EXPECT_FALSE(registry.IsEnabled("on-by-default"));
}

TEST(FeatureRegistryTest, CommandLineReaderSkipsBadSwitches) {
  FeatureRegistry registry;
  registry.RegisterFeature("kept", true);
  const CommandLine command_line = MakeCommandLine(
      L"--with-feature:kept=maybe --with-feature:=on --with-feature:upper=ON "
      L"--with-feature:empty=");
  registry.ApplyReader(CommandLineFeatureReader(command_line));
  const std::vector<FeatureOverride> overrides = registry.GetOverrides();
  ASSERT_EQ(1u, overrides.size());
  EXPECT_EQ("empty", overrides[0].name);
  EXPECT_TRUE(overrides[0].enabled);
  EXPECT_TRUE(registry.IsEnabled("kept"));
}

TEST(FeatureRegistryTest, ListReaderParsesAndSkipsBadEntries) {
  ListValue list;
  list.AppendString("alpha@1");
  list.AppendString("Beta@2");
  list.AppendInteger(7);
  list.AppendString("no-separator");
  list.AppendString("@1");
  list.AppendString("gamma@3");
  list.AppendString("delta@1x");
  list.AppendString("epsilon@");
  list.AppendString("a@b@1");
  list.AppendBoolean(true);
  list.AppendString("zeta@2");

  FeatureRegistry registry;
  registry.RegisterFeature("beta", true);
  registry.ApplyReader(ListFeatureReader(list));
  const std::vector<FeatureOverride> overrides = registry.GetOverrides();
  ASSERT_EQ(3u, overrides.size());
  EXPECT_EQ("alpha", overrides[0].name);
  EXPECT_TRUE(overrides[0].enabled);
  EXPECT_EQ("beta", overrides[1].name);
  EXPECT_FALSE(overrides[1].enabled);
  EXPECT_EQ("zeta", overrides[2].name);
  EXPECT_FALSE(registry.IsEnabled("beta"));
  EXPECT_FALSE(registry.IsEnabled("gamma"));
}

TEST(FeatureRegistryTest, LaterReadersWin) {
  ListValue stored;
  stored.AppendString("first@1");
  stored.AppendString("second@1");
  stored.AppendString("second@2");  // Within one reader the later entry wins too.
  const CommandLine command_line = MakeCommandLine(L"--with-feature:first=off");

  FeatureRegistry registry;
  registry.ApplyReader(ListFeatureReader(stored));
  EXPECT_TRUE(registry.IsEnabled("first"));
  EXPECT_FALSE(registry.IsEnabled("second"));
  registry.ApplyReader(CommandLineFeatureReader(command_line));
  EXPECT_FALSE(registry.IsEnabled("first"));
  EXPECT_FALSE(registry.IsEnabled("second"));

  // And the other way round.
  FeatureRegistry reversed;
  reversed.ApplyReader(CommandLineFeatureReader(command_line));
  reversed.ApplyReader(ListFeatureReader(stored));
  EXPECT_TRUE(reversed.IsEnabled("first"));
}

TEST(FeatureRegistryTest, SwitchesRoundTripToAChild) {
  FeatureRegistry parent;
  parent.RegisterFeature("installer-thing", false);
  ListValue list;
  list.AppendString("installer-thing@1");
  list.AppendString("Browser-Thing@2");
  parent.ApplyReader(ListFeatureReader(list));

  CommandLine child_command_line(FilePath(L"child.exe"));
  child_command_line.AppendSwitchASCII("with-feature:browser-thing", "on");  // Replaced.
  AppendFeatureSwitches(parent, &child_command_line);
  EXPECT_EQ(L"off", child_command_line.GetSwitchValueNative(MakeFeatureSwitchName("browser-thing")));
  EXPECT_EQ(L"on", child_command_line.GetSwitchValueNative("with-feature:installer-thing"));

  // The child parses the text its process is started with.
  const CommandLine parsed = CommandLine::FromString(child_command_line.GetCommandLineString());
  FeatureRegistry child;
  child.ApplyReader(CommandLineFeatureReader(parsed));
  const std::vector<FeatureOverride> expected = parent.GetOverrides();
  const std::vector<FeatureOverride> actual = child.GetOverrides();
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].name, actual[i].name);
    EXPECT_EQ(expected[i].enabled, actual[i].enabled);
  }
}

TEST(FeatureRegistryTest, ProcessWideRegistry) {
  FeatureRegistry& registry = FeatureRegistry::GetInstance();
  EXPECT_EQ(&registry, &FeatureRegistry::GetInstance());
  registry.RegisterFeature("feature-registry-test-process-wide", true);
  EXPECT_TRUE(IsFeatureEnabled("feature-registry-test-process-wide"));
  EXPECT_EQ("with-feature:x", MakeFeatureSwitchName("x"));
}

}  // namespace
}  // namespace base
