#include "base/trace_event/trace_event_memory_overhead.h"

#include <stdint.h>

#include <algorithm>

#include "base/hash/fnv1a.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/process_memory_dump.h"

namespace base {
namespace trace_event {

namespace {

// What a string's heap block costs: the allocator rounds to 16 bytes and hands out at
// least 32; the string object itself adds 32.
constexpr uint64_t kStringObjectBytes = 32;
constexpr uint64_t kMinimumBlockBytes = 32;

uint64_t RoundUpTo16(uint64_t bytes) {
  return (bytes + 15) & ~uint64_t{15};
}

}  // namespace

size_t TraceEventMemoryOverhead::AddressHash::operator()(const char* address) const {
  const uintptr_t value = reinterpret_cast<uintptr_t>(address);
  const uint64_t wide = value;
  return static_cast<size_t>(Fnv1a64(&wide, sizeof(wide)));
}

TraceEventMemoryOverhead::TraceEventMemoryOverhead() = default;

TraceEventMemoryOverhead::~TraceEventMemoryOverhead() = default;

TraceEventMemoryOverhead::Entry* TraceEventMemoryOverhead::Find(const char* type_name) {
  if (map_) {
    auto it = map_->find(type_name);
    return it == map_->end() ? nullptr : &it->second;
  }
  for (size_t i = 0; i < inline_count_; ++i) {
    if (inline_entries_[i].type_name == type_name)
      return &inline_entries_[i];
  }
  return nullptr;
}

const TraceEventMemoryOverhead::Entry* TraceEventMemoryOverhead::Find(
    const char* type_name) const {
  return const_cast<TraceEventMemoryOverhead*>(this)->Find(type_name);
}

template <typename Visitor>
void TraceEventMemoryOverhead::ForEach(Visitor visit) const {
  if (map_) {
    for (const auto& item : *map_)
      visit(item.second);
    return;
  }
  for (size_t i = 0; i < inline_count_; ++i)
    visit(inline_entries_[i]);
}

void TraceEventMemoryOverhead::Add(const char* type_name,
                                   uint64_t count,
                                   uint64_t allocated_bytes,
                                   uint64_t resident_bytes) {
  Entry* entry = Find(type_name);
  if (!entry) {
    if (!map_ && inline_count_ == kMaxInlineEntries) {
      map_ = std::make_unique<EntryMap>();
      for (size_t i = 0; i < inline_count_; ++i)
        (*map_)[inline_entries_[i].type_name] = inline_entries_[i];
      inline_count_ = 0;
    }
    if (map_) {
      entry = &(*map_)[type_name];
    } else {
      entry = &inline_entries_[inline_count_++];
      *entry = Entry();
    }
    entry->type_name = type_name;
  }
  entry->count += count;
  entry->allocated_bytes += allocated_bytes;
  entry->resident_bytes += resident_bytes;
}

void TraceEventMemoryOverhead::AddString(const std::string& text) {
  const uint64_t bytes =
      kStringObjectBytes + std::max(kMinimumBlockBytes, RoundUpTo16(text.capacity()));
  Add("std::string", bytes);
}

void TraceEventMemoryOverhead::AddSelf() {
  uint64_t bytes = sizeof(*this);
  if (map_)
    bytes += map_->size() * (sizeof(Entry) + 2 * sizeof(void*)) +
             map_->bucket_count() * sizeof(void*);
  Add("TraceEventMemoryOverhead", bytes);
}

void TraceEventMemoryOverhead::Update(const TraceEventMemoryOverhead& other) {
  other.ForEach([this](const Entry& entry) {
    Add(entry.type_name, entry.count, entry.allocated_bytes, entry.resident_bytes);
  });
}

uint64_t TraceEventMemoryOverhead::GetCount(const char* type_name) const {
  const Entry* entry = Find(type_name);
  return entry ? entry->count : 0;
}

void TraceEventMemoryOverhead::DumpInto(const char* base_name, ProcessMemoryDump* pmd) const {
  ForEach([base_name, pmd](const Entry& entry) {
    MemoryAllocatorDump* dump =
        pmd->CreateAllocatorDump(StringPrintf("%s/%s", base_name, entry.type_name));
    dump->AddScalar(MemoryAllocatorDump::kNameSize, MemoryAllocatorDump::kUnitsBytes,
                    entry.allocated_bytes);
    dump->AddScalar("resident_size", MemoryAllocatorDump::kUnitsBytes, entry.resident_bytes);
    dump->AddScalar(MemoryAllocatorDump::kNameObjectCount, MemoryAllocatorDump::kUnitsObjects,
                    entry.count);
  });
}

}  // namespace trace_event
}  // namespace base
