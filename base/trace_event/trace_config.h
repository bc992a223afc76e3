#ifndef BASE_TRACE_EVENT_TRACE_CONFIG_H_
#define BASE_TRACE_EVENT_TRACE_CONFIG_H_

#include <stdint.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/values.h"

namespace base {
namespace trace_event {

// Category patterns use MatchPattern (base/strings/pattern.h). A category group is one or
// more category names separated by ",", each matched on its own.

// Which events an event filter sees, and the filter's kind and arguments.
struct TraceFilterConfig {
  TraceFilterConfig() = default;
  explicit TraceFilterConfig(std::string predicate);
  TraceFilterConfig(const TraceFilterConfig& other);
  TraceFilterConfig& operator=(const TraceFilterConfig& other);
  TraceFilterConfig(TraceFilterConfig&&) = default;
  TraceFilterConfig& operator=(TraceFilterConfig&&) = default;
  ~TraceFilterConfig();

  // True when, for some name of the group taken in order, an included pattern matches
  // and no excluded one does; a name that an excluded pattern matches ends the test.
  bool IsCategoryGroupEnabled(const char* category_group) const;

  std::string predicate_name;
  std::vector<std::string> included_categories;
  std::vector<std::string> excluded_categories;
  std::unique_ptr<DictionaryValue> args;  // May be null.
};

// What a recording records.
class TraceConfig {
 public:
  enum class TriggerType : uint32_t { kPeriodicInterval = 0, kPeakMemoryUsage = 2 };

  struct MemoryDumpTrigger {
    uint32_t period_ms = 0;
    uint32_t level_of_detail = 0;  // MemoryDumpLevelOfDetail.
    TriggerType trigger_type = TriggerType::kPeriodicInterval;
  };

  struct MemoryDumpConfig {
    static constexpr uint64_t kDefaultBreakdownThresholdBytes = 1024;

    void Clear();

    std::set<uint32_t> allowed_dump_modes;  // Levels of detail.
    std::vector<MemoryDumpTrigger> triggers;
    uint64_t heap_profiler_breakdown_threshold_bytes = kDefaultBreakdownThresholdBytes;
  };

  TraceConfig() = default;
  TraceConfig(const TraceConfig&) = default;
  TraceConfig& operator=(const TraceConfig&) = default;
  ~TraceConfig();

  // Back to a new configuration's state.
  void Clear();

  // Whether the configuration records |category_group|: some name of it is enabled
  // (explicitly enabled disabled-by-default names first, then the included patterns); or,
  // with no included patterns, some name is neither disabled by default nor excluded.
  bool IsCategoryGroupEnabled(const char* category_group) const;

  uint8_t record_mode = 0;  // 0: record until full.
  bool enable_sampling = false;
  bool enable_systrace = false;
  MemoryDumpConfig memory_dump_config;
  std::vector<std::string> included_categories;
  // Disabled-by-default categories that are enabled explicitly.
  std::vector<std::string> disabled_categories;
  std::vector<std::string> excluded_categories;
  std::vector<std::string> synthetic_delays;
  std::vector<TraceFilterConfig> event_filters;

 private:
  bool IsCategoryEnabled(std::string_view category) const;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_CONFIG_H_
