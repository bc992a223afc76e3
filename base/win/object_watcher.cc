#include "base/win/object_watcher.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"

namespace base {
namespace win {

ObjectWatcher::ObjectWatcher() = default;

ObjectWatcher::~ObjectWatcher() {
  StopWatching();
}

bool ObjectWatcher::RegisterWait(HANDLE object, Delegate* delegate) {
  if (wait_object_) {
    LOG(ERROR) << "ObjectWatcher is already watching an object";
    return false;
  }
  MessageLoop* loop = MessageLoop::Current();
  if (!loop) {
    LOG(ERROR) << "ObjectWatcher needs a MessageLoop on the watching thread";
    return false;
  }
  task_runner_ = loop->task_runner();
  callback_ = BindMethod(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(), delegate);
  object_ = object;
  delegate_ = delegate;
  // The callback only posts a task, so it may run in the wait thread itself.
  if (!::RegisterWaitForSingleObject(&wait_object_, object, &ObjectWatcher::DoneWaiting, this,
                                     INFINITE, WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject failed";
    wait_object_ = nullptr;
    object_ = nullptr;
    delegate_ = nullptr;
    callback_.Reset();
    task_runner_.reset();
    weak_factory_.InvalidateWeakPtrs();
    return false;
  }
  loop->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!wait_object_)
    return false;
  DCHECK(task_runner_->RunsTasksOnCurrentThread()) << "StopWatching on another thread";
  // INVALID_HANDLE_VALUE: wait for a callback that is running, so that nothing of this
  // watcher is used once this returns.
  if (!::UnregisterWaitEx(wait_object_, INVALID_HANDLE_VALUE))
    PLOG(ERROR) << "UnregisterWaitEx failed";
  // A signal already posted must not reach the delegate.
  weak_factory_.InvalidateWeakPtrs();
  callback_.Reset();
  wait_object_ = nullptr;
  object_ = nullptr;
  delegate_ = nullptr;
  task_runner_.reset();
  if (MessageLoop* loop = MessageLoop::Current())
    loop->RemoveDestructionObserver(this);
  return true;
}

// static
void CALLBACK ObjectWatcher::DoneWaiting(void* parameter, BOOLEAN timed_out) {
  DCHECK(!timed_out);
  // The watcher is alive: StopWatching waits for this callback.
  ObjectWatcher* that = static_cast<ObjectWatcher*>(parameter);
  that->delegate_->OnObjectSignaledOnWaitThread(that->object_);
  that->task_runner_->PostTask(FROM_HERE, that->callback_);
}

void ObjectWatcher::Signal(Delegate* delegate) {
  // The delegate may destroy this watcher or watch again: finish the watch first.
  HANDLE object = object_;
  StopWatching();
  delegate->OnObjectSignaled(object);
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() {
  // The loop that would run the signal task is going away.
  StopWatching();
}

}  // namespace win
}  // namespace base
