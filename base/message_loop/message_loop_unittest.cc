#include "base/message_loop/message_loop.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/memory/weak_ptr.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/test/child_test_process.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

void RunUntilIdle() {
  RunLoop run_loop;
  run_loop.QuitWhenIdle();
  run_loop.Run();
}

// Records its destruction (and the thread it happened on).
class DestructionRecorder {
 public:
  DestructionRecorder(std::vector<std::string>* log, const std::string& name)
      : log_(log), name_(name) {}
  DestructionRecorder(const DestructionRecorder&) = delete;
  DestructionRecorder& operator=(const DestructionRecorder&) = delete;
  ~DestructionRecorder() {
    log_->push_back("deleted " + name_);
    destroyed_on_thread_ = ::GetCurrentThreadId();
  }

  static DWORD destroyed_on_thread() { return destroyed_on_thread_; }

 private:
  static DWORD destroyed_on_thread_;
  std::vector<std::string>* log_;
  std::string name_;
};

DWORD DestructionRecorder::destroyed_on_thread_ = 0;

class MessageLoopTypeTest : public testing::TestWithParam<MessageLoop::Type> {};

INSTANTIATE_TEST_SUITE_P(AllTypes,
                         MessageLoopTypeTest,
                         testing::Values(MessageLoop::TYPE_DEFAULT,
                                         MessageLoop::TYPE_UI,
                                         MessageLoop::TYPE_IO));

TEST_P(MessageLoopTypeTest, TasksRunInPostingOrderAndDelayedTasksByDueTime) {
  MessageLoop loop(GetParam());
  EXPECT_EQ(&loop, MessageLoop::Current());
  EXPECT_EQ(loop.task_runner(), CurrentThreadTaskRunner::Get());
  EXPECT_TRUE(loop.task_runner()->RunsTasksOnCurrentThread());

  std::string order;
  RunLoop run_loop;
  auto append = [&](char c) { return BindLambda([&order, c] { order += c; }); };
  const TimeTicks start = TimeTicks::Now();
  TimeDelta last_run_at;
  SingleThreadTaskRunner* runner = loop.task_runner().get();
  runner->PostDelayedTask(FROM_HERE, BindLambda([&] {
                            order += 'Z';
                            last_run_at = TimeTicks::Now() - start;
                            run_loop.Quit();
                          }),
                          TimeDelta::FromMilliseconds(60));
  runner->PostDelayedTask(FROM_HERE, append('d'), TimeDelta::FromMilliseconds(30));
  runner->PostDelayedTask(FROM_HERE, append('b'), TimeDelta::FromMilliseconds(10));
  runner->PostTask(FROM_HERE, append('1'));
  // Equal delays keep the posting order.
  runner->PostDelayedTask(FROM_HERE, append('c'), TimeDelta::FromMilliseconds(10));
  runner->PostTask(FROM_HERE, append('2'));
  runner->PostDelayedTask(FROM_HERE, append('e'), TimeDelta::FromMilliseconds(30));
  runner->PostTask(FROM_HERE, append('3'));
  run_loop.Run();
  EXPECT_EQ("123bcdeZ", order);
  EXPECT_GE(last_run_at, TimeDelta::FromMilliseconds(60));
}

TEST_P(MessageLoopTypeTest, RunsTasksPostedFromOtherThreadsInTheirOrder) {
  MessageLoop loop(GetParam());
  constexpr int kThreads = 4;
  constexpr int kTasksPerThread = 500;
  std::vector<int> next_expected(kThreads, 0);
  int out_of_order = 0;
  int run_count = 0;
  RunLoop run_loop;
  scoped_refptr<SingleThreadTaskRunner> runner = loop.task_runner();

  std::vector<std::unique_ptr<Thread>> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.push_back(std::make_unique<Thread>("Poster " + std::to_string(t)));
    ASSERT_TRUE(threads.back()->Start());
    threads.back()->GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&, t] {
      EXPECT_FALSE(runner->RunsTasksOnCurrentThread());
      for (int i = 0; i < kTasksPerThread; ++i) {
        runner->PostTask(FROM_HERE, BindLambda([&, t, i] {
          if (next_expected[t] != i)
            ++out_of_order;
          next_expected[t] = i + 1;
          if (++run_count == kThreads * kTasksPerThread)
            run_loop.Quit();
        }));
      }
    }));
  }
  run_loop.Run();
  EXPECT_EQ(kThreads * kTasksPerThread, run_count);
  EXPECT_EQ(0, out_of_order);
}

TEST(MessageLoopTest, SecondLoopOnThreadIsFatal) {
  const test::ChildTestResult result =
      test::RunChildTest("MessageLoopChild.DISABLED_CreatesTwoLoops");
  ASSERT_TRUE(result.started);
  EXPECT_NE(0u, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("already has a MessageLoop")) << result.output;
  EXPECT_EQ(std::string::npos, result.output.find("survived")) << result.output;
}

TEST(MessageLoopChild, DISABLED_CreatesTwoLoops) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  test::EndProcessOnCrash();
  MessageLoop loop;
  MessageLoop second_loop;
  printf("survived\n");
}

TEST(MessageLoopTest, DestructionDeletesPendingTasksUnrunAndClearsTheSlots) {
  std::vector<std::string> log;
  scoped_refptr<SingleThreadTaskRunner> runner;
  {
    MessageLoop loop;
    runner = loop.task_runner();
    auto* recorder = new DestructionRecorder(&log, "immediate");
    runner->PostTask(FROM_HERE, BindLambda([recorder_owner = std::unique_ptr<DestructionRecorder>(
                                                recorder), &log] { log.push_back("ran"); }));
    auto* delayed = new DestructionRecorder(&log, "delayed");
    runner->PostDelayedTask(
        FROM_HERE,
        BindLambda([owner = std::unique_ptr<DestructionRecorder>(delayed), &log] {
          log.push_back("ran delayed");
        }),
        TimeDelta::FromHours(1));
    // Moves the delayed task into the loop's delayed queue.
    RunUntilIdle();
    log.clear();
    // A task whose destruction posts another: that one is deleted too.
    struct PostOnDestruction {
      SingleThreadTaskRunner* runner;
      std::vector<std::string>* log;
      ~PostOnDestruction() {
        runner->PostTask(FROM_HERE,
                         BindLambda([owner = std::make_unique<DestructionRecorder>(log, "reposted"),
                                     this_log = log] { this_log->push_back("ran reposted"); }));
      }
    };
    runner->PostTask(FROM_HERE,
                     BindLambda([owner = std::unique_ptr<PostOnDestruction>(
                                     new PostOnDestruction{runner.get(), &log})] {}));
    runner->PostTask(FROM_HERE, BindLambda([owner = std::make_unique<DestructionRecorder>(
                                                &log, "second immediate")] {}));
  }
  std::sort(log.begin(), log.end());
  EXPECT_EQ((std::vector<std::string>{"deleted delayed", "deleted reposted",
                                      "deleted second immediate"}),
            log);
  EXPECT_EQ(nullptr, MessageLoop::Current());
  EXPECT_EQ(nullptr, CurrentThreadTaskRunner::Get());
  EXPECT_FALSE(runner->PostTask(FROM_HERE, BindLambda([] {})));
  // A new loop may follow on the same thread.
  MessageLoop next_loop;
  EXPECT_EQ(&next_loop, MessageLoop::Current());
}

class RecordingObserver : public DestructionObserver {
 public:
  RecordingObserver(std::vector<std::string>* log, const std::string& name)
      : log_(log), name_(name) {}

  void WillDestroyCurrentMessageLoop() override {
    log_->push_back(name_ + (MessageLoop::Current() ? " with loop" : " without loop"));
    if (to_remove_)
      MessageLoop::Current()->RemoveDestructionObserver(to_remove_);
  }

  void set_to_remove(DestructionObserver* observer) { to_remove_ = observer; }

 private:
  std::vector<std::string>* log_;
  std::string name_;
  DestructionObserver* to_remove_ = nullptr;
};

TEST(MessageLoopTest, DestructionObserversAreToldAndMayRemoveOthersMeanwhile) {
  std::vector<std::string> log;
  RecordingObserver first(&log, "first");
  RecordingObserver second(&log, "second");
  RecordingObserver third(&log, "third");
  RecordingObserver removed_early(&log, "removed early");
  {
    MessageLoop loop;
    loop.AddDestructionObserver(&first);
    loop.AddDestructionObserver(&second);
    loop.AddDestructionObserver(&first);  // Once only.
    loop.AddDestructionObserver(&removed_early);
    loop.AddDestructionObserver(&third);
    loop.RemoveDestructionObserver(&removed_early);
    first.set_to_remove(&second);
    // Removing itself while told is fine too.
    third.set_to_remove(&third);
  }
  EXPECT_EQ((std::vector<std::string>{"first with loop", "third with loop"}), log);
}

TEST(MessageLoopTest, DestructionObserverRecordKeepsTheAddingCode) {
  RecordingObserver observer(nullptr, "");
  TracedDestructionObserver traced(&observer, 0);
  EXPECT_EQ(&observer, traced.observer());
  ASSERT_GT(traced.frame_count(), 1);
  EXPECT_LE(traced.frame_count(), TracedDestructionObserver::kMaxFrames);
  // The first address lies in this test's code.
  HMODULE module = nullptr;
  ASSERT_TRUE(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   static_cast<LPCWSTR>(traced.frames()[0]), &module));
  EXPECT_EQ(::GetModuleHandleW(nullptr), module);
}

TEST(MessageLoopTest, DeleteSoonDeletesOnTheRunnersThread) {
  MessageLoop loop;
  Thread thread("DeleteSoon target");
  ASSERT_TRUE(thread.Start());
  std::vector<std::string> log;
  RunLoop run_loop;
  EXPECT_TRUE(thread.GetTaskRunner()->DeleteSoon(FROM_HERE, new DestructionRecorder(&log, "one")));
  thread.GetTaskRunner()->PostTask(FROM_HERE, run_loop.QuitClosure());
  run_loop.Run();
  EXPECT_EQ(std::vector<std::string>{"deleted one"}, log);
  EXPECT_EQ(thread.thread_id(), DestructionRecorder::destroyed_on_thread());

  // On the current thread: not before the loop runs.
  loop.task_runner()->DeleteSoon(FROM_HERE, new DestructionRecorder(&log, "two"));
  EXPECT_EQ(1u, log.size());
  RunUntilIdle();
  EXPECT_EQ("deleted two", log.back());
  EXPECT_EQ(::GetCurrentThreadId(), DestructionRecorder::destroyed_on_thread());
}

class Counter {
 public:
  void Increment() { ++count_; }
  int count() const { return count_; }
  WeakPtr<Counter> GetWeakPtr() { return weak_factory_.GetWeakPtr(); }
  void InvalidateWeakPtrs() { weak_factory_.InvalidateWeakPtrs(); }

 private:
  int count_ = 0;
  WeakPtrFactory<Counter> weak_factory_{this};
};

TEST(MessageLoopTest, TasksBoundToInvalidatedWeakPointersAreSkipped) {
  MessageLoop loop;
  Counter counter;
  loop.task_runner()->PostTask(FROM_HERE, BindMethod(&Counter::Increment, counter.GetWeakPtr()));
  RunUntilIdle();
  EXPECT_EQ(1, counter.count());
  loop.task_runner()->PostTask(FROM_HERE, BindMethod(&Counter::Increment, counter.GetWeakPtr()));
  loop.task_runner()->PostDelayedTask(
      FROM_HERE, BindMethod(&Counter::Increment, counter.GetWeakPtr()), TimeDelta::FromMilliseconds(1));
  counter.InvalidateWeakPtrs();
  RunLoop run_loop;
  loop.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                      TimeDelta::FromMilliseconds(5));
  run_loop.Run();
  EXPECT_EQ(1, counter.count());
}

TEST(MessageLoopTest, PostTaskAndReplyRunsTheReplyOnThePostingThread) {
  MessageLoop loop;
  Thread thread("Reply source");
  ASSERT_TRUE(thread.Start());
  DWORD task_thread = 0;
  DWORD reply_thread = 0;
  std::vector<std::string> log;
  RunLoop run_loop;
  EXPECT_TRUE(thread.GetTaskRunner()->PostTaskAndReply(
      FROM_HERE,
      BindLambda([&, owner = std::make_unique<DestructionRecorder>(&log, "task state")] {
        task_thread = ::GetCurrentThreadId();
      }),
      BindLambda([&] {
        reply_thread = ::GetCurrentThreadId();
        // The task's bound state was released on its own thread, before the reply.
        EXPECT_EQ(thread.thread_id(), DestructionRecorder::destroyed_on_thread());
        EXPECT_EQ(std::vector<std::string>{"deleted task state"}, log);
        run_loop.Quit();
      })));
  run_loop.Run();
  EXPECT_EQ(thread.thread_id(), task_thread);
  EXPECT_EQ(::GetCurrentThreadId(), reply_thread);
}

TEST(MessageLoopTest, NoTaskRunnerWithoutALoop) {
  EXPECT_EQ(nullptr, MessageLoop::Current());
  EXPECT_EQ(nullptr, CurrentThreadTaskRunner::Get());
  EXPECT_FALSE(CurrentThreadTaskRunner::IsSet());
  // A reply needs somewhere to go.
  Thread thread("No reply target");
  ASSERT_TRUE(thread.Start());
  EXPECT_FALSE(thread.GetTaskRunner()->PostTaskAndReply(FROM_HERE, BindLambda([] {}),
                                                        BindLambda([] {})));
}

}  // namespace
}  // namespace base
