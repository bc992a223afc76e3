#include "desktop/windows/crash_reporter/thread_info_impl.h"

#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/win/scoped_handle.h"

namespace crash_reporter {

namespace {

base::win::ScopedHandle OpenThreadForContext(uint32_t thread_id) {
  base::win::ScopedHandle thread(
      ::OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, thread_id));
  if (!thread.IsValid())
    PLOG(ERROR) << "OpenThread failed for 0x" << std::hex << thread_id;
  return thread;
}

// An address as the system's "%p" writes it: 16 upper-case hexadecimal digits.
std::string FormatPointer(uint64_t address) {
  return base::StringPrintf("%016llX", static_cast<unsigned long long>(address));
}

}  // namespace

ThreadInfoImpl::ThreadInfoImpl(uint32_t thread_id, bool crashed)
    : thread_id_(thread_id), crashed_(crashed) {}

ThreadInfoImpl::~ThreadInfoImpl() = default;

bool ThreadInfoImpl::InitFromThread(HANDLE process) {
  base::win::ScopedHandle thread = OpenThreadForContext(thread_id_);
  if (!thread.IsValid())
    return false;
  CONTEXT context = {};
  context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_FLOATING_POINT;
  if (!::GetThreadContext(thread.Get(), &context)) {
    PLOG(ERROR) << "GetThreadContext failed for 0x" << std::hex << thread_id_;
    return false;
  }
  CopyRegisters(context, &registers_);
  ReadPriority(thread.Get());
  ReadStackSize(process);
  return true;
}

bool ThreadInfoImpl::InitFromContext(HANDLE process, const CONTEXT& context) {
  CopyRegisters(context, &registers_);
  base::win::ScopedHandle thread = OpenThreadForContext(thread_id_);
  if (thread.IsValid())
    ReadPriority(thread.Get());
  ReadStackSize(process);
  return true;
}

// static
void ThreadInfoImpl::CopyRegisters(const CONTEXT& context, ThreadRegisters* registers) {
  registers->rax = context.Rax;
  registers->rbx = context.Rbx;
  registers->rcx = context.Rcx;
  registers->rdx = context.Rdx;
  registers->rsi = context.Rsi;
  registers->rdi = context.Rdi;
  registers->rbp = context.Rbp;
  registers->rsp = context.Rsp;
  registers->r8 = context.R8;
  registers->r9 = context.R9;
  registers->r10 = context.R10;
  registers->r11 = context.R11;
  registers->r12 = context.R12;
  registers->r13 = context.R13;
  registers->r14 = context.R14;
  registers->r15 = context.R15;
  registers->rip = context.Rip;
  registers->eflags = context.EFlags;
  for (int i = 0; i < 8; ++i) {
    // An x87 register is 80 bits: the significand, then the sign and exponent word.
    registers->st[i].significand = context.FltSave.FloatRegisters[i].Low;
    registers->st[i].sign_exponent =
        static_cast<uint16_t>(context.FltSave.FloatRegisters[i].High & 0xFFFF);
  }
  registers->status_word = context.FltSave.StatusWord;
  registers->control_word = context.FltSave.ControlWord;
  for (int i = 0; i < 16; ++i) {
    registers->xmm[i].low = context.FltSave.XmmRegisters[i].Low;
    registers->xmm[i].high = static_cast<uint64_t>(context.FltSave.XmmRegisters[i].High);
  }
}

void ThreadInfoImpl::ReadPriority(HANDLE thread) {
  const int priority = ::GetThreadPriority(thread);
  if (priority == THREAD_PRIORITY_ERROR_RETURN) {
    PLOG(ERROR) << "GetThreadPriority failed for 0x" << std::hex << thread_id_;
    priority_ = 0;
    return;
  }
  priority_ = priority;
}

void ThreadInfoImpl::ReadStackSize(HANDLE process) {
  const uint64_t sp = registers_.rsp;
  MEMORY_BASIC_INFORMATION info = {};
  const SIZE_T result =
      ::VirtualQueryEx(process, reinterpret_cast<const void*>(sp), &info, sizeof(info));
  if (result != sizeof(info)) {
    PLOG(ERROR) << "VirtualQueryEx failed, address=0x" << FormatPointer(sp)
                << ", result=" << result << ", expected=" << sizeof(info);
    stack_size_ = 0;
    return;
  }
  const uint64_t base = reinterpret_cast<uintptr_t>(info.BaseAddress);
  if (info.State != MEM_COMMIT || info.Type != MEM_PRIVATE || info.Protect != PAGE_READWRITE ||
      base > sp || sp > base + info.RegionSize) {
    LOG(ERROR) << "Sanity checks failed" << std::hex << ", state=0x" << info.State
               << ", type=0x" << info.Type << ", protect=0x" << info.Protect << ", sp=0x"
               << FormatPointer(sp) << ", base=0x" << FormatPointer(base) << std::dec
               << ", size=" << info.RegionSize;
    stack_size_ = 0;
    return;
  }
  stack_size_ = base + info.RegionSize - sp;
}

}  // namespace crash_reporter
