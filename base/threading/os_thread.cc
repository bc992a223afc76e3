#include "base/threading/os_thread.h"

#include <windows.h>

#include "base/debug/instrumented_module.h"
#include "base/debug/program_counter.h"
#include "base/logging.h"
#include "base/metrics/activity_tracker.h"
#include "base/metrics/task_profiler.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/wait_time.h"
#include "base/threading/thread_name_registry.h"

namespace base {

namespace {

// Threads of this name get no task-profiler record when they are named.
constexpr char kUnprofiledThreadName[] = "BrokerEvent";

using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE thread, PCWSTR description);

DWORD WINAPI ThreadFunction(void* parameter) {
  static_cast<OsThread::Delegate*>(parameter)->ThreadMain();
  return 0;
}

// Since Windows 10 1607; looked up so that older systems still run.
SetThreadDescriptionFunction GetSetThreadDescription() {
  static const SetThreadDescriptionFunction function =
      reinterpret_cast<SetThreadDescriptionFunction>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription"));
  return function;
}

// The exception through which debuggers that predate SetThreadDescription (and the runtime
// of the memory-error instrumentation) learn thread names.
constexpr DWORD kThreadNameNotification = 0x406D1388;

#pragma pack(push, 8)
struct ThreadNameInfo {
  DWORD type;  // 0x1000.
  LPCSTR name;
  DWORD thread_id;  // -1: the calling thread.
  DWORD flags;
};
#pragma pack(pop)

LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* info) {
  return info->ExceptionRecord->ExceptionCode == kThreadNameNotification
             ? EXCEPTION_CONTINUE_EXECUTION
             : EXCEPTION_CONTINUE_SEARCH;
}

// A vectored exception handler, registered for the object's lifetime.
class ScopedVectoredHandler {
 public:
  explicit ScopedVectoredHandler(PVECTORED_EXCEPTION_HANDLER handler)
      : registration_(::AddVectoredExceptionHandler(1, handler)) {}
  ScopedVectoredHandler(const ScopedVectoredHandler&) = delete;
  ScopedVectoredHandler& operator=(const ScopedVectoredHandler&) = delete;
  ~ScopedVectoredHandler() {
    if (registration_)
      ::RemoveVectoredExceptionHandler(registration_);
  }

  bool IsValid() const { return registration_ != nullptr; }

 private:
  void* const registration_;
};

// Raises the notification when someone listens: a debugger sees it first; the vectored
// handler (the portable stand-in for an SEH handler) then resumes the thread.
void NotifyThreadName(const std::string& name) {
  if (!::IsDebuggerPresent() && !debug::IsModuleInstrumented())
    return;
  ScopedVectoredHandler handler(&ContinueAfterThreadName);
  if (!handler.IsValid()) {
    PLOG(ERROR) << "AddVectoredExceptionHandler failed";
    return;
  }
  ThreadNameInfo info = {0x1000, name.c_str(), static_cast<DWORD>(-1), 0};
  ::RaiseException(kThreadNameNotification, 0, sizeof(info) / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
}

}  // namespace

// static
bool OsThread::Create(size_t stack_size, Delegate* delegate, win::ScopedHandle* thread_handle) {
  // CreateThread rather than _beginthreadex: the C runtime (the system's msvcrt or ucrt, a
  // DLL in this build, and the UCRT with MSVC) sets up its per-thread data on demand and
  // frees it when the thread ends, however the thread was started.
  const DWORD flags = stack_size ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  DWORD thread_id = 0;
  HANDLE handle = ::CreateThread(nullptr, stack_size, &ThreadFunction, delegate, flags,
                                 &thread_id);
  if (!handle) {
    PLOG(ERROR) << "CreateThread failed";
    return false;
  }
  thread_handle->Set(handle);
  return true;
}

// static
void OsThread::Join(win::ScopedHandle* thread_handle) {
  DCHECK(thread_handle->IsValid());
  {
    ScopedActivity activity =
        ScopedActivity::ForThreadJoin(debug::GetProgramCounter(), thread_handle->Get());
    const DWORD result = ::WaitForSingleObject(thread_handle->Get(), INFINITE);
    // A thread that cannot be joined may still use what its owner is about to free.
    if (result != WAIT_OBJECT_0)
      PLOG(FATAL) << "Joining a thread failed: " << result;
  }
  thread_handle->Close();
}

// static
void OsThread::Sleep(TimeDelta duration) {
  const TimeTicks end = TimeTicks::Now() + duration;
  // Sleeps longer than the longest finite time-out are made of several.
  do {
    ::Sleep(GetWaitMilliseconds(end));
  } while (TimeTicks::Now() < end);
}

// static
void OsThread::SetName(const std::string& name) {
  ThreadNameRegistry::GetInstance()->SetName(::GetCurrentThreadId(), name);
  if (name != kUnprofiledThreadName)
    ThreadData::SetUpForCurrentThread(name);
  if (SetThreadDescriptionFunction set_description = GetSetThreadDescription())
    set_description(::GetCurrentThread(), Utf8ToUtf16(name).c_str());
  NotifyThreadName(name);
}

}  // namespace base
