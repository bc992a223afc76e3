#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_

#include <windows.h>
#include <stdint.h>

#include "desktop/windows/crash_reporter/thread_info.h"

namespace crash_reporter {

// A thread of a process that is held still (the crash reporter is its debugger), read
// once from the system. Failures are logged; what could not be read stays 0.
class ThreadInfoImpl : public ThreadInfo {
 public:
  ThreadInfoImpl(uint32_t thread_id, bool crashed);
  ThreadInfoImpl(const ThreadInfoImpl&) = delete;
  ThreadInfoImpl& operator=(const ThreadInfoImpl&) = delete;
  ~ThreadInfoImpl() override;

  // Reads the registers of the thread itself; false when the thread cannot be opened or
  // its context cannot be read. |process| (of the thread) needs PROCESS_QUERY_INFORMATION.
  bool InitFromThread(HANDLE process);
  // Takes the registers from |context| (the crashed thread's, saved when the exception was
  // raised); priority and stack size are read when they can be. Always true.
  bool InitFromContext(HANDLE process, const CONTEXT& context);

  // Copies the printed registers out of |context|.
  static void CopyRegisters(const CONTEXT& context, ThreadRegisters* registers);

  uint32_t GetThreadId() const override { return thread_id_; }
  int32_t GetPriority() const override { return priority_; }
  const ThreadRegisters& GetRegisters() const override { return registers_; }
  uint64_t GetStackSize() const override { return stack_size_; }
  bool IsCrashed() const override { return crashed_; }

 private:
  // Priority from an open thread handle.
  void ReadPriority(HANDLE thread);
  // The bytes from RSP to the end of its committed, private, read-write region.
  void ReadStackSize(HANDLE process);

  const uint32_t thread_id_;
  int32_t priority_ = 0;
  uint64_t stack_size_ = 0;
  const bool crashed_;
  ThreadRegisters registers_ = {};
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_
