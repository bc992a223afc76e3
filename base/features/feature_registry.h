#ifndef BASE_FEATURES_FEATURE_REGISTRY_H_
#define BASE_FEATURES_FEATURE_REGISTRY_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/synchronization/lock.h"

namespace base {

// One forced state of a feature, as read from a switch or a stored list.
struct FeatureOverride {
  std::string name;  // ASCII lower case.
  bool enabled = false;
};

// A source of feature overrides (the command line, a stored list...).
class FeatureReader {
 public:
  virtual ~FeatureReader() = default;

  // Appends the overrides this source holds, in its own order; a later entry for the same
  // name wins over an earlier one.
  virtual void ReadOverrides(std::vector<FeatureOverride>* overrides) const = 0;
};

// A list of named features, each with a default state, and the overrides read for them.
//
// Feature names are compared without regard to ASCII case: the command line stores switch
// names in lower case, so a name must survive the trip through a child's command line. An
// override counts whether or not its feature is registered, so that overrides for features
// of other programs (the browser's) are passed on to children unchanged.
//
// All operations are thread-safe.
class FeatureRegistry {
 public:
  FeatureRegistry();
  ~FeatureRegistry();
  FeatureRegistry(const FeatureRegistry&) = delete;
  FeatureRegistry& operator=(const FeatureRegistry&) = delete;

  // The process-wide registry, created on first use. The exit-callback registry empties it
  // (Clear); it is never destroyed, so a reference stays valid on any thread.
  static FeatureRegistry& GetInstance();

  // Adds |name| with its default state; registering it again replaces the default.
  void RegisterFeature(std::string_view name, bool enabled_by_default);
  bool IsRegistered(std::string_view name) const;
  // Forgets every feature and override, and that a reader was applied.
  void Clear();

  // Marks the registry read and merges the reader's overrides: an override replaces any
  // earlier one for the same feature, so later readers win.
  void ApplyReader(const FeatureReader& reader);
  // Whether a reader was applied.
  bool IsRead() const;

  // The override when there is one, else the registered default; false for a feature that
  // is neither registered nor overridden.
  bool IsEnabled(std::string_view name) const;

  // Every override, ordered by name.
  std::vector<FeatureOverride> GetOverrides() const;

 private:
  mutable Lock lock_;
  std::map<std::string, bool, std::less<>> defaults_;
  std::map<std::string, bool, std::less<>> overrides_;
  bool read_ = false;
};

// IsEnabled on the process-wide registry.
bool IsFeatureEnabled(std::string_view name);

}  // namespace base

#endif  // BASE_FEATURES_FEATURE_REGISTRY_H_
