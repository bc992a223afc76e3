#include "base/message_loop/message_pump_ui.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/message_loop/message_dispatcher.h"
#include "base/synchronization/wait_time.h"
#include "base/trace_event/trace_event.h"
#include "base/win/wrapped_window_proc.h"

namespace base {

namespace {

// Posted to the message window to wake the pump; wparam is the pump.
constexpr UINT kMsgHaveWork = WM_USER + 1;

constexpr wchar_t kWindowClassName[] = L"Base_MessagePumpWindow";

// The window class of the pumps' message windows, registered for the module that holds
// this code and unregistered at exit (a class of a DLL outlives the DLL otherwise).
class MessageWindowClass {
 public:
  MessageWindowClass() {
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&MessagePumpForUI::WindowProc),
                              &instance_)) {
      PLOG(FATAL) << "GetModuleHandleEx failed";
    }
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    // Tasks run inside it when a modal loop of the system dispatches the wake-up message:
    // a crash there must reach the crash handler's window-procedure filter.
    window_class.lpfnWndProc = &win::WrappedWindowProc<&MessagePumpForUI::WindowProc>;
    window_class.hInstance = instance_;
    window_class.lpszClassName = kWindowClassName;
    atom_ = ::RegisterClassExW(&window_class);
    if (!atom_)
      PLOG(FATAL) << "RegisterClassEx failed";
  }
  MessageWindowClass(const MessageWindowClass&) = delete;
  MessageWindowClass& operator=(const MessageWindowClass&) = delete;
  ~MessageWindowClass() {
    if (!::UnregisterClassW(MAKEINTATOM(atom_), instance_))
      PLOG(ERROR) << "UnregisterClass failed";
  }

  ATOM atom() const { return atom_; }
  HINSTANCE instance() const { return instance_; }

 private:
  HMODULE instance_ = nullptr;
  ATOM atom_ = 0;
};

LazyInstance<MessageWindowClass> g_window_class;

}  // namespace

MessagePumpForUI::MessagePumpForUI() {
  MessageWindowClass& window_class = g_window_class.Get();
  message_window_ = ::CreateWindowExW(0, MAKEINTATOM(window_class.atom()), L"", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, window_class.instance(), nullptr);
  // A UI thread that cannot be woken cannot run tasks at all.
  if (!message_window_)
    PLOG(FATAL) << "Creating the message pump window failed";
  ::SetWindowLongPtrW(message_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessagePumpForUI::~MessagePumpForUI() {
  ::DestroyWindow(message_window_);
}

void MessagePumpForUI::WaitForWork() {
  // No delayed task pending: the timer that a modal loop may need is of no use.
  if (delayed_work_time_.is_null())
    KillDelayedWorkTimer();
  // MWMO_INPUTAVAILABLE: also wake for messages that were already queued.
  for (DWORD wait_flags = MWMO_INPUTAVAILABLE;;) {
    const DWORD delay = GetWaitMilliseconds(delayed_work_time_);
    const DWORD result =
        ::MsgWaitForMultipleObjectsEx(0, nullptr, delay, QS_ALLINPUT, wait_flags);
    if (result != WAIT_OBJECT_0) {
      if (result == WAIT_FAILED)
        PLOG(ERROR) << "MsgWaitForMultipleObjectsEx failed";
      return;  // A delayed task is due (or the wait failed: the pump looks again).
    }
    // Input for a window of another thread attached to this thread's input queue wakes the
    // wait too, yet PeekMessage here does not return it: waiting again the same way would
    // spin. Wait for new input instead, keeping the delay.
    MSG message = {};
    const bool has_sent_message = (HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
    if (has_sent_message || ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE))
      return;
    wait_flags = 0;
  }
}

void MessagePumpForUI::ScheduleWork() {
  if (have_work_.exchange(1))
    return;  // A wake-up message is already on its way.
  if (::PostMessageW(message_window_, kMsgHaveWork, reinterpret_cast<WPARAM>(this), 0))
    return;
  // The queue is full (or the window is gone): the pump runs its tasks when it next takes
  // a message, since every pass also looks for tasks.
  have_work_.store(0);
  RecordMessagePumpProblem(MESSAGE_POST_ERROR);
}

void MessagePumpForUI::ScheduleDelayedWork(TimeTicks delayed_work_time) {
  MessagePump::ScheduleDelayedWork(delayed_work_time);
  // Our own waits time out by themselves; the timer serves modal loops of the system, which
  // do not return to this pump until they end.
  DWORD delay = GetWaitMilliseconds(delayed_work_time);
  if (delay < USER_TIMER_MINIMUM)
    delay = USER_TIMER_MINIMUM;
  if (::SetTimer(message_window_, reinterpret_cast<UINT_PTR>(this), delay, nullptr))
    timer_set_ = true;
  else
    RecordMessagePumpProblem(SET_TIMER_ERROR);
}

void MessagePumpForUI::KillDelayedWorkTimer() {
  if (!timer_set_)
    return;
  ::KillTimer(message_window_, reinterpret_cast<UINT_PTR>(this));
  timer_set_ = false;
}

// static
LRESULT CALLBACK MessagePumpForUI::WindowProc(HWND hwnd,
                                              UINT message,
                                              WPARAM wparam,
                                              LPARAM lparam) {
  MessagePumpForUI* pump =
      reinterpret_cast<MessagePumpForUI*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (pump) {
    switch (message) {
      case kMsgHaveWork:
        pump->HandleWorkMessage();
        return 0;
      case WM_TIMER:
        pump->HandleTimerMessage();
        return 0;
    }
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

// Reached only when a modal loop of the system dispatched the wake-up message; the pump's
// own loop takes it out of the queue without dispatching it.
void MessagePumpForUI::HandleWorkMessage() {
  if (!state_) {
    // No run in progress: the next run looks for tasks anyway.
    have_work_.store(0);
    return;
  }
  ProcessPumpReplacementMessage();
  if (state_->delegate->DoWork())
    ScheduleWork();
}

void MessagePumpForUI::HandleTimerMessage() {
  KillDelayedWorkTimer();
  if (!state_)
    return;
  state_->delegate->DoDelayedWork(&delayed_work_time_);
  if (!delayed_work_time_.is_null())
    ScheduleDelayedWork(delayed_work_time_);
}

bool MessagePumpForUI::ProcessNextNativeItem() {
  MSG message;
  if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    return false;
  return ProcessMessageHelper(message);
}

bool MessagePumpForUI::ProcessMessageHelper(const MSG& message) {
  TRACE_EVENT1("base", "MessagePumpForUI::ProcessMessageHelper", "message", message.message);
  if (message.message == WM_QUIT) {
    // Whoever asked the thread to quit ends this run. Enclosing runs see the message again
    // and end too; the outermost run consumes it, so that it cannot end a later run or
    // close the next message box at once.
    RecordMessagePumpProblem(RECEIVED_WM_QUIT_ERROR);
    state_->should_quit = true;
    if (state_->run_depth > 1)
      ::PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  if (message.message == kMsgHaveWork && message.hwnd == message_window_)
    return ProcessPumpReplacementMessage();

  // The pump's own window (its timer) is none of the dispatcher's business.
  if (state_->dispatcher && message.hwnd != message_window_ &&
      state_->dispatcher->Dispatch(message) == 0) {
    return true;
  }
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
  return true;
}

bool MessagePumpForUI::ProcessPumpReplacementMessage() {
  // The wake-up message took a turn that belongs to window messages: handle the next
  // message instead. Taking it out of the queue lets another wake-up be posted.
  MSG message;
  const bool have_message = ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
  have_work_.store(0);
  if (!have_message)
    return false;
  // That message may enter a modal loop of the system: a wake-up message in the queue
  // lets tasks run meanwhile.
  ScheduleWork();
  return ProcessMessageHelper(message);
}

}  // namespace base
