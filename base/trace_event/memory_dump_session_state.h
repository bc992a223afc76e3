#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_SESSION_STATE_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_SESSION_STATE_H_

#include <memory>

#include "base/memory/ref_counted.h"
#include "base/trace_event/memory_dump_request_args.h"
#include "base/trace_event/stack_frame_deduplicator.h"
#include "base/trace_event/trace_config.h"
#include "base/trace_event/type_name_deduplicator.h"

namespace base {
namespace trace_event {

// What the dumps of one memory-tracing recording share: the recording's memory-dump
// configuration and, with heap profiling, the deduplicators that heap dumps refer to.
// Set up before it is shared; read-only afterwards.
class MemoryDumpSessionState : public RefCountedThreadSafe<MemoryDumpSessionState> {
 public:
  MemoryDumpSessionState();
  MemoryDumpSessionState(const MemoryDumpSessionState&) = delete;
  MemoryDumpSessionState& operator=(const MemoryDumpSessionState&) = delete;

  StackFrameDeduplicator* stack_frame_deduplicator() const {
    return stack_frame_deduplicator_.get();
  }
  void SetStackFrameDeduplicator(std::unique_ptr<StackFrameDeduplicator> deduplicator);
  TypeNameDeduplicator* type_name_deduplicator() const { return type_name_deduplicator_.get(); }
  void SetTypeNameDeduplicator(std::unique_ptr<TypeNameDeduplicator> deduplicator);

  // Also turns fast polling on when a trigger watches the peak memory usage.
  void SetMemoryDumpConfig(const TraceConfig::MemoryDumpConfig& config);
  const TraceConfig::MemoryDumpConfig& memory_dump_config() const { return memory_dump_config_; }
  bool IsDumpModeAllowed(MemoryDumpLevelOfDetail level_of_detail) const;
  bool is_polling_enabled() const { return is_polling_enabled_; }

 private:
  friend class RefCountedThreadSafe<MemoryDumpSessionState>;
  ~MemoryDumpSessionState();

  std::unique_ptr<StackFrameDeduplicator> stack_frame_deduplicator_;
  std::unique_ptr<TypeNameDeduplicator> type_name_deduplicator_;
  TraceConfig::MemoryDumpConfig memory_dump_config_;
  bool is_polling_enabled_ = false;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_SESSION_STATE_H_
