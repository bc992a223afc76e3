#include "base/trace_event/process_memory_dump.h"

#include "base/trace_event/memory_infra_background_whitelist.h"

namespace base {
namespace trace_event {

ProcessMemoryDump::ProcessMemoryDump(const MemoryDumpArgs& dump_args) : dump_args_(dump_args) {}

ProcessMemoryDump::~ProcessMemoryDump() = default;

MemoryAllocatorDump* ProcessMemoryDump::CreateAllocatorDump(const std::string& absolute_name) {
  if (dump_args_.level_of_detail == MemoryDumpLevelOfDetail::kBackground &&
      !IsMemoryAllocatorDumpNameWhitelisted(absolute_name)) {
    if (!discarded_dump_)
      discarded_dump_ = std::make_unique<MemoryAllocatorDump>("discarded", this);
    return discarded_dump_.get();
  }
  std::unique_ptr<MemoryAllocatorDump>& dump = allocator_dumps_[absolute_name];
  if (!dump)
    dump = std::make_unique<MemoryAllocatorDump>(absolute_name, this);
  return dump.get();
}

MemoryAllocatorDump* ProcessMemoryDump::GetAllocatorDump(const std::string& absolute_name) const {
  const auto it = allocator_dumps_.find(absolute_name);
  return it == allocator_dumps_.end() ? nullptr : it->second.get();
}

}  // namespace trace_event
}  // namespace base
