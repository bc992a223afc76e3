#ifndef BASE_FEATURES_LIST_FEATURE_READER_H_
#define BASE_FEATURES_LIST_FEATURE_READER_H_

#include <string_view>
#include <vector>

#include "base/features/feature_registry.h"

namespace base {

class ListValue;

// Reads overrides from a list of strings such as "some-feature@1": the feature name, "@"
// and 1 (enabled) or 2 (disabled). Entries that are not strings, lack the "@", have an
// empty name or carry anything else after it are skipped.
class ListFeatureReader : public FeatureReader {
 public:
  // |list| must outlive the reader.
  explicit ListFeatureReader(const ListValue& list);
  ~ListFeatureReader() override;

  void ReadOverrides(std::vector<FeatureOverride>* overrides) const override;

  // Parses one entry; false when it does not have the form above.
  static bool ParseEntry(std::string_view entry, FeatureOverride* result);

 private:
  const ListValue& list_;
};

}  // namespace base

#endif  // BASE_FEATURES_LIST_FEATURE_READER_H_
