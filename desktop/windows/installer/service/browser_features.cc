#include "desktop/windows/installer/service/browser_features.h"

#include "base/strings/string_util.h"

namespace installer {

const char kAlternativeCrashLoggingFeature[] = "alternative-crash-logging";

namespace {

// The alternative crash collector is still being proven, so only the streams that get
// fixes first send to it by default. Full-memory dumps carry page contents: nightly
// builds only, and no switch or preference may turn them on elsewhere.
const FeatureRow kBrowserFeatures[] = {
    {kAlternativeCrashLoggingFeature, StreamBit(STREAM_NIGHTLY) | StreamBit(STREAM_DEVELOPER),
     true},
    {"crash-full-memory-dumps", StreamBit(STREAM_NIGHTLY), false},
    {"background-autoupdate", kAllStreams, true},
    {"import-on-first-run", kAllStreams, true},
};

}  // namespace

const FeatureRow* FindBrowserFeature(std::string_view name) {
  for (const FeatureRow& row : kBrowserFeatures) {
    if (base::EqualsCaseInsensitiveAscii(row.name, name))
      return &row;
  }
  return nullptr;
}

}  // namespace installer
