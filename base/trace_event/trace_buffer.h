#ifndef BASE_TRACE_EVENT_TRACE_BUFFER_H_
#define BASE_TRACE_EVENT_TRACE_BUFFER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "base/trace_event/trace_event_impl.h"

namespace base {
namespace trace_event {

class TraceEventMemoryOverhead;

// 64 event records handed out in order. A chunk belongs to one holder at a time: a
// thread's local event buffer, the trace log's shared chunk, or its trace buffer.
class TraceBufferChunk {
 public:
  static constexpr size_t kTraceBufferChunkSize = 64;

  explicit TraceBufferChunk(uint32_t seq);
  TraceBufferChunk(const TraceBufferChunk&) = delete;
  TraceBufferChunk& operator=(const TraceBufferChunk&) = delete;
  ~TraceBufferChunk();

  // Empties the chunk for reuse under a new sequence number.
  void Reset(uint32_t new_seq);

  // The next free record and its index; null when the chunk is full.
  TraceEvent* AddTraceEvent(size_t* event_index);
  bool IsFull() const { return next_free_ == kTraceBufferChunkSize; }

  uint32_t seq() const { return seq_; }
  size_t size() const { return next_free_; }
  TraceEvent* GetEventAt(size_t index) { return index < next_free_ ? &chunk_[index] : nullptr; }
  const TraceEvent* GetEventAt(size_t index) const {
    return index < next_free_ ? &chunk_[index] : nullptr;
  }

  // Adds the chunk and its events; what full events cost is computed once and kept.
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);

 private:
  size_t next_free_ = 0;
  std::unique_ptr<TraceEventMemoryOverhead> cached_overhead_estimate_;
  TraceEvent chunk_[kTraceBufferChunkSize];
  uint32_t seq_;
};

// The trace log's store of chunks. Called under the trace log's lock.
class TraceBuffer {
 public:
  TraceBuffer() = default;
  TraceBuffer(const TraceBuffer&) = delete;
  TraceBuffer& operator=(const TraceBuffer&) = delete;
  virtual ~TraceBuffer() = default;

  // Hands out a chunk to fill and its index; null when none is free.
  virtual std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) = 0;
  // Takes back a chunk handed out under |index|.
  virtual void ReturnChunk(size_t index, std::unique_ptr<TraceBufferChunk> chunk) = 0;

  virtual bool IsFull() const = 0;
  // Events the chunks in the buffer can hold, and at most.
  virtual size_t Size() const = 0;
  virtual size_t Capacity() const = 0;
  // The event of |handle| while its chunk is in the buffer under the same sequence number.
  virtual TraceEvent* GetEventByHandle(TraceEventHandle handle) = 0;
  // Walks the chunks in the buffer for export; null at the end.
  virtual const TraceBufferChunk* NextChunk() = 0;

  virtual void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) = 0;

  // Keeps every event until |max_chunks| chunks were handed out, then reports full.
  static std::unique_ptr<TraceBuffer> CreateTraceBufferVectorOfSize(size_t max_chunks);
  // Reuses the oldest chunk once |max_chunks| are in use; never full.
  static std::unique_ptr<TraceBuffer> CreateTraceBufferRingBuffer(size_t max_chunks);
};

// Points |handle| at event |event_index| of chunk |chunk_index| with sequence |chunk_seq|.
void MakeTraceEventHandle(uint32_t chunk_seq, size_t chunk_index, size_t event_index,
                          TraceEventHandle* handle);

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_BUFFER_H_
