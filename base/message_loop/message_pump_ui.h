#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_UI_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_UI_H_

#include <windows.h>

#include <atomic>

#include "base/message_loop/message_pump.h"

namespace base {

// The pump of a thread with windows: it runs window messages in turns with tasks, and
// sleeps in MsgWaitForMultipleObjectsEx when there is nothing to do. Other threads wake it
// by posting a private message to a message-only window of the thread; delayed tasks are
// due by the wait time-out and, while the thread is inside a modal loop of the system (a
// message box, moving a window), by a WM_TIMER of that window.
class MessagePumpForUI : public MessagePump {
 public:
  MessagePumpForUI();
  ~MessagePumpForUI() override;

  void ScheduleWork() override;
  void ScheduleDelayedWork(TimeTicks delayed_work_time) override;

  // The procedure of the pump's message-only window.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  // MessagePump: takes one message from the queue and handles it.
  bool ProcessNextNativeItem() override;
  void WaitForWork() override;

  void HandleWorkMessage();
  void HandleTimerMessage();
  bool ProcessMessageHelper(const MSG& message);
  // The wake-up message was taken from the queue: handles the next message in its place.
  bool ProcessPumpReplacementMessage();
  void KillDelayedWorkTimer();

  HWND message_window_ = nullptr;
  // 1 while a wake-up message is posted and not yet taken from the queue.
  std::atomic<long> have_work_{0};
  // Whether the WM_TIMER for delayed tasks is set.
  bool timer_set_ = false;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_UI_H_
