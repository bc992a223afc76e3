#include "desktop/windows/installer/service/task_scheduler.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/task_scheduler_v1.h"
#include "desktop/windows/installer/service/task_scheduler_v2.h"

namespace installer {

const wchar_t kAutoupdateTaskNamePrefix[] = L"Autoupdate ";

namespace {

// Whether |program| is certainly gone: only an absolute path on a volume that is present
// counts, since a task whose program sits on a removable drive or a share that is away for
// now, or is found through the search path, may still work.
bool IsProgramGone(const base::FilePath& program) {
  if (program.empty() || !program.IsAbsolute() || base::PathExists(program))
    return false;
  base::FilePath root = program;
  for (base::FilePath parent = root.DirName(); parent != root; parent = root.DirName())
    root = parent;
  return base::DirectoryExists(root);
}

}  // namespace

// static
std::unique_ptr<TaskScheduler> TaskScheduler::Create() {
  return CreateForApi(Api::kAutomatic);
}

// static
std::unique_ptr<TaskScheduler> TaskScheduler::CreateForApi(Api api) {
  switch (api) {
    case Api::kAutomatic:
      if (base::win::GetWindowsVersion() < base::win::VERSION_VISTA)
        return std::make_unique<TaskSchedulerV1>();
      // Task Scheduler 1.0 stands in for triggers that 2.0 does not implement (Wine).
      return std::make_unique<TaskSchedulerV2>(std::make_unique<TaskSchedulerV1>());
    case Api::kVersion1:
      return std::make_unique<TaskSchedulerV1>();
    case Api::kVersion2:
      break;
  }
  return std::make_unique<TaskSchedulerV2>();
}

void TaskScheduler::DeleteStaleTasks() {
  std::vector<std::wstring> names;
  if (!GetTaskNames(&names))
    return;
  for (const std::wstring& name : names) {
    if (!base::StartsWith(name, kAutoupdateTaskNamePrefix, base::CompareCase::INSENSITIVE_ASCII))
      continue;
    ScheduledTaskInfo info;
    if (!GetTaskInfo(name, &info))
      continue;
    // A task whose action could not be read is kept.
    const base::FilePath program = info.command_line.GetProgram();
    if (!IsProgramGone(program))
      continue;
    LOG(INFO) << "Deleting stale scheduled task " << name << " (" << program.value()
              << " is missing)";
    DeleteTask(name);
  }
}

}  // namespace installer
