#include "desktop/windows/installer/ipc/mailslot_io.h"

#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace installer {

namespace {

// Finishes an overlapped transfer that ReadFile or WriteFile started (|started|, with the
// thread's error when it is false).
DWORD FinishTransfer(HANDLE handle,
                     OVERLAPPED* overlapped,
                     BOOL started,
                     DWORD timeout_ms,
                     DWORD* transferred) {
  if (!started) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING)
      return error;
    const HANDLE signaled = overlapped->hEvent ? overlapped->hEvent : handle;
    if (::WaitForSingleObject(signaled, timeout_ms) != WAIT_OBJECT_0) {
      // The transfer may still finish before the cancellation reaches it; its result
      // below says which.
      ::CancelIoEx(handle, overlapped);
    }
  }
  // Waits for the transfer (or its cancellation) to be over: the OVERLAPPED lives on the
  // caller's stack.
  if (::GetOverlappedResult(handle, overlapped, transferred, TRUE))
    return 0;
  const DWORD error = ::GetLastError();
  return error == ERROR_OPERATION_ABORTED ? WAIT_TIMEOUT : error;
}

// Starts one transfer and waits for it as FinishTransfer does, with the caller's event or,
// without one, a fresh one.
DWORD Transfer(HANDLE handle,
               bool write,
               void* buffer,
               DWORD size,
               DWORD timeout_ms,
               DWORD* transferred,
               HANDLE event) {
  *transferred = 0;
  base::win::ScopedHandle own_event;
  if (!event) {
    own_event.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!own_event.IsValid()) {
      const DWORD error = ::GetLastError();
      ELOG(ERROR, error) << "CreateEvent failed";
      return error;
    }
    event = own_event.Get();
  }
  OVERLAPPED overlapped = {};
  // Starting the transfer resets the event (or the handle's own signal).
  overlapped.hEvent = event == kSignalHandle ? nullptr : event;
  const BOOL started = write ? ::WriteFile(handle, buffer, size, nullptr, &overlapped)
                             : ::ReadFile(handle, buffer, size, nullptr, &overlapped);
  return FinishTransfer(handle, &overlapped, started, timeout_ms, transferred);
}

}  // namespace

std::wstring MakeMailslotPath(const std::wstring& relative_name) {
  return L"\\\\.\\mailslot\\" + relative_name;
}

DWORD ReadAndWait(HANDLE handle,
                  void* buffer,
                  DWORD size,
                  DWORD timeout_ms,
                  DWORD* transferred,
                  HANDLE event) {
  return Transfer(handle, false, buffer, size, timeout_ms, transferred, event);
}

DWORD WriteAndWait(HANDLE handle,
                   const void* data,
                   DWORD size,
                   DWORD timeout_ms,
                   DWORD* transferred,
                   HANDLE event) {
  // WriteFile only reads the buffer.
  return Transfer(handle, true, const_cast<void*>(data), size, timeout_ms, transferred, event);
}

}  // namespace installer
