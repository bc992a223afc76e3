#include "base/metrics/persistent_memory_allocator.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/test/concurrent_threads.h"
#include "base/test/scoped_log_capture.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Reference = PersistentMemoryAllocator::Reference;

constexpr uint32_t kTypeA = 0x1A2B3C4D;
constexpr uint32_t kTypeB = 0x5E6F7A8B;

constexpr char kCorruptionLine[] = "Corruption detected in shared-memory segment.";

// Zeroed, 8-aligned memory for a segment, readable as 32-bit words by offset.
class SegmentMemory {
 public:
  explicit SegmentMemory(size_t size) : words_(size / 8) {}
  void* data() { return words_.data(); }
  uint32_t At(size_t offset) const {
    uint32_t value;
    memcpy(&value, reinterpret_cast<const char*>(words_.data()) + offset, sizeof(value));
    return value;
  }
  void Set(size_t offset, uint32_t value) {
    memcpy(reinterpret_cast<char*>(words_.data()) + offset, &value, sizeof(value));
  }

 private:
  std::vector<uint64_t> words_;
};

TEST(PersistentMemoryAllocatorTest, FreshSegmentLayoutAndFirstBlock) {
  SegmentMemory memory(4096);
  PersistentMemoryAllocator allocator(memory.data(), 4096, 1024, 0x1234, false);
  EXPECT_FALSE(allocator.IsCorrupt());
  EXPECT_EQ(0u, memory.At(28));   // Flags.
  EXPECT_EQ(56u, memory.At(32));  // Free offset.
  EXPECT_EQ(40u, memory.At(36));  // Tail: the queue head.
  EXPECT_EQ(40u, memory.At(52));  // The queue head's next: an empty queue.
  EXPECT_EQ(4096u, memory.At(4));
  EXPECT_EQ(1024u, memory.At(8));
  EXPECT_EQ(0x1234u, allocator.Id());
  EXPECT_EQ(56u, allocator.used());

  // One byte takes the smallest block: 16 header bytes and 8 of data.
  const Reference ref = allocator.Allocate(1, kTypeA);
  EXPECT_EQ(56u, ref);
  EXPECT_EQ(24u, memory.At(56));
  EXPECT_EQ(0xC8799269u, memory.At(60));
  EXPECT_EQ(kTypeA, memory.At(64));
  EXPECT_EQ(0u, memory.At(68));
  EXPECT_EQ(80u, memory.At(32));
  EXPECT_EQ(8u, allocator.GetAllocSize(ref));
  EXPECT_NE(nullptr, allocator.GetBlockData(ref, kTypeA, 8));
  EXPECT_EQ(nullptr, allocator.GetBlockData(ref, kTypeB, 8));
  EXPECT_EQ(nullptr, allocator.GetBlockData(ref, kTypeA, 9));
  EXPECT_EQ(nullptr, allocator.GetBlockData(ref + 8, 0, 0));
  EXPECT_EQ(0u, allocator.Allocate(0, kTypeA));

  // Not iterable until made so; made so twice, it is linked once.
  PersistentMemoryAllocator::Iterator before(&allocator);
  uint32_t type = 0;
  EXPECT_EQ(0u, before.GetNext(&type));
  allocator.MakeIterable(ref);
  allocator.MakeIterable(ref);
  EXPECT_EQ(40u, memory.At(68));  // The block ends the queue.
  EXPECT_EQ(56u, memory.At(52));  // The queue head leads to it.
  EXPECT_EQ(56u, memory.At(36));  // And it is the tail.
  PersistentMemoryAllocator::Iterator iterator(&allocator);
  EXPECT_EQ(ref, iterator.GetNext(&type));
  EXPECT_EQ(kTypeA, type);
  EXPECT_EQ(0u, iterator.GetNext(&type));

  EXPECT_TRUE(allocator.ChangeType(ref, kTypeB, kTypeA));
  EXPECT_FALSE(allocator.ChangeType(ref, kTypeA, kTypeA));
  EXPECT_EQ(kTypeB, allocator.GetType(ref));
}

TEST(PersistentMemoryAllocatorTest, BlocksNeverCrossPages) {
  SegmentMemory memory(1024);
  PersistentMemoryAllocator allocator(memory.data(), 1024, 256, 0, false);
  // 56 + 184 leaves 16 bytes of the first page, too few for a block: they go with it.
  const Reference first = allocator.Allocate(168, kTypeA);
  EXPECT_EQ(56u, first);
  EXPECT_EQ(200u, memory.At(56));
  EXPECT_EQ(184u, allocator.GetAllocSize(first));
  EXPECT_EQ(256u, allocator.used());

  const Reference second = allocator.Allocate(100, kTypeA);
  EXPECT_EQ(256u, second);
  // 136 bytes are left in the second page: a filler closes it and the block starts the next.
  const Reference third = allocator.Allocate(200, kTypeB);
  EXPECT_EQ(512u, third);
  EXPECT_EQ(136u, memory.At(376));
  EXPECT_EQ(0xFFFFFFFFu, memory.At(380));
  EXPECT_EQ(0u, allocator.GetType(376));

  // More than a page is refused without marking anything.
  EXPECT_EQ(0u, allocator.Allocate(300, kTypeA));
  EXPECT_FALSE(allocator.IsCorrupt());
  EXPECT_FALSE(allocator.IsFull());
}

// With small pages the rest of the header's page cannot hold a block, or even a filler.
TEST(PersistentMemoryAllocatorTest, SmallPagesServeAFreshSegment) {
  for (uint32_t page : {24u, 32u, 64u, 72u}) {
    SCOPED_TRACE(testing::Message() << "pages of " << page);
    test::ScopedLogCapture log;
    SegmentMemory memory(1024);
    PersistentMemoryAllocator allocator(memory.data(), 1024, page, 0, false);
    std::vector<Reference> refs;
    for (Reference ref = allocator.Allocate(1, kTypeA); ref; ref = allocator.Allocate(1, kTypeA)) {
      EXPECT_EQ(ref / page, (ref + memory.At(ref) - 1) / page) << "block " << ref;
      allocator.MakeIterable(ref);
      refs.push_back(ref);
    }
    EXPECT_FALSE(allocator.IsCorrupt());
    EXPECT_TRUE(allocator.IsFull());
    EXPECT_GE(refs.size(), 1024 / page - 3);
    EXPECT_EQ(0, log.CountLinesContaining(kCorruptionLine));

    // Another user of the segment takes it as it is.
    PersistentMemoryAllocator reader(memory.data(), 1024, 0, 0, true);
    EXPECT_FALSE(reader.IsCorrupt());
    PersistentMemoryAllocator::Iterator iterator(&reader);
    std::vector<Reference> iterated;
    while (const Reference ref = iterator.GetNextOfType(kTypeA))
      iterated.push_back(ref);
    EXPECT_EQ(refs, iterated);
  }
}

// Damaged queues that lead back to a block they passed: every walk ends, a block is handed
// out at most twice (one linked to itself once), and the segment is marked corrupt.
TEST(PersistentMemoryAllocatorTest, LoopsInTheQueueEndTheWalk) {
  constexpr int kBlocks = 6;
  for (int loop_to = 0; loop_to < kBlocks; ++loop_to) {
    SCOPED_TRACE(testing::Message() << "the last block leads back to block " << loop_to);
    test::ScopedLogCapture log;
    SegmentMemory memory(4096);
    PersistentMemoryAllocator allocator(memory.data(), 4096, 0, 0, false);
    std::vector<Reference> refs;
    for (int i = 0; i < kBlocks; ++i) {
      refs.push_back(allocator.Allocate(8, kTypeA));
      allocator.MakeIterable(refs.back());
    }
    memory.Set(refs.back() + 12, refs[loop_to]);

    std::map<Reference, int> handed_out;
    PersistentMemoryAllocator::Iterator iterator(&allocator);
    uint32_t type = 0;
    for (Reference ref = iterator.GetNext(&type); ref; ref = iterator.GetNext(&type))
      ASSERT_LE(++handed_out[ref], 2) << "block " << ref;
    for (const Reference ref : refs)
      EXPECT_LE(1, handed_out[ref]);
    if (loop_to == kBlocks - 1) {
      EXPECT_EQ(1, handed_out[refs.back()]);
    }
    EXPECT_TRUE(allocator.IsCorrupt());
    EXPECT_EQ(1, log.CountLinesContaining(kCorruptionLine));
  }
}

TEST(PersistentMemoryAllocatorTest, FullSegmentRefusesOnlyWhatDoesNotFit) {
  SegmentMemory memory(512);
  PersistentMemoryAllocator allocator(memory.data(), 512, 0, 0, false);
  EXPECT_NE(0u, allocator.Allocate(300, kTypeA));  // Up to 376.
  EXPECT_EQ(0u, allocator.Allocate(200, kTypeA));
  EXPECT_TRUE(allocator.IsFull());
  EXPECT_EQ(2u, memory.At(28));
  EXPECT_FALSE(allocator.IsCorrupt());
  // What still fits is still handed out.
  EXPECT_NE(0u, allocator.Allocate(100, kTypeA));
  EXPECT_TRUE(allocator.IsFull());
}

TEST(PersistentMemoryAllocatorTest, DirtyMemoryAtTheFreeOffsetMarksCorruptOnce) {
  test::ScopedLogCapture log;
  SegmentMemory memory(1024);
  PersistentMemoryAllocator allocator(memory.data(), 1024, 0, 0, false);
  ASSERT_EQ(56u, allocator.Allocate(8, kTypeA));
  memory.Set(80 + 8, 0xBAD);  // Inside the next block's header.
  EXPECT_EQ(0u, allocator.Allocate(8, kTypeA));
  EXPECT_TRUE(allocator.IsCorrupt());
  EXPECT_EQ(1u, memory.At(28) & 1);
  EXPECT_EQ(0u, allocator.Allocate(8, kTypeA));
  EXPECT_EQ(1, log.CountLinesContaining(kCorruptionLine));

  // The mark is in the segment: another user sees it at once.
  PersistentMemoryAllocator other(memory.data(), 1024, 0, 0, false);
  EXPECT_TRUE(other.IsCorrupt());
  EXPECT_EQ(0u, other.Allocate(8, kTypeA));
  EXPECT_EQ(1, log.CountLinesContaining(kCorruptionLine));
}

TEST(PersistentMemoryAllocatorTest, ExistingSegmentsAreReusedAsTheyAre) {
  SegmentMemory memory(2048);
  Reference ref = 0;
  {
    PersistentMemoryAllocator writer(memory.data(), 1024, 512, 7, false);
    ref = writer.Allocate(32, kTypeA);
    writer.MakeIterable(ref);
  }
  // Given more memory than the segment records, an allocator keeps to the segment.
  PersistentMemoryAllocator again(memory.data(), 2048, 0, 0, false);
  EXPECT_FALSE(again.IsCorrupt());
  EXPECT_EQ(1024u, again.size());
  EXPECT_EQ(7u, again.Id());
  const Reference second = again.Allocate(16, kTypeB);
  EXPECT_EQ(ref + 48, second);
  again.MakeIterable(second);

  PersistentMemoryAllocator reader(memory.data(), 1024, 0, 0, true);
  EXPECT_FALSE(reader.IsCorrupt());
  EXPECT_EQ(0u, reader.Allocate(8, kTypeA));
  EXPECT_FALSE(reader.ChangeType(ref, kTypeB, kTypeA));
  PersistentMemoryAllocator::Iterator iterator(&reader);
  EXPECT_EQ(ref, iterator.GetNextOfType(kTypeA));
  EXPECT_EQ(second, iterator.GetNextOfType(kTypeB));
  EXPECT_EQ(0u, iterator.GetNextOfType(kTypeB));

  // A read-only allocator cannot set up zeroed memory; a writer refuses memory that holds
  // something else than a segment, and memory too small for one.
  test::ScopedLogCapture log;
  SegmentMemory zeroed(1024);
  EXPECT_TRUE(PersistentMemoryAllocator(zeroed.data(), 1024, 0, 0, true).IsCorrupt());
  zeroed.Set(12, 1);
  EXPECT_TRUE(PersistentMemoryAllocator(zeroed.data(), 1024, 0, 0, false).IsCorrupt());
  EXPECT_TRUE(PersistentMemoryAllocator(memory.data(), 64, 0, 0, false).IsCorrupt());
}

TEST(PersistentMemoryAllocatorTest, ThreadsAllocateAndLinkWithoutLosingBlocks) {
  constexpr int kThreads = 8;
  constexpr int kBlocksPerThread = 300;
  SegmentMemory memory(1 << 20);
  PersistentMemoryAllocator allocator(memory.data(), 1 << 20, 4096, 0, false);
  std::vector<std::vector<Reference>> refs(kThreads);
  ASSERT_TRUE(test::RunConcurrently(
      kThreads,
      [&](int thread) {
        for (int i = 0; i < kBlocksPerThread; ++i) {
          const Reference ref = allocator.Allocate(8 + (i % 5) * 40, kTypeA + thread);
          if (!ref)
            return;
          allocator.MakeIterable(ref);
          refs[thread].push_back(ref);
        }
      },
      TimeDelta::FromSeconds(60)));
  EXPECT_FALSE(allocator.IsCorrupt());

  std::set<Reference> allocated;
  for (int thread = 0; thread < kThreads; ++thread) {
    ASSERT_EQ(static_cast<size_t>(kBlocksPerThread), refs[thread].size());
    allocated.insert(refs[thread].begin(), refs[thread].end());
  }
  EXPECT_EQ(static_cast<size_t>(kThreads * kBlocksPerThread), allocated.size());

  // Each block is on the queue exactly once, and each thread's blocks in its order.
  std::set<Reference> iterated;
  std::vector<size_t> next_of_thread(kThreads, 0);
  PersistentMemoryAllocator::Iterator iterator(&allocator);
  uint32_t type = 0;
  for (Reference ref = iterator.GetNext(&type); ref; ref = iterator.GetNext(&type)) {
    EXPECT_TRUE(iterated.insert(ref).second);
    const int thread = static_cast<int>(type - kTypeA);
    ASSERT_TRUE(thread >= 0 && thread < kThreads);
    EXPECT_EQ(refs[thread][next_of_thread[thread]++], ref);
  }
  EXPECT_EQ(allocated, iterated);
}

}  // namespace
}  // namespace base
