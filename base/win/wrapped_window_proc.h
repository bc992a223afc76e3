#ifndef BASE_WIN_WRAPPED_WINDOW_PROC_H_
#define BASE_WIN_WRAPPED_WINDOW_PROC_H_

#include <windows.h>

namespace base {
namespace win {

// Decides what happens to an exception that escapes a window procedure; returns an
// EXCEPTION_* disposition as an exception filter does.
using WinProcExceptionFilter = int (*)(EXCEPTION_POINTERS* info);

// Installs |filter| (may be null) for the whole process and returns the previous one.
WinProcExceptionFilter SetWindowProcExceptionFilter(WinProcExceptionFilter filter);

// Runs the installed filter on |info|; EXCEPTION_CONTINUE_SEARCH when none is installed.
// Called by the exception handler that guards the message-window procedures.
int CallExceptionFilter(EXCEPTION_POINTERS* info);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_WRAPPED_WINDOW_PROC_H_
