#ifndef BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <unordered_map>

namespace base {
namespace trace_event {

class ProcessMemoryDump;

// Tallies what the trace machinery's own objects cost, by type name: object count,
// allocated and resident bytes. Type names are static texts told apart by their address,
// not their contents. The first 16 names are kept inline; a 17th moves the tally into a
// hash table. Not thread-safe: one owner fills it.
class TraceEventMemoryOverhead {
 public:
  TraceEventMemoryOverhead();
  TraceEventMemoryOverhead(const TraceEventMemoryOverhead&) = delete;
  TraceEventMemoryOverhead& operator=(const TraceEventMemoryOverhead&) = delete;
  ~TraceEventMemoryOverhead();

  void Add(const char* type_name, uint64_t count, uint64_t allocated_bytes,
           uint64_t resident_bytes);
  // One object of |bytes|, all of them resident.
  void Add(const char* type_name, uint64_t bytes) { Add(type_name, 1, bytes, bytes); }
  // A string's heap block as "std::string".
  void AddString(const std::string& text);
  // This tally itself, as "TraceEventMemoryOverhead".
  void AddSelf();
  // Adds every entry of |other|.
  void Update(const TraceEventMemoryOverhead& other);

  // The object count of |type_name|; 0 when absent.
  uint64_t GetCount(const char* type_name) const;

  // One allocator dump per type, named "<base_name>/<type name>", with the scalars "size",
  // "resident_size" and "object_count".
  void DumpInto(const char* base_name, ProcessMemoryDump* pmd) const;

 private:
  struct Entry {
    const char* type_name = nullptr;
    uint64_t count = 0;
    uint64_t allocated_bytes = 0;
    uint64_t resident_bytes = 0;
  };
  // 64-bit FNV-1a over the address.
  struct AddressHash {
    size_t operator()(const char* address) const;
  };
  using EntryMap = std::unordered_map<const char*, Entry, AddressHash>;

  static constexpr size_t kMaxInlineEntries = 16;

  Entry* Find(const char* type_name);
  const Entry* Find(const char* type_name) const;
  template <typename Visitor>
  void ForEach(Visitor visit) const;

  Entry inline_entries_[kMaxInlineEntries];
  size_t inline_count_ = 0;
  std::unique_ptr<EntryMap> map_;  // Holds every entry once made.
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_
