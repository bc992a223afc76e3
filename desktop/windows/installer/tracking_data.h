#ifndef DESKTOP_WINDOWS_INSTALLER_TRACKING_DATA_H_
#define DESKTOP_WINDOWS_INSTALLER_TRACKING_DATA_H_

#include <memory>
#include <string_view>

#include "base/values.h"

namespace installer {

// Decodes the tracking data an installer carries as its payload: Base64 text (trailing
// ASCII white space ignored) of a JSON object, possibly with other text around the braces.
// Null when the text does not decode to a JSON object.
std::unique_ptr<base::DictionaryValue> ParseTrackingData(std::string_view payload);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TRACKING_DATA_H_
