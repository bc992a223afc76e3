#include "base/task_runner.h"

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/logging.h"
#include "base/single_thread_task_runner.h"
#include "base/threading/current_thread_task_runner.h"

namespace base {

namespace {

// Travels with the task to the target runner and then with the reply back.
struct TaskAndReply {
  Closure task;
  Closure reply;
  Location from_here;
  scoped_refptr<SingleThreadTaskRunner> reply_runner;
};

// Owns the relay on its way. The reply's bound state belongs to the reply thread (and so may
// the state of a task that never ran, which was to be handed to the reply): a relay that
// ends elsewhere with its reply unrun is sent to the reply thread for deletion, and is left
// alone (leaked) when that thread's loop is gone, rather than destroyed on the wrong thread.
class RelayOwner {
 public:
  explicit RelayOwner(std::unique_ptr<TaskAndReply> relay) : relay_(std::move(relay)) {}
  RelayOwner(RelayOwner&&) = default;
  RelayOwner& operator=(RelayOwner&&) = delete;
  ~RelayOwner() {
    if (!relay_ || !relay_->reply || relay_->reply_runner->RunsTasksOnCurrentThread())
      return;
    TaskAndReply* const relay = relay_.release();
    const scoped_refptr<SingleThreadTaskRunner> reply_runner = relay->reply_runner;
    reply_runner->DeleteSoon(relay->from_here, relay);
  }

  TaskAndReply* operator->() const { return relay_.get(); }

 private:
  std::unique_ptr<TaskAndReply> relay_;
};

}  // namespace

bool TaskRunner::PostTask(const Location& from_here, Closure task) {
  return PostDelayedTask(from_here, std::move(task), TimeDelta());
}

bool TaskRunner::PostTaskAndReply(const Location& from_here, Closure task, Closure reply) {
  DCHECK(task && reply);
  scoped_refptr<SingleThreadTaskRunner> reply_runner = CurrentThreadTaskRunner::Get();
  if (!reply_runner) {
    LOG(ERROR) << "PostTaskAndReply from " << from_here.function_name()
               << " on a thread without a task runner";
    return false;
  }
  RelayOwner relay(std::unique_ptr<TaskAndReply>(
      new TaskAndReply{std::move(task), std::move(reply), from_here, std::move(reply_runner)}));
  return PostTask(from_here, BindLambda([relay = std::move(relay)]() mutable {
                    relay->task.Run();
                    // The task's bound state belongs to this thread: release it here.
                    relay->task.Reset();
                    const scoped_refptr<SingleThreadTaskRunner> reply_runner = relay->reply_runner;
                    const Location from_here = relay->from_here;
                    reply_runner->PostTask(from_here,
                                           BindLambda([relay = std::move(relay)]() mutable {
                                             relay->reply.Run();
                                             relay->reply.Reset();
                                           }));
                  }));
}

}  // namespace base
