#include "desktop/windows/installer/service/transactions/delete_task_operation.h"

#include <utility>

#include "base/logging.h"
#include "base/values.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

DeleteTaskOperation::DeleteTaskOperation(const std::wstring& name, SchedulerFactory make_scheduler)
    : name_(name), make_scheduler_(std::move(make_scheduler)) {}

DeleteTaskOperation::~DeleteTaskOperation() = default;

bool DeleteTaskOperation::Do() {
  DCHECK(!deleting_);
  const std::unique_ptr<TaskScheduler> scheduler = make_scheduler_();
  if (!scheduler) {
    LOG(ERROR) << "No task scheduler to delete the task " << name_;
    return false;
  }
  if (!scheduler->IsTaskRegistered(name_)) {
    VLOG(1) << "No scheduled task " << name_ << " to delete";
    return true;
  }
  ScheduledTaskInfo info;
  if (!scheduler->GetTaskInfo(name_, &info)) {
    LOG(ERROR) << "Not deleting the scheduled task " << name_
               << ": it cannot be read, so it could not be made again";
    return false;
  }
  info.name = name_;
  if (info.command_line.GetProgram().empty()) {
    // The scheduler kept no action to read back (Task Scheduler 2.0 under Wine keeps none):
    // a task without its program would be no better than none.
    LOG(WARNING) << "The scheduled task " << name_
                 << " names no program: its deletion cannot be undone";
    if (!scheduler->DeleteTask(name_)) {
      LOG(ERROR) << "Could not delete the scheduled task " << name_;
      return false;
    }
    return true;
  }
  if (!Journal(*undo_record::TaskDeleted(info)))
    return false;
  deleted_ = info;
  deleting_ = true;
  if (!scheduler->DeleteTask(name_)) {
    LOG(ERROR) << "Could not delete the scheduled task " << name_;
    return false;
  }
  return true;
}

void DeleteTaskOperation::Rollback() {
  if (!deleting_)
    return;
  deleting_ = false;
  const std::unique_ptr<TaskScheduler> scheduler = make_scheduler_();
  if (!scheduler) {
    LOG(ERROR) << "No task scheduler to register the task " << name_ << " again";
    return;
  }
  if (scheduler->IsTaskRegistered(name_))
    return;
  if (!scheduler->RegisterTask(deleted_))
    LOG(ERROR) << "Could not register the scheduled task " << name_ << " again";
}

}  // namespace installer
