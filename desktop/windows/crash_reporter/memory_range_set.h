#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_SET_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_SET_H_

#include <stdint.h>

#include <map>

namespace crash_reporter {

// Ranges of memory to dump, [start, end) with 64-bit addresses: kept sorted, without
// overlaps and without touching neighbours (those are merged), with the number of bytes
// they cover. Not thread-safe.
class MemoryRangeSet {
 public:
  using Ranges = std::map<uint64_t, uint64_t>;  // start -> end, in address order.

  MemoryRangeSet();
  MemoryRangeSet(const MemoryRangeSet&) = delete;
  MemoryRangeSet& operator=(const MemoryRangeSet&) = delete;
  ~MemoryRangeSet();

  // Adds [start, end), merged with every range it overlaps or touches; returns the number
  // of bytes it newly covers.
  uint64_t Add(uint64_t start, uint64_t end);
  void Clear();

  const Ranges& ranges() const { return ranges_; }
  uint64_t total() const { return total_; }

 private:
  Ranges ranges_;
  uint64_t total_ = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_SET_H_
