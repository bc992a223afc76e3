#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_FEATURES_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_FEATURES_H_

#include <string_view>

#include "desktop/windows/installer/service/installer_features.h"

namespace installer {

// The browser features whose defaults installer processes need to know (the crash
// reporter honours some of them for the browser it watches).
extern const char kAlternativeCrashLoggingFeature[];

// The row of the named browser feature (ASCII case ignored); null when there is none.
const FeatureRow* FindBrowserFeature(std::string_view name);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_FEATURES_H_
