#ifndef BASE_WIN_OBJECT_WATCHER_H_
#define BASE_WIN_OBJECT_WATCHER_H_

#include <windows.h>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop/traced_destruction_observer.h"
#include "base/single_thread_task_runner.h"

namespace base {
namespace win {

// Watches a kernel object (event, process, thread...) without blocking its thread: a wait
// of the system thread pool waits for the object, and the delegate is told in a task on
// the thread that started the watch, which must have a MessageLoop. Use it on that thread.
//
// Each registration watches once. The watch ends by the signal, StopWatching, the
// destructor or the destruction of the thread's loop; after StopWatching the delegate is
// not called, even for a signal that had already arrived.
class ObjectWatcher : public DestructionObserver {
 public:
  class Delegate {
   public:
    // |object| was signalled; the watch has ended.
    virtual void OnObjectSignaled(HANDLE object) = 0;
    // |object| was signalled, told at once on the system thread that waited for it, before
    // OnObjectSignaled is posted: for what must not wait until the watching thread is free.
    // Quick and thread-safe; nothing by default.
    virtual void OnObjectSignaledOnWaitThread(HANDLE object) {}

   protected:
    virtual ~Delegate() = default;
  };

  ObjectWatcher();
  ObjectWatcher(const ObjectWatcher&) = delete;
  ObjectWatcher& operator=(const ObjectWatcher&) = delete;
  ~ObjectWatcher() override;

  // Starts watching |object| (not owned: it must stay open while watched) for |delegate|.
  // False, with an error logged, when already watching, when the thread has no MessageLoop
  // or when the system refuses the wait.
  bool RegisterWait(HANDLE object, Delegate* delegate);

  // Ends the watch, waiting for a thread-pool callback that is running. False when nothing
  // was watched.
  bool StopWatching();

  bool IsWatching() const { return wait_object_ != nullptr; }

  // The watched object, or null.
  HANDLE GetWatchedObject() const { return object_; }

 private:
  // Runs on a thread-pool thread when the object is signalled.
  static void CALLBACK DoneWaiting(void* parameter, BOOLEAN timed_out);

  // Runs on the watching thread.
  void Signal(Delegate* delegate);

  // DestructionObserver:
  void WillDestroyCurrentMessageLoop() override;

  HANDLE object_ = nullptr;
  Delegate* delegate_ = nullptr;
  // The thread-pool wait; null while not watching.
  HANDLE wait_object_ = nullptr;
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
  // Posted by DoneWaiting; bound to a weak pointer that StopWatching invalidates.
  Closure callback_;
  WeakPtrFactory<ObjectWatcher> weak_factory_{this};
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_OBJECT_WATCHER_H_
