#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_TASK_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_TASK_OPERATION_H_

#include <functional>
#include <memory>
#include <string>

#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Deletes the scheduled task |name|, having read what the scheduler keeps of it first; the
// undo registers it again as read. A task that is not registered is success with nothing
// to undo; one that is registered but cannot be read fails the operation and stays, since
// its deletion could not be undone. One whose program the scheduler did not keep is
// deleted without an undo. |make_scheduler| gives the scheduler to use, already
// initialised (null when it cannot be had); COM must be initialised on the thread.
class DeleteTaskOperation : public Operation {
 public:
  using SchedulerFactory = std::function<std::unique_ptr<TaskScheduler>()>;

  DeleteTaskOperation(const std::wstring& name, SchedulerFactory make_scheduler);
  ~DeleteTaskOperation() override;

  bool Do() override;
  void Rollback() override;

 private:
  const std::wstring name_;
  const SchedulerFactory make_scheduler_;
  ScheduledTaskInfo deleted_;
  bool deleting_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_TASK_OPERATION_H_
