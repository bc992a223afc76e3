#include "base/metrics/persistent_memory_allocator.h"

#include <string.h>

#include <algorithm>

#include "base/logging.h"
#include "base/metrics/histogram_base.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

constexpr uint32_t kSegmentCookie = 0x5E6D41C3;
constexpr uint32_t kFormatVersion = 1;

template <typename T>
std::atomic_ref<T> Atomic(T& field) {
  return std::atomic_ref<T>(field);
}

}  // namespace

struct PersistentMemoryAllocator::BlockHeader {
  uint32_t size;
  uint32_t cookie;
  uint32_t type_id;
  uint32_t next;
};

struct PersistentMemoryAllocator::SharedMetadata {
  uint32_t cookie;
  uint32_t size;
  uint32_t page_size;
  uint32_t version;
  uint64_t id;
  uint32_t reserved;
  uint32_t flags;
  uint32_t freeptr;
  uint32_t tailptr;
  BlockHeader queue;
};

PersistentMemoryAllocator::Iterator::Iterator(const PersistentMemoryAllocator* allocator)
    : Iterator(allocator, kReferenceQueue) {}

PersistentMemoryAllocator::Iterator::Iterator(const PersistentMemoryAllocator* allocator,
                                              Reference starting_after)
    : allocator_(allocator), last_record_(starting_after), loop_mark_(starting_after) {}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::Iterator::GetNext(
    uint32_t* type_id) {
  AutoLock hold(lock_);
  BlockHeader* block = allocator_->GetBlock(last_record_, 0, 0, true, false);
  if (!block)
    return kReferenceNull;
  const Reference next = Atomic(block->next).load(std::memory_order_acquire);
  if (next == kReferenceQueue || next == kReferenceNull)
    return kReferenceNull;
  BlockHeader* next_block = allocator_->GetBlock(next, 0, 0, false, false);
  if (!next_block) {
    allocator_->SetCorrupt();
    return kReferenceNull;
  }
  // A damaged queue may lead back to a block it passed. A block linked to itself shows at
  // once; any other loop comes back to the mark, which jumps ahead at doubling intervals
  // (Brent's cycle check), within twice its length, so no block is handed out more than
  // twice. A sound queue also never holds more blocks than fit below the free offset.
  const uint32_t limit = std::min<uint32_t>(allocator_->mem_size_, allocator_->LoadFreeOffset());
  if (next == last_record_ || next == loop_mark_ || record_count_ + 1 > limit / kMinBlockSize) {
    allocator_->SetCorrupt();
    return kReferenceNull;
  }
  if (++steps_since_mark_ == mark_interval_) {
    loop_mark_ = next;
    steps_since_mark_ = 0;
    mark_interval_ *= 2;
  }
  last_record_ = next;
  ++record_count_;
  *type_id = Atomic(next_block->type_id).load(std::memory_order_relaxed);
  return next;
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::Iterator::GetNextOfType(
    uint32_t type_id) {
  uint32_t found_type = 0;
  for (Reference ref = GetNext(&found_type); ref; ref = GetNext(&found_type)) {
    if (found_type == type_id)
      return ref;
  }
  return kReferenceNull;
}

PersistentMemoryAllocator::PersistentMemoryAllocator(void* base,
                                                     size_t size,
                                                     size_t page_size,
                                                     uint64_t id,
                                                     bool read_only)
    : mem_base_(static_cast<char*>(base)), mem_size_(0), mem_page_(0), read_only_(read_only) {
  static_assert(sizeof(SharedMetadata) == kSharedHeaderSize &&
                    offsetof(SharedMetadata, flags) == 28 &&
                    offsetof(SharedMetadata, queue) == kReferenceQueue,
                "the segment header is a stored format");
  if (!base || reinterpret_cast<uintptr_t>(base) % kAllocAlignment ||
      size < kSharedHeaderSize + kMinBlockSize || size > kSegmentMaxSize ||
      page_size % kAllocAlignment || page_size > size) {
    LOG(ERROR) << "Unusable memory for a persistent segment: " << size << " bytes, pages of "
               << page_size;
    corrupt_.store(true, std::memory_order_relaxed);
    return;
  }
  mem_size_ = static_cast<uint32_t>(size - size % kAllocAlignment);
  mem_page_ = page_size ? static_cast<uint32_t>(page_size) : mem_size_;
  has_header_ = true;

  SharedMetadata* meta = shared_meta();
  if (Atomic(meta->cookie).load(std::memory_order_acquire) == 0) {
    // Memory that holds anything but zeros is no fresh segment.
    const char* bytes = mem_base_;
    const bool zeroed =
        std::all_of(bytes, bytes + kSharedHeaderSize, [](char byte) { return byte == 0; });
    if (read_only_ || !zeroed) {
      SetCorrupt();
      return;
    }
    meta->size = mem_size_;
    meta->page_size = mem_page_;
    meta->version = kFormatVersion;
    meta->id = id;
    meta->freeptr = kSharedHeaderSize;
    meta->tailptr = kReferenceQueue;
    meta->queue.next = kReferenceQueue;
    Atomic(meta->cookie).store(kSegmentCookie, std::memory_order_release);
    return;
  }

  const uint32_t stored_size = meta->size;
  const uint32_t stored_page = meta->page_size;
  if (Atomic(meta->cookie).load(std::memory_order_acquire) != kSegmentCookie ||
      meta->version != kFormatVersion || stored_size > mem_size_ ||
      stored_size < kSharedHeaderSize + kMinBlockSize || stored_size % kAllocAlignment ||
      stored_page == 0 || stored_page % kAllocAlignment || stored_page > stored_size) {
    SetCorrupt();
    return;
  }
  // The segment may have been made smaller than the memory that holds it.
  mem_size_ = stored_size;
  mem_page_ = stored_page;
  const uint32_t free_offset = LoadFreeOffset();
  if (free_offset < kSharedHeaderSize || free_offset % kAllocAlignment || free_offset > mem_size_ ||
      Atomic(meta->queue.next).load(std::memory_order_acquire) == 0 ||
      !GetBlock(Atomic(meta->tailptr).load(std::memory_order_acquire), 0, 0, true, false)) {
    SetCorrupt();
  }
}

PersistentMemoryAllocator::~PersistentMemoryAllocator() = default;

PersistentMemoryAllocator::SharedMetadata* PersistentMemoryAllocator::shared_meta() const {
  return reinterpret_cast<SharedMetadata*>(mem_base_);
}

uint32_t PersistentMemoryAllocator::LoadFreeOffset() const {
  return has_header_ ? Atomic(shared_meta()->freeptr).load(std::memory_order_acquire) : 0;
}

uint32_t PersistentMemoryAllocator::LoadFlags() const {
  return has_header_ ? Atomic(shared_meta()->flags).load(std::memory_order_acquire) : 0;
}

void PersistentMemoryAllocator::SetFlag(uint32_t flag) const {
  if (!has_header_ || read_only_)
    return;
  Atomic(shared_meta()->flags).fetch_or(flag, std::memory_order_acq_rel);
}

uint64_t PersistentMemoryAllocator::Id() const {
  return has_header_ ? shared_meta()->id : 0;
}

size_t PersistentMemoryAllocator::used() const {
  return std::min<uint32_t>(LoadFreeOffset(), mem_size_);
}

void PersistentMemoryAllocator::SetStatisticsHistograms(HistogramBase* allocations,
                                                        HistogramBase* errors) {
  allocs_histogram_ = allocations;
  errors_histogram_ = errors;
}

bool PersistentMemoryAllocator::IsCorrupt() const {
  return corrupt_.load(std::memory_order_relaxed) || (LoadFlags() & kFlagCorrupt);
}

bool PersistentMemoryAllocator::IsFull() const {
  return (LoadFlags() & kFlagFull) != 0;
}

void PersistentMemoryAllocator::SetCorrupt() const {
  if (!corrupt_.load(std::memory_order_relaxed) && !(LoadFlags() & kFlagCorrupt)) {
    LOG(ERROR) << "Corruption detected in shared-memory segment.";
    if (errors_histogram_)
      errors_histogram_->Add(1);
  }
  corrupt_.store(true, std::memory_order_relaxed);
  SetFlag(kFlagCorrupt);
}

PersistentMemoryAllocator::BlockHeader* PersistentMemoryAllocator::GetBlock(Reference ref,
                                                                            uint32_t type_id,
                                                                            size_t size,
                                                                            bool queue_ok,
                                                                            bool free_ok) const {
  if (!has_header_ || ref % kAllocAlignment)
    return nullptr;
  if (ref < kSharedHeaderSize && !(queue_ok && ref == kReferenceQueue))
    return nullptr;
  BlockHeader* block = reinterpret_cast<BlockHeader*>(mem_base_ + ref);
  if (ref == kReferenceQueue)
    return block;
  // Everything below is checked against the memory given, whatever the segment claims.
  const uint64_t limit = std::min<uint32_t>(mem_size_, LoadFreeOffset());
  if (uint64_t{ref} + kBlockHeaderSize > limit)
    return nullptr;
  const uint32_t block_size = Atomic(block->size).load(std::memory_order_relaxed);
  if (block_size < kBlockHeaderSize || uint64_t{ref} + block_size > limit ||
      uint64_t{size} + kBlockHeaderSize > block_size) {
    return nullptr;
  }
  if (!free_ok && Atomic(block->cookie).load(std::memory_order_relaxed) != kBlockCookieAllocated) {
    return nullptr;
  }
  if (type_id && Atomic(block->type_id).load(std::memory_order_relaxed) != type_id)
    return nullptr;
  return block;
}

void* PersistentMemoryAllocator::GetBlockData(Reference ref, uint32_t type_id, size_t size) const {
  BlockHeader* block = GetBlock(ref, type_id, size, false, false);
  return block ? reinterpret_cast<char*>(block) + kBlockHeaderSize : nullptr;
}

size_t PersistentMemoryAllocator::GetAllocSize(Reference ref) const {
  BlockHeader* block = GetBlock(ref, 0, 0, false, false);
  if (!block)
    return 0;
  // Checked by GetBlock, but another process may have changed it since.
  const uint32_t block_size = Atomic(block->size).load(std::memory_order_relaxed);
  if (block_size <= kBlockHeaderSize || uint64_t{ref} + block_size > mem_size_) {
    SetCorrupt();
    return 0;
  }
  return block_size - kBlockHeaderSize;
}

uint32_t PersistentMemoryAllocator::GetType(Reference ref) const {
  BlockHeader* block = GetBlock(ref, 0, 0, false, false);
  return block ? Atomic(block->type_id).load(std::memory_order_relaxed) : 0;
}

bool PersistentMemoryAllocator::ChangeType(Reference ref,
                                           uint32_t to_type_id,
                                           uint32_t from_type_id) {
  if (read_only_)
    return false;
  BlockHeader* block = GetBlock(ref, 0, 0, false, false);
  if (!block)
    return false;
  return Atomic(block->type_id)
      .compare_exchange_strong(from_type_id, to_type_id, std::memory_order_acq_rel);
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::Allocate(size_t size,
                                                                         uint32_t type_id) {
  const Reference ref = AllocateImpl(size, type_id);
  if (allocs_histogram_)
    allocs_histogram_->Add(ref ? static_cast<HistogramBase::Sample>(size) : 0);
  return ref;
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::AllocateImpl(size_t size,
                                                                             uint32_t type_id) {
  if (read_only_ || size > kMaxAllocSize)
    return kReferenceNull;
  const uint32_t block_size = static_cast<uint32_t>(
      (size + kBlockHeaderSize + kAllocAlignment - 1) & ~size_t{kAllocAlignment - 1});
  if (block_size <= kBlockHeaderSize || block_size > mem_page_)
    return kReferenceNull;

  SharedMetadata* meta = shared_meta();
  uint32_t free_offset = LoadFreeOffset();
  for (;;) {
    if (IsCorrupt()) {
      SetCorrupt();
      return kReferenceNull;
    }
    if (uint64_t{free_offset} + block_size > mem_size_) {
      SetFlag(kFlagFull);
      return kReferenceNull;
    }
    if (free_offset < kSharedHeaderSize || free_offset % kAllocAlignment ||
        uint64_t{free_offset} + kBlockHeaderSize > mem_size_) {
      SetCorrupt();
      return kReferenceNull;
    }

    const uint32_t page_free = mem_page_ - free_offset % mem_page_;
    if (block_size > page_free) {
      // Too little is left in this page: close it with a filler block and try the next.
      // Blocks take the rest of a page that could hold no other block, so only the page of
      // the segment header can end with less than a filler needs (pages of 24, 32, 64 or
      // 72 bytes): that rest is skipped without one.
      const bool header_page_rest = free_offset == kSharedHeaderSize;
      if (page_free < kBlockHeaderSize + 1 && !header_page_rest) {
        SetCorrupt();
        return kReferenceNull;
      }
      const uint32_t new_free_offset = free_offset + page_free;
      if (Atomic(meta->freeptr)
              .compare_exchange_strong(free_offset, new_free_offset, std::memory_order_acq_rel)) {
        if (page_free >= kBlockHeaderSize) {
          BlockHeader* filler = reinterpret_cast<BlockHeader*>(mem_base_ + free_offset);
          Atomic(filler->size).store(page_free, std::memory_order_relaxed);
          Atomic(filler->cookie).store(kBlockCookieWasted, std::memory_order_release);
        }
        free_offset = new_free_offset;
      }
      continue;
    }

    // A remainder too small for any block goes with this one.
    uint32_t size_taken = block_size;
    if (page_free - block_size < kMinBlockSize)
      size_taken = page_free;
    const uint32_t new_free_offset = free_offset + size_taken;
    if (new_free_offset > mem_size_) {
      SetCorrupt();
      return kReferenceNull;
    }
    if (!Atomic(meta->freeptr)
             .compare_exchange_strong(free_offset, new_free_offset, std::memory_order_acq_rel)) {
      continue;
    }

    // Memory past the free offset must never have been written.
    BlockHeader* block = reinterpret_cast<BlockHeader*>(mem_base_ + free_offset);
    if (Atomic(block->size).load(std::memory_order_relaxed) ||
        Atomic(block->cookie).load(std::memory_order_relaxed) ||
        Atomic(block->type_id).load(std::memory_order_relaxed) ||
        Atomic(block->next).load(std::memory_order_relaxed)) {
      SetCorrupt();
      return kReferenceNull;
    }
    memset(reinterpret_cast<char*>(block) + kBlockHeaderSize, 0, size_taken - kBlockHeaderSize);
    Atomic(block->size).store(size_taken, std::memory_order_relaxed);
    Atomic(block->type_id).store(type_id, std::memory_order_relaxed);
    Atomic(block->cookie).store(kBlockCookieAllocated, std::memory_order_release);
    return free_offset;
  }
}

void PersistentMemoryAllocator::MakeIterable(Reference ref) {
  if (read_only_)
    return;
  if (IsCorrupt()) {
    SetCorrupt();
    return;
  }
  BlockHeader* block = GetBlock(ref, 0, 0, false, false);
  if (!block)
    return;
  uint32_t expected = 0;
  if (!Atomic(block->next)
           .compare_exchange_strong(expected, kReferenceQueue, std::memory_order_acq_rel)) {
    return;  // Already iterable.
  }

  SharedMetadata* meta = shared_meta();
  Reference tail = Atomic(meta->tailptr).load(std::memory_order_acquire);
  // A sound queue has fewer links than blocks fit in the segment; more means a loop.
  for (uint32_t steps = 0; steps <= mem_size_ / kMinBlockSize; ++steps) {
    BlockHeader* tail_block = GetBlock(tail, 0, 0, true, false);
    if (!tail_block)
      break;
    Reference next = kReferenceQueue;
    if (Atomic(tail_block->next).compare_exchange_strong(next, ref, std::memory_order_acq_rel)) {
      Atomic(meta->tailptr).compare_exchange_strong(tail, ref, std::memory_order_acq_rel);
      return;
    }
    // Another thread linked a block after the tail without moving the tail yet: help it.
    if (Atomic(meta->tailptr).compare_exchange_strong(tail, next, std::memory_order_acq_rel))
      tail = next;
  }
  SetCorrupt();
}

}  // namespace base
