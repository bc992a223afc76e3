#include "base/features/feature_registry.h"

#include "base/lazy_instance.h"
#include "base/strings/string_util.h"

namespace base {

namespace {

// Emptied by the exit clean-up, never destroyed: pool threads may still ask it.
LazyInstance<FeatureRegistry>::Cleared g_feature_registry;

}  // namespace

FeatureRegistry::FeatureRegistry() = default;
FeatureRegistry::~FeatureRegistry() = default;

// static
FeatureRegistry& FeatureRegistry::GetInstance() {
  return g_feature_registry.Get();
}

void FeatureRegistry::RegisterFeature(std::string_view name, bool enabled_by_default) {
  std::string key = ToLowerAscii(name);
  AutoLock lock(lock_);
  defaults_[std::move(key)] = enabled_by_default;
}

void FeatureRegistry::Clear() {
  AutoLock lock(lock_);
  defaults_.clear();
  overrides_.clear();
  read_ = false;
}

bool FeatureRegistry::IsRegistered(std::string_view name) const {
  const std::string key = ToLowerAscii(name);
  AutoLock lock(lock_);
  return defaults_.find(key) != defaults_.end();
}

void FeatureRegistry::ApplyReader(const FeatureReader& reader) {
  // The reader runs outside the lock: it may be slow, and it never touches the registry.
  std::vector<FeatureOverride> read;
  reader.ReadOverrides(&read);
  AutoLock lock(lock_);
  read_ = true;
  for (FeatureOverride& entry : read) {
    if (entry.name.empty())
      continue;
    overrides_[ToLowerAscii(entry.name)] = entry.enabled;
  }
}

bool FeatureRegistry::IsRead() const {
  AutoLock lock(lock_);
  return read_;
}

bool FeatureRegistry::IsEnabled(std::string_view name) const {
  const std::string key = ToLowerAscii(name);
  AutoLock lock(lock_);
  const auto overridden = overrides_.find(key);
  if (overridden != overrides_.end())
    return overridden->second;
  const auto registered = defaults_.find(key);
  return registered != defaults_.end() && registered->second;
}

std::vector<FeatureOverride> FeatureRegistry::GetOverrides() const {
  std::vector<FeatureOverride> result;
  AutoLock lock(lock_);
  result.reserve(overrides_.size());
  for (const auto& entry : overrides_)
    result.push_back(FeatureOverride{entry.first, entry.second});
  return result;
}

bool IsFeatureEnabled(std::string_view name) {
  return FeatureRegistry::GetInstance().IsEnabled(name);
}

}  // namespace base
