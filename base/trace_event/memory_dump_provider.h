#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_PROVIDER_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_PROVIDER_H_

#include <stdint.h>

#include "base/trace_event/memory_dump_request_args.h"

namespace base {
namespace trace_event {

class ProcessMemoryDump;

// Describes memory it owns, as allocator dumps, when a memory dump runs
// (MemoryDumpManager). Called on the task runner it was registered with, or on the dump
// thread when it has none.
class MemoryDumpProvider {
 public:
  struct Options {
    uint32_t target_pid = 0;  // 0: this process.
    bool dumps_on_single_thread_task_runner = true;
    bool is_fast_polling_supported = false;
  };

  MemoryDumpProvider(const MemoryDumpProvider&) = delete;
  MemoryDumpProvider& operator=(const MemoryDumpProvider&) = delete;
  virtual ~MemoryDumpProvider() = default;

  // Adds the provider's allocator dumps to |pmd|; false when it could not.
  virtual bool OnMemoryDump(const MemoryDumpArgs& args, ProcessMemoryDump* pmd) = 0;
  virtual void OnHeapProfilingEnabled(bool enabled) {}
  // For providers with fast polling: the memory they hold, cheaply.
  virtual void PollFastMemoryTotal(uint64_t* memory_total) {}
  virtual void SuspendFastMemoryPolling() {}

 protected:
  MemoryDumpProvider() = default;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_PROVIDER_H_
