#include "base/win/wrapped_window_proc.h"

#include "base/threading/thread_local_slot.h"

namespace base {
namespace win {

namespace {

void* volatile g_exception_filter = nullptr;

// The innermost wrapped procedure running on a thread: its address marks the stack
// position of the wrapper's frame. Procedures nest when one dispatches messages.
struct GuardFrame {
  GuardFrame* outer;
};

LazyThreadLocalSlot g_guard_frame;
INIT_ONCE g_guard_handler_once = INIT_ONCE_STATIC_INIT;

// The most frames looked at between the fault and the wrapper; deeper stacks are left to
// the usual search.
constexpr int kMaxFramesToWalk = 512;

bool IsErrorException(DWORD code) {
  return (code & 0xC0000000) == 0xC0000000;
}

// Whether a frame between the fault and the wrapper at |guard| has an exception handler:
// that code may handle the exception, as it would before a filter around the wrapper ran.
bool MayBeHandledInside(const CONTEXT& fault_context, ULONG_PTR guard) {
  // Wine's own system code registers its handlers in the thread's frame list rather than in
  // unwind data; the platform leaves that list unused on x64, so this costs nothing there.
  const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(::NtCurrentTeb());
  for (const EXCEPTION_REGISTRATION_RECORD* frame = tib->ExceptionList;
       frame && reinterpret_cast<ULONG_PTR>(frame) != static_cast<ULONG_PTR>(-1);
       frame = frame->Next) {
    const ULONG_PTR address = reinterpret_cast<ULONG_PTR>(frame);
    if (address >= fault_context.Rsp && address < guard)
      return true;
  }

  CONTEXT context = fault_context;
  for (int depth = 0; depth < kMaxFramesToWalk; ++depth) {
    if (context.Rsp >= guard || context.Rip == 0)
      return false;
    DWORD64 image_base = 0;
    PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(context.Rip, &image_base, nullptr);
    if (!function) {
      // A leaf function: its caller's address is on top of the stack.
      context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
      context.Rsp += sizeof(DWORD64);
      continue;
    }
    void* handler_data = nullptr;
    DWORD64 establisher_frame = 0;
    const PEXCEPTION_ROUTINE handler =
        ::RtlVirtualUnwind(UNW_FLAG_EHANDLER, image_base, context.Rip, function, &context,
                           &handler_data, &establisher_frame, nullptr);
    if (handler && establisher_frame < guard)
      return true;
  }
  return true;
}

// Sees every exception of the process first; acts only on a thread inside a wrapped
// procedure.
LONG CALLBACK GuardWindowProcs(EXCEPTION_POINTERS* info) {
  ThreadLocalSlot& slot = g_guard_frame.Get();
  GuardFrame* frame = static_cast<GuardFrame*>(slot.Get());
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  // A stack overflow leaves no room for the walk; the unhandled-exception filter sees it.
  if (!frame || !IsErrorException(code) || code == EXCEPTION_STACK_OVERFLOW ||
      MayBeHandledInside(*info->ContextRecord, reinterpret_cast<ULONG_PTR>(frame))) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  // A fault inside the filter must not come back here.
  slot.Set(nullptr);
  const int disposition = CallExceptionFilter(info);
  slot.Set(frame);
  return disposition == EXCEPTION_CONTINUE_EXECUTION ? EXCEPTION_CONTINUE_EXECUTION
                                                     : EXCEPTION_CONTINUE_SEARCH;
}

BOOL CALLBACK AddGuardHandler(PINIT_ONCE, PVOID, PVOID*) {
  // Last in line: a handler that repairs the fault and resumes goes first.
  return ::AddVectoredExceptionHandler(0, &GuardWindowProcs) != nullptr;
}

}  // namespace

WinProcExceptionFilter SetWindowProcExceptionFilter(WinProcExceptionFilter filter) {
  return reinterpret_cast<WinProcExceptionFilter>(
      ::InterlockedExchangePointer(&g_exception_filter, reinterpret_cast<void*>(filter)));
}

int CallExceptionFilter(EXCEPTION_POINTERS* info) {
  // A full-barrier read of the current filter.
  const auto filter = reinterpret_cast<WinProcExceptionFilter>(
      ::InterlockedCompareExchangePointer(&g_exception_filter, nullptr, nullptr));
  return filter ? filter(info) : EXCEPTION_CONTINUE_SEARCH;
}

LRESULT CallWrappedWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  ::InitOnceExecuteOnce(&g_guard_handler_once, &AddGuardHandler, nullptr, nullptr);
  ThreadLocalSlot& slot = g_guard_frame.Get();
  GuardFrame frame = {static_cast<GuardFrame*>(slot.Get())};
  slot.Set(&frame);
  const LRESULT result = proc(hwnd, message, wparam, lparam);
  slot.Set(frame.outer);
  return result;
}

}  // namespace win
}  // namespace base
