#include "base/message_loop/message_pump_io.h"

#include "base/logging.h"
#include "base/synchronization/wait_time.h"

namespace base {

MessagePumpForIO::MessagePumpForIO()
    : port_(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)) {
  // An I/O thread without its port can neither run tasks nor see completions.
  if (!port_.IsValid())
    PLOG(FATAL) << "CreateIoCompletionPort failed";
}

MessagePumpForIO::~MessagePumpForIO() = default;

bool MessagePumpForIO::ProcessNextNativeItem() {
  return WaitForIoCompletion(0, nullptr);
}

void MessagePumpForIO::WaitForWork() {
  WaitForIoCompletion(GetWaitMilliseconds(delayed_work_time_), nullptr);
}

void MessagePumpForIO::ScheduleWork() {
  if (have_work_.exchange(1))
    return;  // A wake-up packet is already queued.
  if (::PostQueuedCompletionStatus(port_.Get(), 0, reinterpret_cast<ULONG_PTR>(this),
                                   reinterpret_cast<OVERLAPPED*>(this))) {
    return;
  }
  // The pump runs its tasks when it next wakes; every pass looks for tasks.
  have_work_.store(0);
  RecordMessagePumpProblem(COMPLETION_POST_ERROR);
}

bool MessagePumpForIO::RegisterIoHandler(HANDLE file_handle, IoHandler* handler) {
  HANDLE port = ::CreateIoCompletionPort(file_handle, port_.Get(),
                                         reinterpret_cast<ULONG_PTR>(handler), 1);
  if (!port) {
    // Not every handle can be bound (Wine refuses mailslots): the caller does its I/O
    // another way or reports the failure itself.
    PLOG(WARNING) << "Binding a handle to the I/O completion port failed";
    return false;
  }
  DCHECK(port == port_.Get());
  return true;
}

bool MessagePumpForIO::WaitForIoCompletion(DWORD timeout_ms, IoHandler* filter) {
  const TimeTicks deadline = timeout_ms == INFINITE
                                 ? TimeTicks()
                                 : TimeTicks::Now() + TimeDelta::FromMilliseconds(timeout_ms);
  for (;;) {
    IoItem item = {};
    if (!GetIoItem(GetWaitMilliseconds(deadline), &item))
      return false;
    if (IsWakeUpItem(item)) {
      // Another wake-up may be queued from now on; the run loop looks for the tasks.
      have_work_.store(0);
      if (!filter)
        return true;
      continue;
    }
    DeliverIoItem(item);
    if (!filter || item.handler == filter)
      return true;
  }
}

bool MessagePumpForIO::GetIoItem(DWORD timeout_ms, IoItem* item) {
  DWORD bytes_transferred = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  if (::GetQueuedCompletionStatus(port_.Get(), &bytes_transferred, &key, &overlapped,
                                  timeout_ms)) {
    item->error = 0;
  } else {
    // Without an OVERLAPPED no packet was taken: the time ran out (or the wait failed).
    if (!overlapped) {
      const DWORD error = ::GetLastError();
      if (error != WAIT_TIMEOUT)
        ELOG(ERROR, error) << "GetQueuedCompletionStatus failed";
      return false;
    }
    item->error = ::GetLastError();
  }
  item->handler = reinterpret_cast<IoHandler*>(key);
  item->context = reinterpret_cast<IoContext*>(overlapped);
  item->bytes_transferred = bytes_transferred;
  return true;
}

bool MessagePumpForIO::IsWakeUpItem(const IoItem& item) const {
  return reinterpret_cast<const void*>(item.handler) == this &&
         reinterpret_cast<const void*>(item.context) == this;
}

void MessagePumpForIO::DeliverIoItem(const IoItem& item) {
  if (!item.context->handler) {
    // Its handler went away while the I/O was pending (see IoContext).
    delete item.context;
    return;
  }
  item.handler->OnIoCompleted(item.context, item.bytes_transferred, item.error);
}

}  // namespace base
