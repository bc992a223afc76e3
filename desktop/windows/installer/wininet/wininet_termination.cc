#include "desktop/windows/installer/wininet/wininet_termination.h"

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/lazy_instance.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "base/threading/thread.h"

namespace installer {

namespace {

class WininetTermination {
 public:
  WininetTermination() = default;
  WininetTermination(const WininetTermination&) = delete;
  WininetTermination& operator=(const WininetTermination&) = delete;
  // Runs the closes still queued and ends the thread.
  ~WininetTermination() { thread_.Stop(); }

  void CloseSession(ScopedInternetHandle session) {
    base::scoped_refptr<base::SingleThreadTaskRunner> task_runner;
    {
      base::AutoLock lock(lock_);
      if (!thread_.IsRunning() && !thread_.Start())
        LOG(ERROR) << "Could not start the WinINet termination thread";
      task_runner = thread_.GetTaskRunner();
    }
    // The handle travels in a shared holder: if the task cannot be posted (or is dropped
    // unrun), the holder's destruction still closes it.
    auto holder = std::make_shared<ScopedInternetHandle>(std::move(session));
    if (task_runner) {
      task_runner->PostTask(FROM_HERE, base::BindLambda([holder]() { holder->Close(); }));
      return;
    }
    holder->Close();
  }

 private:
  base::Lock lock_;
  base::Thread thread_{"Wininet Termination"};  // Started under |lock_|.
};

base::LazyInstance<WininetTermination> g_termination;

}  // namespace

void CloseWininetSessionInBackground(ScopedInternetHandle session) {
  if (session.IsValid())
    g_termination.Get().CloseSession(std::move(session));
}

}  // namespace installer
