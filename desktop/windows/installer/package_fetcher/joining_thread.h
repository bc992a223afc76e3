#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_JOINING_THREAD_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_JOINING_THREAD_H_

#include <functional>
#include <utility>

#include "base/threading/os_thread.h"
#include "base/win/scoped_handle.h"

namespace installer {

// Runs |run| on a plain thread of its own; destroying the object waits for it to end.
class JoiningThread : public base::OsThread::Delegate {
 public:
  explicit JoiningThread(std::function<void()> run) : run_(std::move(run)) {}
  ~JoiningThread() override {
    if (thread_.IsValid())
      base::OsThread::Join(&thread_);
  }

  JoiningThread(const JoiningThread&) = delete;
  JoiningThread& operator=(const JoiningThread&) = delete;

  // False (logged) when the thread cannot be started; |run| then never runs.
  bool Start() { return base::OsThread::Create(0, this, &thread_); }

 private:
  void ThreadMain() override { run_(); }

  const std::function<void()> run_;
  base::win::ScopedHandle thread_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_JOINING_THREAD_H_
