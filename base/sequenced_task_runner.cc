#include "base/sequenced_task_runner.h"

#include "base/bind.h"
#include "base/logging.h"

namespace base {

bool SequencedTaskRunner::DeleteSoonInternal(const Location& from_here,
                                             void (*deleter)(const void*),
                                             const void* object) {
  if (!object)
    return true;
  if (PostTask(from_here, BindFunction(deleter, object)))
    return true;
  LOG(WARNING) << "DeleteSoon from " << from_here.function_name()
               << ": the task runner is gone, the object is not deleted";
  return false;
}

}  // namespace base
