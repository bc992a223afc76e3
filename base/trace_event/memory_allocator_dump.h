#ifndef BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_
#define BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_

#include <stdint.h>

#include <memory>
#include <string>

namespace base {
namespace trace_event {

class ProcessMemoryDump;
class TracedValue;

// One named node of a process memory dump ("malloc", "tracing/main_trace_log/TraceEvent")
// with scalar attributes. Owned by its ProcessMemoryDump.
class MemoryAllocatorDump {
 public:
  static const char kNameSize[];         // "size"
  static const char kNameObjectCount[];  // "object_count"
  static const char kUnitsBytes[];       // "bytes"
  static const char kUnitsObjects[];     // "objects"

  MemoryAllocatorDump(const std::string& absolute_name, ProcessMemoryDump* process_memory_dump);
  MemoryAllocatorDump(const MemoryAllocatorDump&) = delete;
  MemoryAllocatorDump& operator=(const MemoryAllocatorDump&) = delete;
  ~MemoryAllocatorDump();

  // Adds the attribute |name| = {"type": "scalar", "units": |units|, "value": |value| in
  // lower-case hexadecimal}.
  void AddScalar(const char* name, const char* units, uint64_t value);

  const std::string& absolute_name() const { return absolute_name_; }
  ProcessMemoryDump* process_memory_dump() const { return process_memory_dump_; }
  const TracedValue* attributes() const { return attributes_.get(); }
  // Stable across processes' dumps of the same node: the first 8 bytes (little-endian) of
  // the SHA-1 digest of "<process id>:<absolute name>".
  uint64_t guid() const { return guid_; }
  uint32_t flags() const { return flags_; }

 private:
  const std::string absolute_name_;
  ProcessMemoryDump* const process_memory_dump_;
  std::unique_ptr<TracedValue> attributes_;
  uint64_t guid_;
  uint32_t flags_ = 0;
  std::string string_conversion_buffer_;  // Reused for the hexadecimal values.
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_
