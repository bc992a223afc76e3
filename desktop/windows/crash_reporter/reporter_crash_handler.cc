#include "desktop/windows/crash_reporter/reporter_crash_handler.h"

#include <string.h>
#include <wchar.h>

#include <vector>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/client_exception_record.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/crt_handlers.h"

namespace crash_reporter {

namespace {

constexpr DWORD kChildWaitMs = 20000;

// Read by the exception-information child from outside.
ClientExceptionRecord g_record = {};

volatile LONG g_installed = 0;
volatile LONG g_armed = 0;
volatile LONG g_first_crash = 0;
// The child's command line, writable as CreateProcessW wants it, and the exception event:
// made before any crash, so that a crashing thread allocates nothing for them, and kept to
// the end of the process, so that a crash while the process unloads still finds them (no
// destructor runs at unload).
std::vector<wchar_t>* g_child_command_line = nullptr;
HANDLE g_exception_event = nullptr;
wchar_t g_program_for_testing[MAX_PATH] = {};

// Only the first crashing thread reports; any other waits for the process to end.
void TakeFirstCrashOrSuspend() {
  if (::InterlockedCompareExchange(&g_first_crash, 1, 0) == 0)
    return;
  for (;;)
    ::SuspendThread(::GetCurrentThread());
}

// Describes a C runtime failure of the calling thread as an exception and reports it.
void ReportRuntimeFailure(ClientExceptionRecord::Type type,
                          DWORD code,
                          const wchar_t* expression,
                          const wchar_t* function,
                          const wchar_t* file,
                          unsigned int line) {
  if (!g_armed)
    return;
  CONTEXT context;
  ::RtlCaptureContext(&context);
  EXCEPTION_RECORD exception = MakeRuntimeFailureRecord(code, context);
  EXCEPTION_POINTERS pointers = {&exception, &context};
  CopyTextTruncated(expression, g_record.expression, std::size(g_record.expression));
  CopyTextTruncated(function, g_record.function, std::size(g_record.function));
  CopyTextTruncated(file, g_record.file, std::size(g_record.file));
  g_record.line = line;
  g_record.type = type;
  g_record.exception_pointers = reinterpret_cast<uintptr_t>(&pointers);
  g_record.thread_id = ::GetCurrentThreadId();
  // |pointers| must live while the child reads them: it is released only by then.
  LaunchExceptionInfoChild();
}

LONG WINAPI ReporterExceptionFilter(EXCEPTION_POINTERS* exception_pointers) {
  TakeFirstCrashOrSuspend();
  if (g_armed) {
    g_record.type = ClientExceptionRecord::kUnhandledException;
    g_record.exception_pointers = reinterpret_cast<uintptr_t>(exception_pointers);
    g_record.thread_id = ::GetCurrentThreadId();
    LaunchExceptionInfoChild();
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

// Both runtime handlers end the process with the failure's status: a crash is never an
// orderly exit, and exit() would run this process's clean-up on a broken state.
void __cdecl ReporterInvalidParameterHandler(const wchar_t* expression,
                                             const wchar_t* function,
                                             const wchar_t* file,
                                             unsigned int line,
                                             uintptr_t reserved) {
  TakeFirstCrashOrSuspend();
  ReportRuntimeFailure(ClientExceptionRecord::kInvalidParameter, STATUS_INVALID_PARAMETER,
                       expression, function, file, line);
  ::TerminateProcess(::GetCurrentProcess(), STATUS_INVALID_PARAMETER);
}

void __cdecl ReporterPureCallHandler() {
  TakeFirstCrashOrSuspend();
  ReportRuntimeFailure(ClientExceptionRecord::kPureCall, STATUS_NONCONTINUABLE_EXCEPTION, nullptr,
                       nullptr, nullptr, 0);
  ::TerminateProcess(::GetCurrentProcess(), STATUS_NONCONTINUABLE_EXCEPTION);
}

}  // namespace

void InstallCrashReporterHandlers() {
  if (::InterlockedExchange(&g_installed, 1) != 0)
    return;
  ::SetUnhandledExceptionFilter(&ReporterExceptionFilter);
  SetInvalidParameterHandler(&ReporterInvalidParameterHandler);
  SetPureCallHandler(&ReporterPureCallHandler);
}

void PrepareExceptionInfoChild(bool minidump) {
  if (g_armed)
    return;
  base::FilePath program;
  if (g_program_for_testing[0])
    program = base::FilePath(g_program_for_testing);
  else if (!GetOwnExecutablePath(&program))
    return;
  base::CommandLine command_line(program);
  command_line.AppendSwitchASCII(
      "crash-reporter-exception-info",
      base::StringPrintf("%llu",
                         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&g_record))));
  command_line.AppendSwitchASCII("crash-reporter-parent-id",
                                 base::StringPrintf("%lu", ::GetCurrentProcessId()));
  if (minidump)
    command_line.AppendSwitch("crash-reporter-minidump");

  base::win::ScopedHandle event(::CreateEventW(
      nullptr, TRUE, FALSE, MakeExceptionEventName(::GetCurrentProcessId()).c_str()));
  if (!event.IsValid()) {
    PLOG(ERROR) << "Cannot create the crash reporter's exception event";
    return;
  }
  const std::wstring text = command_line.GetCommandLineString();
  g_child_command_line = new std::vector<wchar_t>(text.begin(), text.end());
  g_child_command_line->push_back(L'\0');
  g_exception_event = event.Take();
  ::InterlockedExchange(&g_armed, 1);
}

void LaunchExceptionInfoChild() {
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (g_child_command_line &&
      ::CreateProcessW(nullptr, g_child_command_line->data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup_info, &process_info)) {
    base::win::ScopedHandle process(process_info.hProcess);
    base::win::ScopedHandle thread(process_info.hThread);
  }
  if (g_exception_event)
    ::WaitForSingleObject(g_exception_event, kChildWaitMs);
  else
    ::Sleep(kChildWaitMs);
}

std::wstring MakeExceptionEventName(DWORD pid) {
  return base::WideStringPrintf(L"TavroCrashReporterException%lu", pid);
}

void SignalExceptionEvent(DWORD pid) {
  base::win::ScopedHandle event(
      ::CreateEventW(nullptr, TRUE, FALSE, MakeExceptionEventName(pid).c_str()));
  if (!event.IsValid()) {
    PLOG(ERROR) << "Cannot open the exception event of crashed reporter " << pid;
    return;
  }
  if (!::SetEvent(event.Get()))
    PLOG(ERROR) << "Cannot release crashed reporter " << pid;
}

bool GetOwnExecutablePath(base::FilePath* path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    PLOG(ERROR) << "Cannot find the crash reporter's own executable";
    return false;
  }
  *path = base::FilePath(std::wstring(buffer, length));
  return true;
}

void SetExceptionInfoChildProgramForTesting(const base::FilePath& program) {
  CHECK(program.value().size() < std::size(g_program_for_testing)) << program;
  wcscpy_s(g_program_for_testing, program.value().c_str());
}

}  // namespace crash_reporter
