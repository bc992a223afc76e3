#include "base/features/list_feature_reader.h"

#include <string>

#include "base/logging.h"
#include "base/values.h"

namespace base {

ListFeatureReader::ListFeatureReader(const ListValue& list) : list_(list) {}

ListFeatureReader::~ListFeatureReader() = default;

void ListFeatureReader::ReadOverrides(std::vector<FeatureOverride>* overrides) const {
  for (size_t i = 0; i < list_.GetSize(); ++i) {
    std::string entry;
    FeatureOverride parsed;
    if (!list_.GetString(i, &entry) || !ParseEntry(entry, &parsed)) {
      LOG(WARNING) << "Skipping invalid feature state at index " << i;
      continue;
    }
    overrides->push_back(std::move(parsed));
  }
}

// static
bool ListFeatureReader::ParseEntry(std::string_view entry, FeatureOverride* result) {
  const size_t at = entry.find('@');
  if (at == std::string_view::npos || at == 0)
    return false;
  const std::string_view state = entry.substr(at + 1);
  if (state != "1" && state != "2")
    return false;
  result->name.assign(entry.substr(0, at));
  result->enabled = state == "1";
  return true;
}

}  // namespace base
