#ifndef DESKTOP_WINDOWS_INSTALLER_IPC_MAILSLOT_IO_H_
#define DESKTOP_WINDOWS_INSTALLER_IPC_MAILSLOT_IO_H_

#include <windows.h>

#include <string>

namespace installer {

// "\\.\mailslot\" followed by |relative_name|.
std::wstring MakeMailslotPath(const std::wstring& relative_name);

// The mailslot I/O of the IPC threads normally completes through the thread's I/O completion
// port. Where a mailslot handle cannot be bound to one (Wine refuses the mailslot itself with
// ERROR_INVALID_PARAMETER, and blocks in overlapped reads), the thread does each transfer
// itself with these: one overlapped read or write on |handle|, waited for at most
// |timeout_ms| and cancelled after that, so that the thread always gets back to its tasks.
// The same calls are valid on Windows.
//
// Each returns 0 or the system error; WAIT_TIMEOUT when the time ran out, ERROR_SEM_TIMEOUT
// when the mailslot's own read time-out did. The bytes moved go to |transferred|. |event|, a
// manual-reset event of the caller's, serves one transfer after another (a thread that moves
// a message per file saves making one each time); without it each call makes its own. With
// kSignalHandle as |event| the transfer signals |handle| itself: for a handle on which no
// other transfer is ever under way (a mailslot that only one thread reads), and cheaper under
// Wine, where each transfer resets and sets an event through its server.
//
// kSignalHandle: no event handle has this value (it stands for the current process).
inline const HANDLE kSignalHandle = INVALID_HANDLE_VALUE;

DWORD ReadAndWait(HANDLE handle,
                  void* buffer,
                  DWORD size,
                  DWORD timeout_ms,
                  DWORD* transferred,
                  HANDLE event = nullptr);
DWORD WriteAndWait(HANDLE handle,
                   const void* data,
                   DWORD size,
                   DWORD timeout_ms,
                   DWORD* transferred,
                   HANDLE event = nullptr);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_IPC_MAILSLOT_IO_H_
