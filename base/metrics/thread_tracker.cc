#include "base/metrics/thread_tracker.h"

#include <windows.h>
#include <string.h>

#include <atomic>
#include <string>

#include "base/logging.h"
#include "base/threading/thread_name_registry.h"
#include "base/time/time.h"

namespace base {

struct ThreadTracker::Header {
  uint32_t cookie;
  uint32_t slot_count;
  uint64_t process_id;
  uint64_t thread_id;
  int64_t creation_time;
  int64_t creation_ticks;
  uint32_t current_depth;
  uint32_t stack_unchanged;
  char thread_name[32];
};

struct ThreadTracker::ActivityRecord {
  int64_t start_ticks;
  uint64_t calling_address;
  uint64_t origin_address;
  uint64_t call_stack[10];
  uint32_t user_data_ref;
  uint32_t user_data_id;
  uint8_t activity_type;
  uint8_t padding[7];
  uint64_t data;
};

namespace {

uint32_t SlotCountFor(size_t size) {
  return static_cast<uint32_t>((size - ThreadTracker::kHeaderSize) / ThreadTracker::kRecordSize);
}

}  // namespace

ThreadTracker::ThreadTracker(void* base, size_t size) {
  static_assert(sizeof(Header) == kHeaderSize && sizeof(ActivityRecord) == kRecordSize &&
                    offsetof(ActivityRecord, user_data_ref) == 104 &&
                    offsetof(ActivityRecord, activity_type) == 112,
                "the tracker memory is a stored format");
  if (!base || size < kMinimumMemorySize || reinterpret_cast<uintptr_t>(base) % 8)
    return;
  header_ = static_cast<Header*>(base);
  records_ = reinterpret_cast<ActivityRecord*>(static_cast<char*>(base) + kHeaderSize);

  if (std::atomic_ref<uint32_t>(header_->cookie).load(std::memory_order_acquire) == 0) {
    header_->slot_count = SlotCountFor(size);
    header_->process_id = ::GetCurrentProcessId();
    header_->thread_id = ::GetCurrentThreadId();
    header_->creation_time = Time::Now().ToInternalValue();
    header_->creation_ticks = TimeTicks::Now().ToInternalValue();
    const std::string name = ThreadNameRegistry::GetInstance()->GetName(::GetCurrentThreadId());
    const size_t length = name.size() < sizeof(header_->thread_name) - 1
                              ? name.size()
                              : sizeof(header_->thread_name) - 1;
    memcpy(header_->thread_name, name.data(), length);
    header_->thread_name[length] = '\0';
    std::atomic_ref<uint32_t>(header_->cookie).store(kCookie, std::memory_order_release);
  }
  valid_ = IsValidMemory(base, size);
  if (valid_)
    slot_count_ = header_->slot_count;
}

// static
bool ThreadTracker::IsValidMemory(const void* base, size_t size) {
  if (!base || size < kMinimumMemorySize)
    return false;
  const Header* header = static_cast<const Header*>(base);
  return std::atomic_ref<uint32_t>(const_cast<Header*>(header)->cookie)
                 .load(std::memory_order_acquire) == kCookie &&
         header->process_id && header->thread_id && header->creation_time &&
         header->creation_ticks && header->slot_count == SlotCountFor(size) &&
         header->thread_name[sizeof(header->thread_name) - 1] == '\0';
}

uint32_t ThreadTracker::PushActivity(const void* calling_address,
                                     const void* origin_address,
                                     ActivityType type,
                                     uint64_t data) {
  if (!valid_)
    return 0;
  std::atomic_ref<uint32_t> depth(header_->current_depth);
  const uint32_t index = depth.load(std::memory_order_relaxed);
  if (index < slot_count_) {
    ActivityRecord& record = records_[index];
    record.start_ticks = TimeTicks::Now().ToInternalValue();
    record.calling_address = reinterpret_cast<uintptr_t>(calling_address);
    record.origin_address = reinterpret_cast<uintptr_t>(origin_address);
    record.call_stack[0] = 0;
    record.user_data_ref = 0;
    record.user_data_id = 0;
    record.activity_type = type;
    record.data = data;
  }
  // Readers see the record complete once the depth covers it.
  depth.fetch_add(1, std::memory_order_release);
  return index;
}

void ThreadTracker::PopActivity(uint32_t index) {
  if (!valid_)
    return;
  std::atomic_ref<uint32_t> depth(header_->current_depth);
  DCHECK(index + 1 == depth.load(std::memory_order_relaxed)) << "activities popped out of order";
  depth.fetch_sub(1, std::memory_order_release);
  std::atomic_ref<uint32_t>(header_->stack_unchanged).store(0, std::memory_order_relaxed);
}

uint32_t ThreadTracker::depth() const {
  return valid_ ? std::atomic_ref<uint32_t>(header_->current_depth).load(std::memory_order_acquire)
                : 0;
}

}  // namespace base
