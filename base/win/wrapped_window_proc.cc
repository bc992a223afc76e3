#include "base/win/wrapped_window_proc.h"

namespace base {
namespace win {

namespace {

void* volatile g_exception_filter = nullptr;

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

}  // namespace win
}  // namespace base
