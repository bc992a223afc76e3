#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_

#include <stdint.h>

#include "base/callback.h"

namespace base {
namespace trace_event {

enum class MemoryDumpType : uint32_t {
  kPeriodicInterval = 0,
  kExplicitlyTriggered = 1,
};

// How much a dump tells: background dumps keep only the names of a fixed list.
enum class MemoryDumpLevelOfDetail : uint32_t {
  kBackground = 0,
  kLight = 1,
  kDetailed = 2,
};

// What a dump provider is asked for.
struct MemoryDumpArgs {
  MemoryDumpLevelOfDetail level_of_detail = MemoryDumpLevelOfDetail::kBackground;
};

// One global dump request.
struct MemoryDumpRequestArgs {
  uint64_t dump_guid = 0;
  MemoryDumpType dump_type = MemoryDumpType::kPeriodicInterval;
  MemoryDumpLevelOfDetail level_of_detail = MemoryDumpLevelOfDetail::kBackground;
};

// Answers a global dump request: its id and whether it succeeded.
using GlobalMemoryDumpCallback = Callback<void(uint64_t dump_guid, bool success)>;

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_
