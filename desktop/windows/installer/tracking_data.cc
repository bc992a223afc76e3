#include "desktop/windows/installer/tracking_data.h"

#include <string>

#include "base/base64.h"
#include "base/json/json_reader.h"
#include "base/strings/string_util.h"

namespace installer {

std::unique_ptr<base::DictionaryValue> ParseTrackingData(std::string_view payload) {
  std::string decoded;
  if (!base::Base64Decode(base::TrimWhitespaceASCII(payload, base::TRIM_TRAILING), &decoded))
    return nullptr;
  // The packager may wrap the object in other text; the object is what the braces enclose.
  const size_t first = decoded.find('{');
  const size_t last = decoded.rfind('}');
  if (first == std::string::npos || last == std::string::npos || last < first)
    return nullptr;
  return base::DictionaryValue::From(
      base::JsonReader::Read(std::string_view(decoded).substr(first, last - first + 1)));
}

}  // namespace installer
