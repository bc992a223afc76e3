#include "desktop/windows/installer/service/installer_features.h"

#include "base/features/feature_registry.h"

namespace installer {

const char kInstallerExperimentTestFeature[] = "installer-experiment-test";
const char kInstallerHideFromProgramAndFeaturesFeature[] =
    "installer-hide-from-program-and-features";
const char kInstallerPrefDefaultOverridesSupportFeature[] =
    "installer-pref-default-overrides-support";
const char kInstallerSupportX64DownloadFeature[] = "installer-support-x64-download";

namespace {

// The test experiment only proves that experiment states travel from the command line
// into the installation and back, so it is off unless asked for. Hiding the browser from
// the system's list of installed programs is for managed deployments only. Fetching the
// default-preference overrides and downloading the 64-bit package are what every build
// does; the switches exist to turn them off.
const FeatureRow kInstallerFeatures[] = {
    {kInstallerExperimentTestFeature, kNoStreams, true},
    {kInstallerHideFromProgramAndFeaturesFeature, kNoStreams, true},
    {kInstallerPrefDefaultOverridesSupportFeature, kAllStreams, true},
    {kInstallerSupportX64DownloadFeature, kAllStreams, true},
};

}  // namespace

std::span<const FeatureRow> GetInstallerFeatures() {
  return kInstallerFeatures;
}

void RegisterInstallerFeatures(base::FeatureRegistry* registry) {
  for (const FeatureRow& row : kInstallerFeatures)
    registry->RegisterFeature(row.name, IsFeatureEnabledByDefault(row));
}

bool IsFeatureEnabledByDefault(const FeatureRow& row) {
  const int stream = GetCurrentStream();
  return stream >= 0 && stream < 32 && (row.default_mask & StreamBit(stream)) != 0;
}

bool IsFeatureOverridable(const FeatureRow& row) {
  return row.overridable;
}

}  // namespace installer
