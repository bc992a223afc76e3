#include "desktop/windows/crash_reporter/client_text_log.h"

#include <string>
#include <vector>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/client_exception_record.h"
#include "desktop/windows/crash_reporter/crash_client_record.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/crash_log_info.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"
#include "desktop/windows/crash_reporter/memory_range_set.h"
#include "desktop/windows/crash_reporter/process_state_impl.h"
#include "desktop/windows/crash_reporter/text_crash_log.h"

namespace crash_reporter {

namespace {

bool WriteLog(DWORD pid,
              uint64_t exception_pointers_address,
              uint64_t thread_id_address,
              const std::vector<ModuleListEntry>& fallback_modules,
              CrashLogInfo* info,
              const base::FilePath& path) {
  DebuggerAttachment attachment(pid);
  ProcessStateImpl state;
  if (!state.Init(pid, exception_pointers_address, thread_id_address, fallback_modules)) {
    LOG(ERROR) << "Cannot read the state of crashed process " << pid;
    return false;
  }
  AddMemoryMetadata(state.working_set(), state.peak_working_set(), state.private_bytes(), info);
  MemoryRangeSet ranges;
  return WriteTextCrashLog(&ranges, state, *info, path);
}

}  // namespace

DebuggerAttachment::DebuggerAttachment(DWORD pid) {
  if (!::DebugActiveProcess(pid)) {
    PLOG(ERROR) << "DebugActiveProcess failed";
    return;
  }
  // A reporter that dies meanwhile must not take the crashed process with it.
  ::DebugSetProcessKillOnExit(FALSE);
  pid_ = pid;
}

DebuggerAttachment::~DebuggerAttachment() {
  if (pid_ != 0 && !::DebugActiveProcessStop(pid_))
    PLOG(ERROR) << "DebugActiveProcessStop failed";
}

bool WriteTextCrashLogForClient(const CrashClientRecord& client, const base::FilePath& path) {
  const CustomClientInfo keys = client.GetCustomInfo();
  std::wstring modules;
  ConcatCrashKeyValues(keys, L"modules", &modules);
  CrashLogInfo info;
  FillCrashLogInfo(keys, &info);
  return WriteLog(client.pid(), client.exception_pointers_address(), client.thread_id_address(),
                  ParseModuleList(modules), &info, path);
}

bool WriteTextCrashLogFromRecord(DWORD pid, uint64_t record_address, const base::FilePath& path) {
  CrashLogInfo info;
  FillCrashReporterLogInfo(&info);
  return WriteLog(pid, record_address + offsetof(ClientExceptionRecord, exception_pointers),
                  record_address + offsetof(ClientExceptionRecord, thread_id), {}, &info, path);
}

}  // namespace crash_reporter
