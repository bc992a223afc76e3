#include "base/message_loop/message_pump_ui.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_dispatcher.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/run_loop_watchdog.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr UINT kFirst = WM_APP + 1;
constexpr UINT kConsumed = WM_APP + 2;
constexpr UINT kLast = WM_APP + 3;
constexpr UINT kFlood = WM_APP + 4;
constexpr UINT kEnterModalLoop = WM_APP + 5;
constexpr UINT kLeaveModalLoop = WM_APP + 6;

// A window of the test thread (message-only: tests need no display) whose messages go to
// |handler|.
class TestWindow {
 public:
  using Handler = std::function<void(UINT message)>;

  TestWindow() {
    static const ATOM atom = [] {
      WNDCLASSEXW window_class = {};
      window_class.cbSize = sizeof(window_class);
      window_class.lpfnWndProc = &TestWindow::WindowProc;
      window_class.hInstance = ::GetModuleHandleW(nullptr);
      window_class.lpszClassName = L"MessagePumpUiTestWindow";
      return ::RegisterClassExW(&window_class);
    }();
    hwnd_ = ::CreateWindowExW(0, MAKEINTATOM(atom), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  ~TestWindow() { ::DestroyWindow(hwnd_); }

  HWND hwnd() const { return hwnd_; }
  void set_handler(Handler handler) { handler_ = std::move(handler); }
  const std::vector<UINT>& received() const { return received_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* window = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window && message >= WM_APP) {
      window->received_.push_back(message);
      if (window->handler_)
        window->handler_(message);
      return 0;
    }
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;
  Handler handler_;
  std::vector<UINT> received_;
};

// Sees the test window's messages first and consumes kConsumed.
class ConsumingDispatcher : public MessageDispatcher {
 public:
  explicit ConsumingDispatcher(HWND window) : window_(window) {}

  int Dispatch(const MSG& message) override {
    if (message.hwnd != window_)
      return 2;
    seen_.push_back(message.message);
    return message.message == kConsumed ? 0 : 2;
  }

  const std::vector<UINT>& seen() const { return seen_; }

 private:
  HWND window_;
  std::vector<UINT> seen_;
};

// What a modal loop of the system does (a message box, moving a window): gets and
// dispatches messages itself until |*done|.
void RunModalLoop(const bool* done) {
  MSG msg;
  while (!*done && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

TEST(MessagePumpUiTest, RunsWindowMessagesAndTasksWithTheDispatcherFirst) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  TestWindow window;
  ConsumingDispatcher dispatcher(window.hwnd());
  RunLoop run_loop(&dispatcher);
  test::RunLoopWatchdog watchdog(&run_loop);
  bool task_ran = false;
  window.set_handler([&](UINT message) {
    if (message == kLast)
      run_loop.Quit();
  });

  Thread thread("Message poster");
  ASSERT_TRUE(thread.Start());
  const HWND hwnd = window.hwnd();
  scoped_refptr<SingleThreadTaskRunner> runner = loop.task_runner();
  thread.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
    ::PostMessageW(hwnd, kFirst, 0, 0);
    ::PostMessageW(hwnd, kConsumed, 0, 0);
    runner->PostTask(FROM_HERE, BindLambda([&task_ran, hwnd] {
                       task_ran = true;
                       ::PostMessageW(hwnd, kLast, 0, 0);
                     }));
  }));
  run_loop.Run();
  EXPECT_TRUE(task_ran);
  EXPECT_EQ((std::vector<UINT>{kFirst, kConsumed, kLast}), dispatcher.seen());
  EXPECT_EQ((std::vector<UINT>{kFirst, kLast}), window.received());
}

TEST(MessagePumpUiTest, TaskFloodDoesNotStarveWindowMessages) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  TestWindow window;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  bool stop = false;
  int flood_tasks = 0;
  std::function<void()> flood = [&] {
    ++flood_tasks;
    if (!stop)
      loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] { flood(); }));
  };
  for (int i = 0; i < 10; ++i)
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] { flood(); }));
  int tasks_before_message = -1;
  window.set_handler([&](UINT) {
    tasks_before_message = flood_tasks;
    stop = true;
    run_loop.Quit();
  });
  // Posted once the flood runs.
  loop.task_runner()->PostTask(FROM_HERE,
                               BindLambda([&] { ::PostMessageW(window.hwnd(), kFirst, 0, 0); }));
  run_loop.Run();
  EXPECT_TRUE(stop);
  // One batch of tasks at most separates the message from its turn.
  EXPECT_LT(tasks_before_message, 1000);
}

TEST(MessagePumpUiTest, WindowMessageFloodDoesNotStarveTasks) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  TestWindow window;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  bool stop = false;
  int flood_messages = 0;
  window.set_handler([&](UINT message) {
    ++flood_messages;
    if (!stop)
      ::PostMessageW(window.hwnd(), kFlood, 0, 0);
  });
  for (int i = 0; i < 10; ++i)
    ::PostMessageW(window.hwnd(), kFlood, 0, 0);
  int task_runs = 0;
  bool delayed_ran = false;
  // Posted once the flood runs.
  ::PostMessageW(window.hwnd(), kFlood, 0, 0);
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
    ++task_runs;
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] { ++task_runs; }));
  }));
  loop.task_runner()->PostDelayedTask(FROM_HERE, BindLambda([&] {
                                        delayed_ran = true;
                                        stop = true;
                                        run_loop.Quit();
                                      }),
                                      TimeDelta::FromMilliseconds(20));
  run_loop.Run();
  EXPECT_EQ(2, task_runs);
  EXPECT_TRUE(delayed_ran);
  EXPECT_GT(flood_messages, 20);
}

// A modal loop of the system (a window being moved, a message box) entered from a window
// procedure runs the loop's tasks and due delayed tasks meanwhile.
TEST(MessagePumpUiTest, ModalLoopOfAWindowProcedureRunsTasks) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  TestWindow window;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  bool in_modal_loop = false;
  bool task_ran_in_modal_loop = false;
  bool delayed_ran_in_modal_loop = false;
  window.set_handler([&](UINT message) {
    if (message != kEnterModalLoop)
      return;
    bool done = false;
    loop.task_runner()->PostTask(FROM_HERE,
                                 BindLambda([&] { task_ran_in_modal_loop = in_modal_loop; }));
    loop.task_runner()->PostDelayedTask(FROM_HERE, BindLambda([&] {
                                          delayed_ran_in_modal_loop = in_modal_loop;
                                          done = true;
                                        }),
                                        TimeDelta::FromMilliseconds(30));
    in_modal_loop = true;
    RunModalLoop(&done);
    in_modal_loop = false;
    run_loop.Quit();
  });
  ::PostMessageW(window.hwnd(), kEnterModalLoop, 0, 0);
  run_loop.Run();
  EXPECT_TRUE(task_ran_in_modal_loop);
  EXPECT_TRUE(delayed_ran_in_modal_loop);
}

// Inside a task, a modal loop of the system does not run other tasks: tasks do not nest
// unless a RunLoop asks for it.
TEST(MessagePumpUiTest, ModalLoopInsideATaskDoesNotRunOtherTasks) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  TestWindow window;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  bool done = false;
  window.set_handler([&](UINT message) { done |= message == kLeaveModalLoop; });
  std::string order;
  Thread thread("Modal loop ender");
  ASSERT_TRUE(thread.Start());
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                   order += "t";
                                   run_loop.Quit();
                                 }));
    const HWND hwnd = window.hwnd();
    thread.GetTaskRunner()->PostDelayedTask(
        FROM_HERE, BindLambda([hwnd] { ::PostMessageW(hwnd, kLeaveModalLoop, 0, 0); }),
        TimeDelta::FromMilliseconds(50));
    order += "[";
    RunModalLoop(&done);
    order += "]";
  }));
  run_loop.Run();
  EXPECT_EQ("[]t", order);
}

TEST(MessagePumpUiTest, WmQuitEndsTheRunAndIsConsumed) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  {
    RunLoop run_loop;
    test::RunLoopWatchdog watchdog(&run_loop);
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([] { ::PostQuitMessage(0); }));
    run_loop.Run();
  }
  // Neither the next run nor a nested one sees it again.
  bool ran = false;
  RunLoop run_loop;
  loop.task_runner()->PostDelayedTask(FROM_HERE, BindLambda([&] {
                                        ran = true;
                                        run_loop.Quit();
                                      }),
                                      TimeDelta::FromMilliseconds(20));
  run_loop.Run();
  EXPECT_TRUE(ran);
}

TEST(MessagePumpUiTest, WmQuitInANestedRunEndsTheEnclosingRunsToo) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  RunLoop outer;
  test::RunLoopWatchdog watchdog(&outer);
  std::string order;
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
    RunLoop inner;
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([] { ::PostQuitMessage(0); }));
    inner.Run();
    order += "i";
  }));
  outer.Run();
  EXPECT_EQ("i", order);
}

}  // namespace
}  // namespace base
