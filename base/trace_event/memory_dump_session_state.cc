#include "base/trace_event/memory_dump_session_state.h"

#include <utility>

namespace base {
namespace trace_event {

MemoryDumpSessionState::MemoryDumpSessionState() = default;

MemoryDumpSessionState::~MemoryDumpSessionState() = default;

void MemoryDumpSessionState::SetStackFrameDeduplicator(
    std::unique_ptr<StackFrameDeduplicator> deduplicator) {
  stack_frame_deduplicator_ = std::move(deduplicator);
}

void MemoryDumpSessionState::SetTypeNameDeduplicator(
    std::unique_ptr<TypeNameDeduplicator> deduplicator) {
  type_name_deduplicator_ = std::move(deduplicator);
}

void MemoryDumpSessionState::SetMemoryDumpConfig(const TraceConfig::MemoryDumpConfig& config) {
  memory_dump_config_ = config;
  is_polling_enabled_ = false;
  for (const TraceConfig::MemoryDumpTrigger& trigger : config.triggers) {
    if (trigger.trigger_type == TraceConfig::TriggerType::kPeakMemoryUsage)
      is_polling_enabled_ = true;
  }
}

bool MemoryDumpSessionState::IsDumpModeAllowed(MemoryDumpLevelOfDetail level_of_detail) const {
  return memory_dump_config_.allowed_dump_modes.count(static_cast<uint32_t>(level_of_detail)) != 0;
}

}  // namespace trace_event
}  // namespace base
