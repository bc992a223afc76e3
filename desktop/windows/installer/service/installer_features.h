#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLER_FEATURES_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLER_FEATURES_H_

#include <stdint.h>

#include <span>

#include "desktop/windows/installer/service/product_info.h"

namespace base {
class FeatureRegistry;
}

namespace installer {

// The bit of a stream id in a feature's default mask.
constexpr uint32_t StreamBit(int stream) {
  return 1u << stream;
}
constexpr uint32_t kNoStreams = 0;
constexpr uint32_t kPreReleaseStreams =
    StreamBit(STREAM_NIGHTLY) | StreamBit(STREAM_DEVELOPER) | StreamBit(STREAM_NEXT);
constexpr uint32_t kAllStreams = kPreReleaseStreams | StreamBit(STREAM_STABLE);

// One row of a feature table.
struct FeatureRow {
  const char* name;
  // The streams on which the feature is enabled unless overridden (StreamBit of each).
  uint32_t default_mask;
  // Whether a "with-feature:" switch or a stored state may change it.
  bool overridable;
};

// The installer's own features.
extern const char kInstallerExperimentTestFeature[];
extern const char kInstallerHideFromProgramAndFeaturesFeature[];
extern const char kInstallerPrefDefaultOverridesSupportFeature[];
extern const char kInstallerSupportX64DownloadFeature[];

// The four installer feature rows, in table order.
std::span<const FeatureRow> GetInstallerFeatures();

// Registers the installer features with their defaults for this build's stream.
void RegisterInstallerFeatures(base::FeatureRegistry* registry);

// Whether the row's feature is enabled by default for this build's stream.
bool IsFeatureEnabledByDefault(const FeatureRow& row);
bool IsFeatureOverridable(const FeatureRow& row);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLER_FEATURES_H_
