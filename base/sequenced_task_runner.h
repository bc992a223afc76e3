#ifndef BASE_SEQUENCED_TASK_RUNNER_H_
#define BASE_SEQUENCED_TASK_RUNNER_H_

#include "base/task_runner.h"

namespace base {

// A task runner whose tasks run one at a time, in the order posted (delayed tasks when
// due).
class SequencedTaskRunner : public TaskRunner {
 public:
  // Deletes |object| in a task on this runner. False when the task could not be posted:
  // the object is then left alone (leaked) rather than deleted on the wrong thread.
  template <typename T>
  bool DeleteSoon(const Location& from_here, const T* object) {
    return DeleteSoonInternal(from_here, &DeleteObject<T>, object);
  }

 protected:
  SequencedTaskRunner() = default;
  ~SequencedTaskRunner() override = default;

 private:
  template <typename T>
  static void DeleteObject(const void* object) {
    delete static_cast<const T*>(object);
  }

  bool DeleteSoonInternal(const Location& from_here,
                          void (*deleter)(const void*),
                          const void* object);
};

}  // namespace base

#endif  // BASE_SEQUENCED_TASK_RUNNER_H_
