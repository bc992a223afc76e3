#include "desktop/windows/crash_reporter/crash_client_setup.h"

#include <psapi.h>

#include <string>

#include "base/command_line.h"
#include "base/environment.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/wrapped_window_proc.h"
#include "desktop/windows/crash_reporter/crash_handler.h"
#include "desktop/windows/crash_reporter/crash_key_table.h"
#include "desktop/windows/installer/service/crash_reporter_pid.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/secure_named_object.h"

namespace crash_reporter {

namespace {

constexpr DWORD kReporterReadyTimeoutMs = 2000;
constexpr DWORD kProcessCallbackFilterEnabled = 0x1;

// Installed once, kept until the process ends.
CrashHandler* g_crash_handler = nullptr;
base::Process* g_reporter = nullptr;
volatile LONG g_first_crash = 0;

// The crashing thread's filter ends the process whatever became of the dump.
bool AlwaysSucceed(const wchar_t* dump_folder,
                   const wchar_t* minidump_id,
                   void* context,
                   EXCEPTION_POINTERS* exception_pointers,
                   AssertionInfo* assertion,
                   bool succeeded) {
  return true;
}

}  // namespace

void DisableCallbackExceptionFiltering() {
  using GetPolicyFunction = BOOL(WINAPI*)(LPDWORD);
  using SetPolicyFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const auto get_policy = reinterpret_cast<GetPolicyFunction>(
      ::GetProcAddress(kernel32, "GetProcessUserModeExceptionPolicy"));
  const auto set_policy = reinterpret_cast<SetPolicyFunction>(
      ::GetProcAddress(kernel32, "SetProcessUserModeExceptionPolicy"));
  DWORD flags = 0;
  if (!get_policy || !set_policy || !get_policy(&flags))
    return;
  if (!set_policy(flags & ~kProcessCallbackFilterEnabled))
    PLOG(WARNING) << "SetProcessUserModeExceptionPolicy failed";
}

bool EnsureCrashReporter() {
  if (installer::ProductInfo::GetBuildNumber() < 0)
    return false;
  const DWORD named_pid = GetCrashReporterPidFromCommandLine();
  base::Process reporter = named_pid != 0 ? base::Process::Open(named_pid) : LaunchCrashReporter();
  LOG_IF(WARNING, named_pid != 0 && !reporter.IsValid())
      << "The crash reporter " << named_pid << " is gone";
  const bool found = reporter.IsValid();
  HoldCrashReporter(std::move(reporter));
  return found;
}

void HoldCrashReporter(base::Process reporter) {
  installer::SetCrashReporterPid(reporter.IsValid() ? reporter.Pid() : 0);
  if (!g_reporter)
    g_reporter = new base::Process();
  *g_reporter = std::move(reporter);
}

DWORD GetCrashReporterPidFromCommandLine() {
  const base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  return command_line ? GetCrashReporterPidFromCommandLine(*command_line) : 0;
}

DWORD GetCrashReporterPidFromCommandLine(const base::CommandLine& command_line) {
  unsigned pid = 0;
  if (!base::StringToUint(command_line.GetSwitchValueNative("crash-reporter-pid"), &pid))
    return 0;
  return pid;
}

base::Process LaunchCrashReporter() {
  base::Process reporter;
  if (StartCrashReporter(*MakeCrashReporterCommandLine(), kReporterReadyTimeoutMs, &reporter) !=
      ReporterStart::kReady) {
    return base::Process();
  }
  return reporter;
}

std::unique_ptr<base::CommandLine> MakeCrashReporterCommandLine() {
  base::CommandLine::InitForCurrentProcess();
  const base::CommandLine& current = *base::CommandLine::ForCurrentProcess();
  auto command_line = std::make_unique<base::CommandLine>(current.GetProgram());
  command_line->AppendArguments(current, false);
  command_line->AppendSwitchASCII("crash-reporter-parent-id",
                                  base::StringPrintf("%lu", ::GetCurrentProcessId()));
  return command_line;
}

ReporterStart StartCrashReporter(const base::CommandLine& command_line,
                                 DWORD timeout_ms,
                                 base::Process* reporter_out) {
  const std::wstring event_name = MakeReporterInitEventName(::GetCurrentProcessId());
  if (event_name.empty())
    return ReporterStart::kFailed;
  // Named after this process, so anyone may make it first: one that others could set is
  // refused (logged with its name).
  const installer::NamedObject ready_event =
      installer::CreateNamedEvent(event_name, true, installer::IfExists::kUseWhenTrusted, false);
  if (!ready_event.handle.IsValid()) {
    LOG(WARNING) << "Cannot use the crash reporter's init event " << event_name;
    return ReporterStart::kFailed;
  }
  // One left by an earlier start of this process says nothing about this reporter.
  ::ResetEvent(ready_event.handle.Get());
  // The reporter keeps a log of its own. Its standard handles are the null device: what it
  // writes must not mix into this process's output, and it must not hold open a pipe that
  // this process's caller reads to its end (it outlives this process).
  base::win::ScopedHandle null_device(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));
  if (!null_device.IsValid()) {
    PLOG(WARNING) << "Cannot open the null device for the crash reporter";
    return ReporterStart::kFailed;
  }
  base::LaunchOptions options;
  options.stdin_handle = null_device.Get();
  options.stdout_handle = null_device.Get();
  options.stderr_handle = null_device.Get();
  base::Process reporter = base::LaunchProcess(command_line, options);
  if (!reporter.IsValid())
    return ReporterStart::kFailed;
  // A reporter that ends before it is ready (or cannot run at all) must not cost the
  // installer the whole time-out.
  const HANDLE waits[] = {ready_event.handle.Get(), reporter.Handle()};
  switch (::WaitForMultipleObjects(2, waits, FALSE, timeout_ms)) {
    case WAIT_OBJECT_0:
      *reporter_out = std::move(reporter);
      return ReporterStart::kReady;
    case WAIT_OBJECT_0 + 1:
      LOG(WARNING) << "The crash reporter ended before it was ready";
      return ReporterStart::kEnded;
    case WAIT_TIMEOUT:
      LOG(WARNING) << "The crash reporter did not get ready in time";
      return ReporterStart::kTimedOut;
    default:
      PLOG(WARNING) << "Waiting for the crash reporter failed";
      return ReporterStart::kFailed;
  }
}

void AttachCrashHandler() {
  if (g_crash_handler || !g_reporter || !g_reporter->IsValid())
    return;
  const DWORD reporter_pid = g_reporter->Pid();
  const std::wstring pipe_name = MakeCrashPipeName(reporter_pid);
  if (pipe_name.empty())
    return;
  const CrashKeyTableInfo keys = CrashKeyTable::GetInstance().GetInfo();
  auto handler = std::make_unique<CrashHandler>(std::wstring(), &FirstCrashFilter, &AlwaysSucceed,
                                                nullptr, CrashHandler::HANDLER_ALL, MiniDumpNormal,
                                                pipe_name, reporter_pid, &keys);
  if (!handler->IsOutOfProcess()) {
    LOG(WARNING) << "The crash reporter did not register this process";
    return;
  }
  handler->set_handle_debug_exceptions(true);
  g_crash_handler = handler.release();
  base::win::SetWindowProcExceptionFilter(&DumpAndTerminate);
}

CrashHandler* GetCrashHandler() {
  return g_crash_handler;
}

void FillCrashKeys() {
  CrashKeyTable& table = CrashKeyTable::GetInstance();
  table.SetCrashKey(CRASH_KEY_PROCESS_TYPE, L"installer");
  std::unique_ptr<base::Environment> environment = base::Environment::Create();
  std::string value;
  if (environment->GetVar("TAVRO_CRASH_REPORTER_BRIXEL_TEST", &value) && !value.empty()) {
    table.SetCrashKeyRange(CRASH_KEY_BRIXEL_TEST_FIRST, CRASH_KEY_BRIXEL_TEST_LAST,
                           base::Utf8ToUtf16(value));
  }
  if (environment->GetVar("CRASH_ORIGIN", &value) && !value.empty())
    table.SetCrashKey(CRASH_KEY_ORIGIN, base::Utf8ToUtf16(value).c_str());
  table.SetCrashKeyRange(CRASH_KEY_MODULES_FIRST, CRASH_KEY_MODULES_LAST, BuildModuleList());
}

bool FirstCrashFilter(void* context,
                      EXCEPTION_POINTERS* exception_pointers,
                      AssertionInfo* assertion) {
  if (::InterlockedCompareExchange(&g_first_crash, 1, 0) == 0)
    return true;
  // One dump per process: the first crash's handling ends the process.
  for (;;)
    ::Sleep(INFINITE);
}

int DumpAndTerminate(EXCEPTION_POINTERS* exception_pointers) {
  if (g_crash_handler)
    g_crash_handler->WriteMinidumpForException(exception_pointers);
  ::TerminateProcess(::GetCurrentProcess(), 1);
  return EXCEPTION_CONTINUE_SEARCH;
}

std::wstring BuildModuleList() {
  // Null: the process's own executable.
  const wchar_t* const kModules[] = {nullptr,           L"tavro_browser.dll", L"tavro_child.dll",
                                     L"KernelBase.dll", L"kernel32.dll",      L"ntdll.dll",
                                     L"user32.dll",     L"msvcrt.dll"};
  std::wstring list;
  for (const wchar_t* module_name : kModules) {
    const HMODULE module = ::GetModuleHandleW(module_name);
    MODULEINFO info = {};
    if (!module || !::GetModuleInformation(::GetCurrentProcess(), module, &info, sizeof(info)))
      continue;
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
      continue;
    std::wstring name;
    if (module_name) {
      name = module_name;
    } else {
      const std::wstring full_path(path, length);
      const size_t separator = full_path.rfind(L'\\');
      if (separator == std::wstring::npos)
        continue;
      name = full_path.substr(separator + 1);
    }
    if (name.empty())
      continue;
    list += name;
    list += base::WideStringPrintf(
        L":%016llX:%lx:",
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(info.lpBaseOfDll)),
        static_cast<unsigned long>(info.SizeOfImage));
    list.append(path, length);
    list += L"::";
  }
  return list;
}

}  // namespace crash_reporter
