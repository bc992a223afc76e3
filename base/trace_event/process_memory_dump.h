#ifndef BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_
#define BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_

#include <memory>
#include <string>
#include <unordered_map>

#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/memory_dump_request_args.h"

namespace base {
namespace trace_event {

// One process's memory dump: the allocator dumps its providers add, by absolute name.
// Filled by one provider at a time.
class ProcessMemoryDump {
 public:
  using AllocatorDumpsMap = std::unordered_map<std::string, std::unique_ptr<MemoryAllocatorDump>>;

  explicit ProcessMemoryDump(const MemoryDumpArgs& dump_args);
  ProcessMemoryDump(const ProcessMemoryDump&) = delete;
  ProcessMemoryDump& operator=(const ProcessMemoryDump&) = delete;
  ~ProcessMemoryDump();

  // The dump named |absolute_name| (made, or the one already there). In a background dump
  // a name off the whitelist gets one shared "discarded" dump that is never kept, so that
  // the caller can still write to it.
  MemoryAllocatorDump* CreateAllocatorDump(const std::string& absolute_name);
  // The dump named |absolute_name|, or null.
  MemoryAllocatorDump* GetAllocatorDump(const std::string& absolute_name) const;

  const AllocatorDumpsMap& allocator_dumps() const { return allocator_dumps_; }
  const MemoryDumpArgs& dump_args() const { return dump_args_; }

 private:
  const MemoryDumpArgs dump_args_;
  AllocatorDumpsMap allocator_dumps_;
  std::unique_ptr<MemoryAllocatorDump> discarded_dump_;  // Made on first need.
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_
