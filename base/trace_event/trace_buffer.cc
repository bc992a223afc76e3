#include "base/trace_event/trace_buffer.h"

#include <utility>

#include "base/logging.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

// Events of a handle's chunk, or null when the handle no longer resolves.
TraceEvent* FindEvent(std::vector<std::unique_ptr<TraceBufferChunk>>& chunks,
                      TraceEventHandle handle) {
  if (handle.chunk_index >= chunks.size())
    return nullptr;
  TraceBufferChunk* chunk = chunks[handle.chunk_index].get();
  if (!chunk || chunk->seq() != handle.chunk_seq)
    return nullptr;
  return chunk->GetEventAt(handle.event_index);
}

class TraceBufferVector : public TraceBuffer {
 public:
  explicit TraceBufferVector(size_t max_chunks) : max_chunks_(max_chunks) {}

  std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) override {
    // Handed out even when full: metadata events are added after recording stopped.
    *index = chunks_.size();
    chunks_.push_back(nullptr);
    ++in_flight_chunk_count_;
    // Sequence numbers start at 1: 0 marks an empty handle.
    return std::make_unique<TraceBufferChunk>(static_cast<uint32_t>(*index) + 1);
  }

  void ReturnChunk(size_t index, std::unique_ptr<TraceBufferChunk> chunk) override {
    DCHECK(in_flight_chunk_count_ > 0);
    DCHECK(index < chunks_.size() && !chunks_[index]);
    --in_flight_chunk_count_;
    chunks_[index] = std::move(chunk);
  }

  bool IsFull() const override { return chunks_.size() >= max_chunks_; }
  size_t Size() const override { return chunks_.size() * TraceBufferChunk::kTraceBufferChunkSize; }
  size_t Capacity() const override { return max_chunks_ * TraceBufferChunk::kTraceBufferChunkSize; }

  TraceEvent* GetEventByHandle(TraceEventHandle handle) override {
    return FindEvent(chunks_, handle);
  }

  const TraceBufferChunk* NextChunk() override {
    while (current_iteration_index_ < chunks_.size()) {
      const TraceBufferChunk* chunk = chunks_[current_iteration_index_++].get();
      if (chunk)
        return chunk;
    }
    return nullptr;
  }

  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override {
    const size_t slots_allocated = max_chunks_ * sizeof(chunks_[0]);
    const size_t slots_resident = chunks_.size() * sizeof(chunks_[0]);
    overhead->Add("TraceBufferVector", 1, sizeof(*this) + slots_allocated,
                  sizeof(*this) + slots_resident);
    for (const auto& chunk : chunks_) {
      if (chunk)
        chunk->EstimateTraceMemoryOverhead(overhead);
    }
  }

 private:
  size_t in_flight_chunk_count_ = 0;
  size_t current_iteration_index_ = 0;
  const size_t max_chunks_;
  std::vector<std::unique_ptr<TraceBufferChunk>> chunks_;
};

class TraceBufferRingBuffer : public TraceBuffer {
 public:
  explicit TraceBufferRingBuffer(size_t max_chunks)
      : max_chunks_(max_chunks), recyclable_chunks_queue_(QueueCapacity()) {
    for (size_t i = 0; i < max_chunks_; ++i)
      recyclable_chunks_queue_[i] = i;
    queue_tail_ = max_chunks_;
  }

  std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) override {
    // Every chunk is out (held by threads that fill them): nothing to recycle.
    if (QueueIsEmpty())
      return nullptr;
    *index = recyclable_chunks_queue_[queue_head_];
    queue_head_ = NextQueueIndex(queue_head_);
    current_iteration_index_ = queue_head_;

    if (*index >= chunks_.size())
      chunks_.resize(*index + 1);
    std::unique_ptr<TraceBufferChunk> chunk = std::move(chunks_[*index]);
    if (chunk)
      chunk->Reset(current_chunk_seq_++);
    else
      chunk = std::make_unique<TraceBufferChunk>(current_chunk_seq_++);
    return chunk;
  }

  void ReturnChunk(size_t index, std::unique_ptr<TraceBufferChunk> chunk) override {
    DCHECK(index < chunks_.size() && !chunks_[index]);
    chunks_[index] = std::move(chunk);
    recyclable_chunks_queue_[queue_tail_] = index;
    queue_tail_ = NextQueueIndex(queue_tail_);
  }

  bool IsFull() const override { return false; }
  size_t Size() const override { return chunks_.size() * TraceBufferChunk::kTraceBufferChunkSize; }
  size_t Capacity() const override { return max_chunks_ * TraceBufferChunk::kTraceBufferChunkSize; }

  TraceEvent* GetEventByHandle(TraceEventHandle handle) override {
    return FindEvent(chunks_, handle);
  }

  const TraceBufferChunk* NextChunk() override {
    while (current_iteration_index_ != queue_tail_) {
      const size_t chunk_index = recyclable_chunks_queue_[current_iteration_index_];
      current_iteration_index_ = NextQueueIndex(current_iteration_index_);
      // Indexes of chunks never handed out name no chunk yet.
      if (chunk_index < chunks_.size() && chunks_[chunk_index])
        return chunks_[chunk_index].get();
    }
    return nullptr;
  }

  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override {
    overhead->Add("TraceBufferRingBuffer", 1,
                  sizeof(*this) + QueueCapacity() * sizeof(size_t) +
                      max_chunks_ * sizeof(chunks_[0]),
                  sizeof(*this) + QueueCapacity() * sizeof(size_t) +
                      chunks_.size() * sizeof(chunks_[0]));
    for (size_t i = queue_head_; i != queue_tail_; i = NextQueueIndex(i)) {
      const size_t chunk_index = recyclable_chunks_queue_[i];
      if (chunk_index < chunks_.size() && chunks_[chunk_index])
        chunks_[chunk_index]->EstimateTraceMemoryOverhead(overhead);
    }
  }

 private:
  // One more than the chunks, so that a full queue differs from an empty one.
  size_t QueueCapacity() const { return max_chunks_ + 1; }
  bool QueueIsEmpty() const { return queue_head_ == queue_tail_; }
  size_t NextQueueIndex(size_t index) const {
    return index + 1 == QueueCapacity() ? 0 : index + 1;
  }

  const size_t max_chunks_;
  std::vector<std::unique_ptr<TraceBufferChunk>> chunks_;
  std::vector<size_t> recyclable_chunks_queue_;
  size_t queue_head_ = 0;
  size_t queue_tail_ = 0;
  size_t current_iteration_index_ = 0;
  uint32_t current_chunk_seq_ = 1;
};

}  // namespace

TraceBufferChunk::TraceBufferChunk(uint32_t seq) : seq_(seq) {}

TraceBufferChunk::~TraceBufferChunk() = default;

void TraceBufferChunk::Reset(uint32_t new_seq) {
  for (size_t i = 0; i < next_free_; ++i)
    chunk_[i].Reset();
  next_free_ = 0;
  seq_ = new_seq;
  cached_overhead_estimate_.reset();
}

TraceEvent* TraceBufferChunk::AddTraceEvent(size_t* event_index) {
  if (IsFull())
    return nullptr;
  *event_index = next_free_++;
  return &chunk_[*event_index];
}

void TraceBufferChunk::EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) {
  if (!cached_overhead_estimate_) {
    cached_overhead_estimate_ = std::make_unique<TraceEventMemoryOverhead>();
    // The records are counted one by one below.
    cached_overhead_estimate_->Add("TraceBufferChunk", sizeof(*this) - sizeof(chunk_));
  }
  const uint64_t estimated = cached_overhead_estimate_->GetCount(TraceEvent::kOverheadTypeName);
  if (IsFull() && estimated == next_free_) {
    overhead->Update(*cached_overhead_estimate_);
    return;
  }
  for (size_t i = static_cast<size_t>(estimated); i < next_free_; ++i)
    chunk_[i].EstimateTraceMemoryOverhead(cached_overhead_estimate_.get());
  // Free records change while the chunk fills, so they are not kept in the estimate.
  if (!IsFull()) {
    const uint64_t unused_bytes = (kTraceBufferChunkSize - next_free_) * sizeof(TraceEvent);
    overhead->Add("TraceEvent (unused)", 1, unused_bytes, unused_bytes);
  }
  overhead->Update(*cached_overhead_estimate_);
}

// static
std::unique_ptr<TraceBuffer> TraceBuffer::CreateTraceBufferVectorOfSize(size_t max_chunks) {
  return std::make_unique<TraceBufferVector>(max_chunks);
}

// static
std::unique_ptr<TraceBuffer> TraceBuffer::CreateTraceBufferRingBuffer(size_t max_chunks) {
  return std::make_unique<TraceBufferRingBuffer>(max_chunks);
}

void MakeTraceEventHandle(uint32_t chunk_seq, size_t chunk_index, size_t event_index,
                          TraceEventHandle* handle) {
  handle->chunk_seq = chunk_seq;
  handle->chunk_index = static_cast<uint32_t>(chunk_index);
  handle->event_index = static_cast<uint32_t>(event_index);
}

}  // namespace trace_event
}  // namespace base
