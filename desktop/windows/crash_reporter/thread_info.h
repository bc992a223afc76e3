#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_H_

#include <stdint.h>

namespace crash_reporter {

// The parts of an x64 CONTEXT that a crash log prints. The text crash log reads it through
// a table of field positions (text_crash_log.cc): change both together.
struct ThreadRegisters {
  struct FpuRegister {
    uint64_t significand;
    uint16_t sign_exponent;
  };
  struct XmmRegister {
    uint64_t low;
    uint64_t high;
  };

  uint64_t rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp;
  uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
  uint64_t rip;
  uint32_t eflags;
  FpuRegister st[8];
  uint32_t status_word;   // 16 bits.
  uint32_t control_word;  // 16 bits.
  XmmRegister xmm[16];
};

// One thread of an inspected process, owned by its ProcessState. Read-only.
class ThreadInfo {
 public:
  virtual ~ThreadInfo() = default;

  virtual uint32_t GetThreadId() const = 0;
  virtual int32_t GetPriority() const = 0;
  virtual const ThreadRegisters& GetRegisters() const = 0;
  // Stack bytes from the stack pointer to the end of the stack region; 0 when unknown.
  virtual uint64_t GetStackSize() const = 0;
  // True only for the thread that raised the exception.
  virtual bool IsCrashed() const = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_H_
