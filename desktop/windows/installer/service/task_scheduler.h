#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"

namespace installer {

// The name prefix of the product's autoupdate tasks ("Autoupdate " + installation id).
extern const wchar_t kAutoupdateTaskNamePrefix[];

// What is registered as one scheduled task.
struct ScheduledTaskInfo {
  // When the task runs, besides the optional logon or boot trigger.
  enum Kind : uint32_t {
    KIND_RUN_ONCE = 0,  // Once, shortly after registration.
    KIND_DAILY = 1,     // Every day at the time of day of the registration.
    KIND_NO_TIME_TRIGGER = 2,
  };

  ScheduledTaskInfo() : command_line(base::FilePath()) {}

  // The program and its arguments.
  base::CommandLine command_line;
  std::wstring name;
  std::wstring description;
  // Runs as LocalSystem; otherwise as the registering user, only while logged on.
  bool system_task = false;
  // How long a run may take; 0 means no limit.
  uint32_t time_limit_seconds = 0;
  uint32_t kind = KIND_NO_TIME_TRIGGER;
  // With a kind other than KIND_RUN_ONCE: also run at boot (a system task) or when the
  // registering user logs on, delayed by the product configuration's
  // "scheduled_autoupdate_delay_min" (Task Scheduler 1.0 cannot delay them).
  bool logon_trigger = false;
  // Start only while a network connection is available.
  bool run_only_with_network = false;
};

// The system's task scheduler: Task Scheduler 2.0 from Windows Vista on, 1.0 before. The
// automatic choice of 2.0 registers a task through 1.0 when 2.0 cannot make its triggers
// (Wine); it looks up, lists and deletes tasks in both back ends.
// COM must be initialised on the calling thread; use the object on that thread only.
class TaskScheduler {
 public:
  enum class Api {
    kAutomatic,  // By the Windows version.
    kVersion1,   // ITaskScheduler / ITask.
    kVersion2,   // ITaskService / ITaskDefinition only, without the 1.0 fallback.
  };

  static std::unique_ptr<TaskScheduler> Create();
  static std::unique_ptr<TaskScheduler> CreateForApi(Api api);

  virtual ~TaskScheduler() = default;

  TaskScheduler(const TaskScheduler&) = delete;
  TaskScheduler& operator=(const TaskScheduler&) = delete;

  // Connects to the scheduler; nothing else works before it succeeded.
  virtual bool Init() = 0;

  // Registers the task, replacing a task of the same name.
  virtual bool RegisterTask(const ScheduledTaskInfo& info) = 0;

  // Deletes the named task. True also when there was no such task.
  virtual bool DeleteTask(const std::wstring& name) = 0;

  // Whether a task of that name is registered.
  virtual bool IsTaskRegistered(const std::wstring& name) = 0;

  // Reads back what the scheduler keeps of a task. Fields the scheduler does not keep stay
  // at their defaults. False when the task cannot be read.
  virtual bool GetTaskInfo(const std::wstring& name, ScheduledTaskInfo* info) = 0;

  // The names of all tasks this scheduler lists (the root folder for 2.0).
  virtual bool GetTaskNames(std::vector<std::wstring>* names) = 0;

  // Deletes the autoupdate tasks (names starting with kAutoupdateTaskNamePrefix) whose
  // program no longer exists, e.g. of an installation removed by hand. A task whose program
  // cannot be read is kept.
  void DeleteStaleTasks();

 protected:
  TaskScheduler() = default;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_
