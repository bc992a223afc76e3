#include "base/trace_event/memory_allocator_dump.h"

#include <string.h>

#include "base/hash/sha1.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_log.h"
#include "base/trace_event/traced_value.h"

namespace base {
namespace trace_event {

namespace {

uint64_t MakeGuid(const std::string& absolute_name) {
  const std::string text =
      StringPrintf("%d:%s", TraceLog::GetInstance()->process_id(), absolute_name.c_str());
  uint8_t digest[kSha1Length];
  Sha1HashBytes(text.data(), text.size(), digest);
  uint64_t guid = 0;
  for (int i = 7; i >= 0; --i)
    guid = guid << 8 | digest[i];
  return guid;
}

}  // namespace

const char MemoryAllocatorDump::kNameSize[] = "size";
const char MemoryAllocatorDump::kNameObjectCount[] = "object_count";
const char MemoryAllocatorDump::kUnitsBytes[] = "bytes";
const char MemoryAllocatorDump::kUnitsObjects[] = "objects";

MemoryAllocatorDump::MemoryAllocatorDump(const std::string& absolute_name,
                                         ProcessMemoryDump* process_memory_dump)
    : absolute_name_(absolute_name),
      process_memory_dump_(process_memory_dump),
      attributes_(std::make_unique<TracedValue>()),
      guid_(MakeGuid(absolute_name)) {}

MemoryAllocatorDump::~MemoryAllocatorDump() = default;

void MemoryAllocatorDump::AddScalar(const char* name, const char* units, uint64_t value) {
  string_conversion_buffer_ = StringPrintf("%llx", static_cast<unsigned long long>(value));
  attributes_->BeginDictionaryWithCopiedName(name);
  attributes_->SetString("type", "scalar");
  attributes_->SetString("units", units);
  attributes_->SetString("value", string_conversion_buffer_);
  attributes_->EndDictionary();
}

}  // namespace trace_event
}  // namespace base
