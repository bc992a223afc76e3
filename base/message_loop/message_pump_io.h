#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_IO_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_IO_H_

#include <windows.h>

#include <atomic>

#include "base/message_loop/message_pump.h"
#include "base/win/scoped_handle.h"

namespace base {

struct IoContext;

// Receives the completions of the overlapped I/O on the handles it was registered for
// (MessageLoop::RegisterIoHandler), on the thread of that loop.
class IoHandler {
 public:
  // |context| is the IoContext whose OVERLAPPED the I/O was started with; |error| is 0 or
  // the system error of the I/O.
  virtual void OnIoCompleted(IoContext* context, DWORD bytes_transferred, DWORD error) = 0;

 protected:
  virtual ~IoHandler() = default;
};

// The state of one overlapped I/O: pass &context.overlapped to the I/O function.
//
// A handler that goes away while its I/O is pending clears |handler| of a context that it
// made with new IoContext: the loop then deletes the context when the I/O completes, instead
// of calling a handler that no longer exists.
struct IoContext {
  OVERLAPPED overlapped;
  IoHandler* handler;
};

// The pump of an I/O thread: it runs I/O completions in turns with tasks and sleeps on an
// I/O completion port. Other threads wake it by queueing a completion packet
// with the pump's own key.
class MessagePumpForIO : public MessagePump {
 public:
  MessagePumpForIO();
  ~MessagePumpForIO() override;

  void ScheduleWork() override;

  // Binds |file_handle| (opened for overlapped I/O) to the completion port: its completions
  // go to |handler|. False, with an error logged, when the system refuses (e.g. handle
  // kinds that cannot have a completion port).
  bool RegisterIoHandler(HANDLE file_handle, IoHandler* handler);

  // Runs I/O completions as they arrive until one for |filter| (any handler when null) has
  // run, waiting at most |timeout_ms| in all (INFINITE: no limit). False when the time ran
  // out first.
  bool WaitForIoCompletion(DWORD timeout_ms, IoHandler* filter);

 private:
  struct IoItem {
    IoHandler* handler;
    IoContext* context;
    DWORD bytes_transferred;
    DWORD error;
  };

  // MessagePump:
  bool ProcessNextNativeItem() override;
  void WaitForWork() override;

  // Takes the next completion packet, waiting at most |timeout_ms|.
  bool GetIoItem(DWORD timeout_ms, IoItem* item);
  // Whether |item| is the pump's own wake-up packet.
  bool IsWakeUpItem(const IoItem& item) const;
  void DeliverIoItem(const IoItem& item);

  win::ScopedHandle port_;
  // 1 while a wake-up packet is queued and not yet taken.
  std::atomic<long> have_work_{0};
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_IO_H_
