#ifndef BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_
#define BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>

#include "base/synchronization/lock.h"

namespace base {

class HistogramBase;

// Carves typed blocks out of one memory segment in a format that other processes can read
// (a mapped file or shared memory). Lock-free: every shared field changes by
// compare-and-swap, so threads and processes sharing a segment may allocate and iterate at
// the same time. Blocks are never freed; a block's type may change.
//
// Segment layout (offsets from its start, little-endian):
//    0  u32 cookie, written last when a fresh segment is set up
//    4  u32 segment size          8  u32 page size
//   12  u32 format version       16  u64 id            24  u32 reserved
//   28  u32 flags (bit 0 corrupt, bit 1 full)
//   32  u32 free offset: the first byte not yet allocated
//   36  u32 tail: the last block of the iterable queue
//   40  16-byte queue head, whose next field begins the iterable queue
//   56  blocks, each on a multiple of 8 and never across a page: a 16-byte header
//       {u32 size with header, u32 cookie, u32 type id, u32 next iterable} and the data.
//
// The segment's contents are untrusted: every inconsistency marks it corrupt (one ERROR log
// per allocator), after which nothing more is allocated, and no operation reads or writes
// outside [base, base + size).
class PersistentMemoryAllocator {
 public:
  // The offset of a block's header; 0 is none.
  using Reference = uint32_t;

  static constexpr Reference kReferenceNull = 0;
  static constexpr Reference kReferenceQueue = 40;
  static constexpr uint32_t kAllocAlignment = 8;
  static constexpr uint32_t kBlockHeaderSize = 16;
  static constexpr uint32_t kSharedHeaderSize = 56;
  static constexpr uint32_t kMinBlockSize = 24;
  static constexpr uint32_t kMaxAllocSize = 0x3FFFFFF0;
  static constexpr size_t kSegmentMaxSize = size_t{1} << 30;
  static constexpr uint32_t kBlockCookieAllocated = 0xC8799269;
  static constexpr uint32_t kBlockCookieWasted = 0xFFFFFFFF;
  static constexpr uint32_t kFlagCorrupt = 1 << 0;
  static constexpr uint32_t kFlagFull = 1 << 1;

  // Walks the iterable queue. Safe to share between threads: each block is returned once
  // (at most twice, when a damaged queue loops, which ends the walk and marks corruption).
  class Iterator {
   public:
    explicit Iterator(const PersistentMemoryAllocator* allocator);
    // Starts after |starting_after|, an iterable block.
    Iterator(const PersistentMemoryAllocator* allocator, Reference starting_after);
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;

    // The next iterable block and its type; 0 at the end (or once the queue proves corrupt).
    Reference GetNext(uint32_t* type_id);
    Reference GetNextOfType(uint32_t type_id);

   private:
    const PersistentMemoryAllocator* const allocator_;
    Lock lock_;
    Reference last_record_;         // Under |lock_|, as are the fields below.
    uint32_t record_count_ = 0;
    // A block passed before: meeting it again proves a loop.
    Reference loop_mark_;
    uint32_t steps_since_mark_ = 0;
    uint32_t mark_interval_ = 1;
  };

  // Uses [base, base + size) as the segment. Zeroed memory is set up as a new segment
  // (writable allocators only); memory holding a segment is validated and used as it is,
  // at the size and page size it records. A segment that fails validation, memory too small
  // or misaligned for one, a recorded size beyond |size| (a truncated segment) or bad
  // arguments leave the allocator corrupt. |page_size| 0 means one page; otherwise a
  // multiple of 8. Nothing is written through a read-only allocator.
  PersistentMemoryAllocator(void* base, size_t size, size_t page_size, uint64_t id, bool read_only);
  PersistentMemoryAllocator(const PersistentMemoryAllocator&) = delete;
  PersistentMemoryAllocator& operator=(const PersistentMemoryAllocator&) = delete;
  virtual ~PersistentMemoryAllocator();

  // A new block with at least |size| bytes of zeroed data and type |type_id| (non-zero), not
  // yet iterable; 0 when the segment is full or corrupt or the size is 0 or above a page.
  Reference Allocate(size_t size, uint32_t type_id);
  // Appends the block to the iterable queue; once only.
  void MakeIterable(Reference ref);
  // Changes the block's type from |from_type_id| to |to_type_id|; false when it had another.
  bool ChangeType(Reference ref, uint32_t to_type_id, uint32_t from_type_id);

  // The block's data when it is a valid block of |type_id| (0: any) with at least |size|
  // data bytes; null otherwise.
  void* GetBlockData(Reference ref, uint32_t type_id, size_t size) const;
  template <typename T>
  T* GetAsObject(Reference ref, uint32_t type_id) const {
    return static_cast<T*>(GetBlockData(ref, type_id, sizeof(T)));
  }
  // The block's data size; 0 for an invalid block (and the segment is marked corrupt when
  // its header changed under the check).
  size_t GetAllocSize(Reference ref) const;
  // The block's type id; 0 for an invalid block.
  uint32_t GetType(Reference ref) const;

  void SetCorrupt() const;
  bool IsCorrupt() const;
  bool IsFull() const;
  bool IsReadOnly() const { return read_only_; }

  uint64_t Id() const;
  // The bytes in use, header included, and the usable size of the segment.
  size_t used() const;
  size_t size() const { return mem_size_; }
  const void* data() const { return mem_base_; }

  // Histograms that, when set, receive the size of every requested allocation (0 for a
  // failed one) and a sample for every time corruption is first found. Not owned; none is
  // set in this program.
  void SetStatisticsHistograms(HistogramBase* allocations, HistogramBase* errors);

 private:
  struct SharedMetadata;
  struct BlockHeader;

  Reference AllocateImpl(size_t size, uint32_t type_id);

  // The block at |ref| when it is valid for the arguments; |queue_ok| also accepts the queue
  // head, |free_ok| a block whose cookie is not (yet) the allocated one.
  BlockHeader* GetBlock(Reference ref,
                        uint32_t type_id,
                        size_t size,
                        bool queue_ok,
                        bool free_ok) const;

  SharedMetadata* shared_meta() const;
  // The free offset and the flags; 0 when the memory holds no header.
  uint32_t LoadFreeOffset() const;
  uint32_t LoadFlags() const;
  void SetFlag(uint32_t flag) const;

  char* mem_base_;
  uint32_t mem_size_;
  uint32_t mem_page_;
  const bool read_only_;
  bool has_header_ = false;
  mutable std::atomic<bool> corrupt_{false};
  HistogramBase* allocs_histogram_ = nullptr;
  HistogramBase* errors_histogram_ = nullptr;
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_
