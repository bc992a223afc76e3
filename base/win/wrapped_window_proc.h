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
int CallExceptionFilter(EXCEPTION_POINTERS* info);

// Runs |proc| so that an error exception (a fault, a failed runtime check) escaping it
// reaches the installed filter while the procedure's frames are still on the stack, as a
// filter around the call would: an exception that code inside the procedure handles never
// reaches it. A filter answering EXCEPTION_CONTINUE_EXECUTION resumes the faulting code;
// any other answer leaves the exception to the usual search, so a filter that takes the
// exception must end the process itself. Every window procedure of the library goes
// through here (WrappedWindowProc below).
LRESULT CallWrappedWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// The guarded form of |proc|, for window classes: lpfnWndProc = &WrappedWindowProc<&Proc>.
template <WNDPROC proc>
LRESULT CALLBACK WrappedWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return CallWrappedWindowProc(proc, hwnd, message, wparam, lparam);
}

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_WRAPPED_WINDOW_PROC_H_
