#include "base/threading/thread.h"

#include "base/location.h"
#include "base/logging.h"
#include "base/run_loop.h"
#include "base/threading/thread_name_registry.h"

namespace base {

Thread::Thread(const std::string& name)
    : name_(name),
      started_(WaitEvent::ResetPolicy::AUTOMATIC, WaitEvent::InitialState::NOT_SIGNALED) {}

Thread::~Thread() {
  Stop();
}

bool Thread::Start() {
  return StartWithOptions(Options());
}

bool Thread::StartWithOptions(const Options& options) {
  DCHECK(!thread_handle_.IsValid()) << "Thread " << name_ << " started twice";
  if (thread_handle_.IsValid())
    return false;
  options_ = options;
  if (!OsThread::Create(options.stack_size, this, &thread_handle_)) {
    LOG(ERROR) << "Could not start the thread " << name_;
    return false;
  }
  started_.Wait();
  return true;
}

void Thread::Stop() {
  if (!thread_handle_.IsValid())
    return;
  scoped_refptr<SingleThreadTaskRunner> task_runner;
  Closure quit_closure;
  {
    AutoLock lock(lock_);
    DCHECK(thread_id_ != ::GetCurrentThreadId()) << "A thread cannot stop itself";
    task_runner = task_runner_;
    quit_closure = quit_closure_;
  }
  // Behind the tasks already posted.
  task_runner->PostTask(FROM_HERE, quit_closure);
  OsThread::Join(&thread_handle_);

  AutoLock lock(lock_);
  thread_id_ = 0;
  task_runner_.reset();
  quit_closure_.Reset();
}

bool Thread::IsRunning() const {
  AutoLock lock(lock_);
  return task_runner_ != nullptr;
}

scoped_refptr<SingleThreadTaskRunner> Thread::GetTaskRunner() const {
  AutoLock lock(lock_);
  return task_runner_;
}

DWORD Thread::thread_id() const {
  AutoLock lock(lock_);
  return thread_id_;
}

void Thread::ThreadMain() {
  OsThread::SetName(name_);
  {
    MessageLoop message_loop(options_.message_loop_type);
    RunLoop run_loop;
    {
      AutoLock lock(lock_);
      thread_id_ = ::GetCurrentThreadId();
      task_runner_ = message_loop.task_runner();
      quit_closure_ = run_loop.QuitClosure();
    }
    started_.Signal();
    run_loop.Run();
    // Leaving the scope deletes the tasks posted after the quit.
  }
  ThreadNameRegistry::GetInstance()->RemoveName(::GetCurrentThreadId());
}

}  // namespace base
