#include "desktop/windows/crash_reporter/memory_range_set.h"

#include <iterator>

namespace crash_reporter {

MemoryRangeSet::MemoryRangeSet() = default;

MemoryRangeSet::~MemoryRangeSet() = default;

uint64_t MemoryRangeSet::Add(uint64_t start, uint64_t end) {
  if (start >= end)
    return 0;
  // The first range that could overlap or touch: the last one starting at or before
  // |start|, when it reaches |start|.
  auto it = ranges_.upper_bound(start);
  if (it != ranges_.begin() && std::prev(it)->second >= start)
    --it;
  uint64_t absorbed = 0;
  while (it != ranges_.end() && it->first <= end) {
    if (it->first < start)
      start = it->first;
    if (it->second > end)
      end = it->second;
    absorbed += it->second - it->first;
    it = ranges_.erase(it);
  }
  ranges_.emplace(start, end);
  const uint64_t added = (end - start) - absorbed;
  total_ += added;
  return added;
}

void MemoryRangeSet::Clear() {
  ranges_.clear();
  total_ = 0;
}

}  // namespace crash_reporter
