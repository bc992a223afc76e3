#ifndef BASE_METRICS_THREAD_TRACKER_H_
#define BASE_METRICS_THREAD_TRACKER_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

// One thread's stack of current activities, kept in memory that another process can read
// after a hang or crash (a block of a persistent segment). Layout, little-endian:
//    0 u32 cookie 0xC0029B26, written last     4 u32 record slots: (size - 80) / 128
//    8 u64 process id     16 u64 thread id     24 i64 creation time (wall clock)
//   32 i64 creation time (monotonic ticks)     40 u32 depth (may exceed the slots)
//   44 u32 stack-unchanged marker, cleared by every pop
//   48 thread name, zero-terminated, at most 31 characters
//   80 the records, 128 bytes each:
//        0 i64 start ticks   8 u64 calling address   16 u64 origin address
//       24 10 x u64 call stack (the first written 0)  104 u32 user-data reference
//      108 u32 user-data id  112 u8 activity type     120 u64 activity data
// Only the owning thread pushes and pops; the depth changes atomically for readers.
class ThreadTracker {
 public:
  static constexpr uint32_t kCookie = 0xC0029B26;
  static constexpr size_t kHeaderSize = 80;
  static constexpr size_t kRecordSize = 128;
  // A header and two records.
  static constexpr size_t kMinimumMemorySize = kHeaderSize + 2 * kRecordSize;

  enum ActivityType : uint8_t {
    kTaskRun = 0x10,      // Data: the task's sequence number.
    kLockAcquire = 0x20,  // Data: the lock's address.
    kEventWait = 0x30,    // Data: the event's address.
    kThreadJoin = 0x41,   // Data: the thread id.
    kProcessWait = 0x51,  // Data: the process id.
  };

  // Over |size| bytes at |base| (8-aligned). Zeroed memory is set up for the calling thread;
  // memory that already holds a header is only validated. Invalid (pushes nothing) when the
  // memory is too small or its header does not validate.
  ThreadTracker(void* base, size_t size);
  ThreadTracker(const ThreadTracker&) = delete;
  ThreadTracker& operator=(const ThreadTracker&) = delete;

  bool IsValid() const { return valid_; }

  // Pushes an activity and returns its index for PopActivity; a stack deeper than the
  // slots counts the activity without recording it.
  uint32_t PushActivity(const void* calling_address,
                        const void* origin_address,
                        ActivityType type,
                        uint64_t data);
  void PopActivity(uint32_t index);

  uint32_t depth() const;
  uint32_t slot_count() const { return slot_count_; }

  // Whether |size| bytes at |base| hold a complete tracker: the cookie, non-zero ids and
  // times, a slot count that matches the size and a terminated name.
  static bool IsValidMemory(const void* base, size_t size);

 private:
  struct Header;
  struct ActivityRecord;

  Header* header_ = nullptr;
  ActivityRecord* records_ = nullptr;
  uint32_t slot_count_ = 0;
  bool valid_ = false;
};

}  // namespace base

#endif  // BASE_METRICS_THREAD_TRACKER_H_
