#include "base/trace_event/trace_config.h"

#include <string_view>
#include <utility>

#include "base/trace_event/category_pattern.h"
#include "base/strings/string_split.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kDisabledByDefaultPattern[] = "disabled-by-default-*";

std::vector<std::string_view> SplitCategoryGroup(const char* category_group) {
  return SplitTextView(category_group, ',', KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY);
}

bool MatchesAny(std::string_view category, const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    if (MatchCategoryPattern(category, pattern))
      return true;
  }
  return false;
}

bool IsDisabledByDefault(std::string_view category) {
  return MatchCategoryPattern(category, kDisabledByDefaultPattern);
}

}  // namespace

TraceFilterConfig::TraceFilterConfig(std::string predicate)
    : predicate_name(std::move(predicate)) {}

TraceFilterConfig::TraceFilterConfig(const TraceFilterConfig& other)
    : predicate_name(other.predicate_name),
      included_categories(other.included_categories),
      excluded_categories(other.excluded_categories),
      args(other.args ? DictionaryValue::From(other.args->CreateDeepCopy()) : nullptr) {}

TraceFilterConfig& TraceFilterConfig::operator=(const TraceFilterConfig& other) {
  if (this != &other) {
    TraceFilterConfig copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TraceFilterConfig::~TraceFilterConfig() = default;

bool TraceFilterConfig::IsCategoryGroupEnabled(const char* category_group) const {
  for (std::string_view category : SplitCategoryGroup(category_group)) {
    if (MatchesAny(category, excluded_categories))
      return false;
    if (MatchesAny(category, included_categories))
      return true;
  }
  return false;
}

void TraceConfig::MemoryDumpConfig::Clear() {
  allowed_dump_modes.clear();
  triggers.clear();
  heap_profiler_breakdown_threshold_bytes = kDefaultBreakdownThresholdBytes;
}

TraceConfig::~TraceConfig() = default;

void TraceConfig::Clear() {
  *this = TraceConfig();
}

bool TraceConfig::IsCategoryEnabled(std::string_view category) const {
  if (MatchesAny(category, disabled_categories))
    return true;
  if (IsDisabledByDefault(category))
    return false;
  return MatchesAny(category, included_categories);
}

bool TraceConfig::IsCategoryGroupEnabled(const char* category_group) const {
  const std::vector<std::string_view> categories = SplitCategoryGroup(category_group);
  bool had_enabled_by_default = false;
  for (std::string_view category : categories) {
    if (IsCategoryEnabled(category))
      return true;
    if (!IsDisabledByDefault(category))
      had_enabled_by_default = true;
  }

  // Not enabled by name: with no included patterns, the group is recorded unless every
  // name is excluded (names disabled by default do not count against it).
  bool category_group_disabled = false;
  for (std::string_view category : categories) {
    for (const std::string& pattern : excluded_categories) {
      if (MatchCategoryPattern(category, pattern)) {
        category_group_disabled = true;
        break;
      }
      if (!IsDisabledByDefault(category))
        category_group_disabled = false;
    }
    if (!category_group_disabled)
      break;
  }
  return !category_group_disabled && had_enabled_by_default && included_categories.empty();
}

}  // namespace trace_event
}  // namespace base
