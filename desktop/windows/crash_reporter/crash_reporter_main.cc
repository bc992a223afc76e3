#include "desktop/windows/crash_reporter/crash_reporter_main.h"

#include <windows.h>
#include <stdio.h>

#include <memory>

#include "base/command_line.h"
#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/files/scoped_file.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"
#include "desktop/windows/crash_reporter/client_text_log.h"
#include "desktop/windows/crash_reporter/crash_client_record.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/crash_reporter/crash_count_store.h"
#include "desktop/windows/crash_reporter/crash_dump_server.h"
#include "desktop/windows/crash_reporter/crash_folders.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/crash_log_with_minidump.h"
#include "desktop/windows/crash_reporter/crash_logger.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/crash_reporter_flags.h"
#include "desktop/windows/crash_reporter/crash_servers.h"
#include "desktop/windows/crash_reporter/crash_upload.h"
#include "desktop/windows/crash_reporter/last_reporter_crash.h"
#include "desktop/windows/crash_reporter/minidump_file.h"
#include "desktop/windows/crash_reporter/pending_work_counter.h"
#include "desktop/windows/crash_reporter/process_exit_watcher.h"
#include "desktop/windows/crash_reporter/reporter_crash_handler.h"
#include "desktop/windows/installer/service/secure_named_object.h"

namespace crash_reporter {

namespace {

// How long a crashed client may wait for the crash server's opinion of its crash.
constexpr uint32_t kQueryTimeoutMs = 3000;
// Lets processes of low integrity (a sandboxed child of the browser) open the pipe. (Systems
// before Vista know no labels.)
const wchar_t* LowIntegrityLabel() {
  return base::win::GetWindowsVersion() >= base::win::VERSION_VISTA ? L"S:(ML;;NW;;;S-1-16-4096)"
                                                                    : L"";
}

// One unit of the process's pending work for the life of the object.
class ScopedPendingWork {
 public:
  ScopedPendingWork() { PendingWorkCounter::Get().Increment(); }
  ScopedPendingWork(const ScopedPendingWork&) = delete;
  ScopedPendingWork& operator=(const ScopedPendingWork&) = delete;
  ~ScopedPendingWork() { PendingWorkCounter::Get().Decrement(); }
};

base::FilePath CrashFileName(const std::string& name) {
  return base::FilePath(base::AsciiToUtf16(name));
}

void DeleteCrashFile(const base::FilePath& path) {
  if (!base::DeletePath(path, false))
    PLOG(ERROR) << "Cannot delete crash file " << path;
}

// Records which crash of the client the crash server's |location| describes.
void RecordCrashGuid(const CustomClientInfo& keys,
                     const std::wstring& location,
                     uint32_t sequence_number) {
  const base::FilePath path = GetCrashGuidRecordPath(sequence_number);
  std::wstring guid;
  GetCrashKeyValue(keys, L"crash_guid", &guid);
  if (guid.empty() && IsCustomCrashFolder())
    guid = L"0";
  if (path.empty() || guid.empty())
    return;
  base::ScopedFILE file = OpenCrashFile(path, "wt");
  const bool written = file && fprintf(file.get(), "%s=%s", base::Utf16ToUtf8(guid).c_str(),
                                       base::Utf16ToUtf8(location).c_str()) >= 0;
  if (!written || fclose(file.release()) != 0)
    PLOG(ERROR) << "Cannot record the crash in " << path;
}

std::unique_ptr<CrashCountStore> MakeCrashCountStore() {
  const base::FilePath path = GetCrashCountsPath();
  if (path.empty())
    return nullptr;
  return std::make_unique<CrashCountStore>(path);
}

}  // namespace

int RunCrashServer() {
  PrepareExceptionInfoChild(false);
  DWORD parent_pid = 0;
  if (!GetParentPidFromCommandLine(&parent_pid))
    return -1;
  InitCrashReporterLogging();
  if (!PrepareCrashFolders()) {
    LOG(ERROR) << "Crash reporter of process " << parent_pid << ": no folder for crash logs";
    return -1;
  }
  CrashReporterFlags::Read(GetPreferencesPath());
  if (!IsReportingEnabled()) {
    LOG(INFO) << "Crash reporting is switched off";
    return -1;
  }
  ChooseCrashServers();
  PendingWorkCounter& pending_work = PendingWorkCounter::Get();
  if (!pending_work.CreateEvent())
    return -1;
  ProcessExitWatcher parent_watcher;
  if (!parent_watcher.Start(parent_pid))
    return -1;
  // Named after the parent, so anyone may make it first: only one made by the parent's user,
  // SYSTEM or Administrators, and that no one else may set, is the parent's.
  const std::wstring init_event_name = MakeReporterInitEventName(parent_pid);
  installer::NamedObject init_event;
  if (!init_event_name.empty())
    init_event = installer::OpenNamedEvent(init_event_name, EVENT_MODIFY_STATE);
  if (!init_event.handle.IsValid()) {
    PLOG(ERROR) << "Cannot open the init event of process " << parent_pid;
    return -1;
  }
  const std::wstring pipe_name = MakeCrashPipeName(::GetCurrentProcessId());
  if (pipe_name.empty())
    return -1;
  // Crash files are named without a folder: they land here.
  if (!::SetCurrentDirectoryW(GetCrashLogFolder().value().c_str())) {
    PLOG(ERROR) << "Cannot change to the crash log folder " << GetCrashLogFolder();
    return -1;
  }

  // The user, SYSTEM and Administrators only.
  installer::NamedObjectSecurity security(LowIntegrityLabel());
  if (!security.IsValid())
    return -1;
  CrashServerContext context;
  context.keep_logs = ShouldKeepLogs(false);
  const std::unique_ptr<CrashCountStore> counts = MakeCrashCountStore();
  context.counts = counts.get();
  {
    CrashDumpServer server(pipe_name, security.attributes(false), nullptr, nullptr,
                           &OnClientDumpRequest, &context, nullptr, nullptr, nullptr, nullptr,
                           false, nullptr);
    if (!server.Start())
      return -1;
    if (!::SetEvent(init_event.handle.Get()))
      PLOG(ERROR) << "Cannot tell process " << parent_pid << " that its reporter is ready";
    init_event.handle.Close();
    LOG(INFO) << "Crash reporter of process " << parent_pid << " serving " << pipe_name;
    pending_work.Wait();
  }
  // A request that arrived after the wait ended was finished when the server went; the
  // uploads it queued still run.
  pending_work.WaitUntilIdle();
  LOG(INFO) << "Crash reporter of process " << parent_pid << " ends";
  return 0;
}

void OnClientDumpRequest(void* context_pointer,
                         CrashClientRecord* client,
                         const std::wstring* dump_path) {
  const CrashServerContext& context = *static_cast<const CrashServerContext*>(context_pointer);
  ScopedPendingWork work;
  CrashLogger logger;
  const CustomClientInfo keys = client->GetCustomInfo();

  std::wstring process_type;
  if (context.counts && GetCrashKeyValue(keys, L"process_type", &process_type) &&
      !process_type.empty()) {
    context.counts->Increment(base::Utf16ToUtf8(process_type), 1, true);
  }

  const uint32_t sequence_number = NextCrashSequenceNumber();
  const base::FilePath text_log = CrashFileName(GetCrashTextLogName(sequence_number));
  LOG(INFO) << "Crash of process " << client->pid() << ": writing " << text_log;
  if (!WriteTextCrashLogForClient(*client, text_log)) {
    LOG(ERROR) << "No crash log for process " << client->pid();
    return;
  }
  base::FilePath dump;
  if (IsAlternativeCrashLoggingEnabled()) {
    dump = CrashFileName(GetCrashDumpName(sequence_number));
    if (!WriteClientMinidump(client->pid(), client->thread_id_address(),
                             client->exception_pointers_address(), client->assertion_address(),
                             dump, kClientMinidumpSizeLimit)) {
      dump.clear();
    }
  }
  logger.AppendTo(text_log);

  std::wstring url;
  ConcatCrashKeyValues(keys, L"URL", &url);
  std::wstring id;
  std::wstring location;
  bool send_text_log = true;
  if (QueryCrashServer(url, GetCrashOrigin(keys), &id, &location, kQueryTimeoutMs) ==
      CRASH_SERVER_UNAVAILABLE) {
    LOG(INFO) << "The crash server wants no report of this crash";
    send_text_log = false;
    if (!context.keep_logs)
      DeleteCrashFile(text_log);
  }
  if (send_text_log) {
    UploadParameters parameters;
    BuildTextLogParameters(keys, &parameters);
    AddStacktraceIdParameter(id, &parameters);
    if (!UploadTextLogAsync(text_log, parameters, !context.keep_logs))
      location.clear();
  }
  if (!dump.empty()) {
    UploadParameters parameters;
    BuildMinidumpParameters(client->process_handle(), keys, &parameters);
    UploadMinidumpAsync(dump, parameters, !context.keep_logs);
  }
  if (!location.empty())
    RecordCrashGuid(keys, location, sequence_number);
}

void RunExceptionInfoReporter() {
  DWORD parent_pid = 0;
  if (!GetParentPidFromCommandLine(&parent_pid))
    return;
  uint64_t record_address = 0;
  uint64_t days = 0;
  if (!GetExceptionInfoAddressFromCommandLine(&record_address) ||
      !GetDaysSinceLastReporterCrash(&days) || days < kDaysBetweenReporterCrashReports) {
    SignalExceptionEvent(parent_pid);
    return;
  }

  const bool minidump_mode =
      base::CommandLine::ForCurrentProcess()->HasSwitch("crash-reporter-minidump");
  std::unique_ptr<CrashCountStore> counts;
  if (!minidump_mode) {
    // A crash of this child is reported by a further child, with the dump in its log.
    PrepareExceptionInfoChild(true);
    InitCrashReporterLogging();
    PrepareCrashFolders();
    CrashReporterFlags::Read(GetPreferencesPath());
    counts = MakeCrashCountStore();
    if (counts)
      counts->Increment("crash_reporter", 1, true);
  }

  const uint32_t sequence_number = NextCrashSequenceNumber();
  base::FilePath temp;
  base::GetTempDir(&temp);
  base::FilePath text_log = temp.Append(base::AsciiToUtf16(GetCrashTextLogName(sequence_number)));
  bool written = false;
  if (minidump_mode) {
    CrashLogInfo info;
    FillCrashReporterLogInfo(&info);
    written = WriteCrashLogWithMinidump(parent_pid, record_address, text_log,
                                        kReporterMinidumpSizeLimit, info);
  } else {
    written = WriteTextCrashLogFromRecord(parent_pid, record_address, text_log);
  }
  if (!written)
    text_log.clear();
  base::FilePath dump;
  if (IsAlternativeCrashLoggingEnabled()) {
    dump = temp.Append(base::AsciiToUtf16(GetCrashDumpName(sequence_number)));
    if (!WriteMinidumpFromRecord(parent_pid, record_address, dump, kReporterMinidumpSizeLimit))
      dump.clear();
  }
  UploadParameters text_log_parameters;
  AddLowerCaseEmailParameter(&text_log_parameters);
  UploadParameters dump_parameters;
  if (!dump.empty())
    BuildCrashReporterParameters(parent_pid, &dump_parameters);
  // Everything of the crashed reporter has been read: it may end now.
  SignalExceptionEvent(parent_pid);

  if (text_log.empty() && dump.empty())
    return;
  ChooseCrashServers();
  bool uploaded = false;
  if (!text_log.empty())
    uploaded |= UploadTextLog(text_log, text_log_parameters, !minidump_mode);
  if (!dump.empty())
    uploaded |= UploadMinidump(dump, dump_parameters, !minidump_mode);
  if (uploaded) {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    RecordLastReporterCrash(now);
  }
}

bool GetParentPidFromCommandLine(DWORD* pid) {
  base::CommandLine::InitForCurrentProcess();
  unsigned value = 0;
  if (!base::StringToUint(
          base::CommandLine::ForCurrentProcess()->GetSwitchValueNative("crash-reporter-parent-id"),
          &value)) {
    return false;
  }
  *pid = value;
  return true;
}

bool GetExceptionInfoAddressFromCommandLine(uint64_t* address) {
  base::CommandLine::InitForCurrentProcess();
  return base::StringToUint64(
      base::CommandLine::ForCurrentProcess()->GetSwitchValueNative("crash-reporter-exception-info"),
      address);
}

bool ShouldKeepLogs(bool default_value) {
  std::unique_ptr<base::Environment> environment = base::Environment::Create();
  return GetEnvironmentFlag(environment.get(), GetCrashKeepLogsVariableName(), default_value);
}

}  // namespace crash_reporter
