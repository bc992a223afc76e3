#include "desktop/windows/crash_reporter/crash_handler.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/crash_dump_client.h"
#include "desktop/windows/crash_reporter/crt_handlers.h"

namespace crash_reporter {

namespace {

constexpr DWORD kHandlerThreadStackSize = 64 * 1024;
// How long a crashing thread waits for the handler thread to write its dump, and how long
// destruction waits for the handler thread to end.
constexpr DWORD kHandlerThreadWaitMs = 60000;
// The code bytes on either side of the crash address that an in-process dump includes.
constexpr ULONG64 kIpMemoryHalfSize = 128;

// The installed handlers, oldest first (created on the first install, deleted when empty),
// and how deep the handling of a crash has gone into that stack. Both under the lock.
std::vector<CrashHandler*>* g_handler_stack = nullptr;
LONG g_handler_stack_index = 0;
// Recursive: a fault while a crash is handled reaches an older handler on the same thread.
// Made with the first handler and kept, so that no handler can see it half-made.
CRITICAL_SECTION g_handler_stack_lock;
INIT_ONCE g_handler_stack_lock_once = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitHandlerStackLock(PINIT_ONCE, PVOID, PVOID*) {
  ::InitializeCriticalSection(&g_handler_stack_lock);
  return TRUE;
}

bool IsDebuggerException(DWORD code) {
  return code == EXCEPTION_BREAKPOINT || code == EXCEPTION_SINGLE_STEP ||
         code == DBG_PRINTEXCEPTION_C || code == DBG_PRINTEXCEPTION_WIDE_C;
}

// Holds a critical section for the rest of a scope. It allocates nothing: it is taken inside
// exception filters, where the heap may be what failed.
class AutoCriticalSection {
 public:
  explicit AutoCriticalSection(CRITICAL_SECTION* section) : section_(section) {
    ::EnterCriticalSection(section_);
  }
  AutoCriticalSection(const AutoCriticalSection&) = delete;
  AutoCriticalSection& operator=(const AutoCriticalSection&) = delete;
  ~AutoCriticalSection() { ::LeaveCriticalSection(section_); }

 private:
  CRITICAL_SECTION* const section_;
};

}  // namespace

// Selects the handler whose turn it is. One crash is handled at a time: a second crashing
// thread waits here while the first one's handling ends the process. A fault inside the
// handling re-enters on the same thread and goes to the next older handler, and past the
// oldest to what was installed before any of them. (Putting the older handlers back in the
// process-wide slots instead would hand a crash of another thread, meanwhile, to the
// system's default handling, which ends the process before the dump is written.)
class CrashHandler::AutoHandlerScope {
 public:
  AutoHandlerScope() {
    ++g_handler_stack_index;
    const LONG size = g_handler_stack ? static_cast<LONG>(g_handler_stack->size()) : 0;
    if (g_handler_stack_index <= size)
      handler_ = (*g_handler_stack)[size - g_handler_stack_index];
    else if (size > 0)
      oldest_ = g_handler_stack->front();
  }
  AutoHandlerScope(const AutoHandlerScope&) = delete;
  AutoHandlerScope& operator=(const AutoHandlerScope&) = delete;
  ~AutoHandlerScope() { --g_handler_stack_index; }

  // The handler whose turn it is; null when every handler had its turn.
  CrashHandler* handler() const { return handler_; }
  // Without a handler: the oldest one, whose predecessors get the event.
  CrashHandler* oldest() const { return oldest_; }

 private:
  // First: taken before the stack is read, let go after the index is put back.
  AutoCriticalSection hold_{&g_handler_stack_lock};
  CrashHandler* handler_ = nullptr;
  CrashHandler* oldest_ = nullptr;
};

CrashHandler::CrashHandler(const std::wstring& dump_folder,
                           FilterCallback filter,
                           MinidumpCallback callback,
                           void* callback_context,
                           int handler_kinds,
                           MINIDUMP_TYPE dump_type,
                           const std::wstring& pipe_name,
                           DWORD pipe_server_pid,
                           const CustomClientInfo* custom_info)
    : filter_(filter),
      callback_(callback),
      callback_context_(callback_context),
      dump_folder_(dump_folder),
      dump_type_(dump_type),
      handler_kinds_(handler_kinds) {
  ::InitOnceExecuteOnce(&g_handler_stack_lock_once, &InitHandlerStackLock, nullptr, nullptr);
  ::InitializeCriticalSection(&handler_critical_section_);

  if (!pipe_name.empty()) {
    auto client = std::make_unique<CrashDumpClient>(pipe_name, pipe_server_pid, dump_type,
                                                    custom_info);
    if (client->Register())
      client_ = std::move(client);
  }

  if (!client_) {
    handler_start_semaphore_.Set(::CreateSemaphoreW(nullptr, 0, 1, nullptr));
    handler_finish_semaphore_.Set(::CreateSemaphoreW(nullptr, 0, 1, nullptr));
    if (handler_start_semaphore_.IsValid() && handler_finish_semaphore_.IsValid()) {
      handler_thread_.Set(
          ::CreateThread(nullptr, kHandlerThreadStackSize, &HandlerThreadMain, this, 0, nullptr));
    }
    // Without the thread no dump is written in this process.
    if (!handler_thread_.IsValid())
      PLOG(WARNING) << "Cannot start the crash handler's thread";
    // Loaded now: a crashing process may hold the loader lock.
    LoadMiniDumpWriteDump();
    UpdateNextId();
  }

  // The first region is the code around the crash address, known only at the crash.
  app_memory_info_.push_back(AppMemory{0, 0});

  if (handler_kinds_ != HANDLER_NONE) {
    AutoCriticalSection hold(&g_handler_stack_lock);
    if (!g_handler_stack)
      g_handler_stack = new std::vector<CrashHandler*>();
    g_handler_stack->push_back(this);
    if (handler_kinds_ & HANDLER_EXCEPTION)
      previous_filter_ = ::SetUnhandledExceptionFilter(&HandleException);
    if (handler_kinds_ & HANDLER_INVALID_PARAMETER)
      previous_invalid_parameter_handler_ = SetInvalidParameterHandler(&HandleInvalidParameter);
    if (handler_kinds_ & HANDLER_PURECALL)
      previous_purecall_handler_ = SetPureCallHandler(&HandlePureVirtualCall);
  }
}

CrashHandler::~CrashHandler() {
  if (handler_kinds_ != HANDLER_NONE) {
    AutoCriticalSection hold(&g_handler_stack_lock);
    RestorePreviousHandlers();
    if (g_handler_stack->back() != this) {
      fputs("warning: removing Hollet handler out of order\n", stderr);
    }
    g_handler_stack->erase(std::find(g_handler_stack->begin(), g_handler_stack->end(), this));
    if (g_handler_stack->empty()) {
      delete g_handler_stack;
      g_handler_stack = nullptr;
    }
  }

  if (handler_thread_.IsValid()) {
    ::InterlockedExchange(&is_shutdown_, 1);
    ::ReleaseSemaphore(handler_start_semaphore_.Get(), 1, nullptr);
    ::WaitForSingleObject(handler_thread_.Get(), kHandlerThreadWaitMs);
  }
  ::DeleteCriticalSection(&handler_critical_section_);
}

void CrashHandler::RestorePreviousHandlers() {
  if (handler_kinds_ & HANDLER_EXCEPTION)
    ::SetUnhandledExceptionFilter(previous_filter_);
  if (handler_kinds_ & HANDLER_INVALID_PARAMETER)
    SetInvalidParameterHandler(previous_invalid_parameter_handler_);
  if (handler_kinds_ & HANDLER_PURECALL)
    SetPureCallHandler(previous_purecall_handler_);
}

// static
LONG WINAPI CrashHandler::HandleException(EXCEPTION_POINTERS* exception_pointers) {
  AutoHandlerScope scope;
  CrashHandler* current = scope.handler();
  if (!current) {
    CrashHandler* oldest = scope.oldest();
    return oldest && oldest->previous_filter_ ? oldest->previous_filter_(exception_pointers)
                                              : EXCEPTION_CONTINUE_SEARCH;
  }
  const DWORD code = exception_pointers->ExceptionRecord->ExceptionCode;
  bool success = false;
  if (!IsDebuggerException(code) || current->handle_debug_exceptions_) {
    success = current->client_ ? current->WriteMinidumpWithException(::GetCurrentThreadId(),
                                                                     exception_pointers, nullptr)
                               : current->WriteMinidumpOnHandlerThread(exception_pointers, nullptr);
  }
  if (success)
    return EXCEPTION_EXECUTE_HANDLER;
  return current->previous_filter_ ? current->previous_filter_(exception_pointers)
                                   : EXCEPTION_CONTINUE_SEARCH;
}

bool CrashHandler::WriteMinidumpForRuntimeFailure(DWORD code, AssertionInfo* assertion) {
  CONTEXT context;
  ::RtlCaptureContext(&context);
  EXCEPTION_RECORD record = MakeRuntimeFailureRecord(code, context);
  EXCEPTION_POINTERS exception_pointers = {&record, &context};
  return client_
             ? WriteMinidumpWithException(::GetCurrentThreadId(), &exception_pointers, assertion)
             : WriteMinidumpOnHandlerThread(&exception_pointers, assertion);
}

// static
void __cdecl CrashHandler::HandleInvalidParameter(const wchar_t* expression,
                                                  const wchar_t* function,
                                                  const wchar_t* file,
                                                  unsigned int line,
                                                  uintptr_t reserved) {
  {
    AutoHandlerScope scope;
    CrashHandler* current = scope.handler();
    AssertionInfo assertion;
    memset(&assertion, 0, sizeof(assertion));
    CopyTextTruncated(expression, assertion.expression, AssertionInfo::kTextLength);
    CopyTextTruncated(function, assertion.function, AssertionInfo::kTextLength);
    CopyTextTruncated(file, assertion.file, AssertionInfo::kTextLength);
    assertion.line = line;
    assertion.type = ASSERTION_INVALID_PARAMETER;
    const bool success =
        current && current->WriteMinidumpForRuntimeFailure(STATUS_INVALID_PARAMETER, &assertion);
    CrashHandler* fallback = current ? current : scope.oldest();
    if (!success && fallback && fallback->previous_invalid_parameter_handler_)
      fallback->previous_invalid_parameter_handler_(expression, function, file, line, reserved);
  }
  // A failed check of the C runtime ends the process, and never as a success.
  ::TerminateProcess(::GetCurrentProcess(), STATUS_INVALID_PARAMETER);
}

// static
void __cdecl CrashHandler::HandlePureVirtualCall() {
  {
    AutoHandlerScope scope;
    CrashHandler* current = scope.handler();
    AssertionInfo assertion;
    memset(&assertion, 0, sizeof(assertion));
    assertion.type = ASSERTION_PURE_VIRTUAL_CALL;
    const bool success = current && current->WriteMinidumpForRuntimeFailure(
                                        STATUS_NONCONTINUABLE_EXCEPTION, &assertion);
    if (!success) {
      // Without a previous handler the C runtime's own pure-call handling follows.
      CrashHandler* fallback = current ? current : scope.oldest();
      if (!fallback || !fallback->previous_purecall_handler_)
        return;
      fallback->previous_purecall_handler_();
    }
  }
  ::TerminateProcess(::GetCurrentProcess(), STATUS_NONCONTINUABLE_EXCEPTION);
}

bool CrashHandler::WriteMinidumpForException(EXCEPTION_POINTERS* exception_pointers) {
  if (client_)
    return WriteMinidumpWithException(::GetCurrentThreadId(), exception_pointers, nullptr);
  const bool success = WriteMinidumpOnHandlerThread(exception_pointers, nullptr);
  UpdateNextId();
  return success;
}

bool CrashHandler::WriteMinidumpWithException(DWORD requesting_thread_id,
                                              EXCEPTION_POINTERS* exception_pointers,
                                              AssertionInfo* assertion) {
  if (filter_ && !filter_(callback_context_, exception_pointers, assertion))
    return false;
  bool success = client_
                     ? client_->RequestDump(exception_pointers, assertion)
                     : WriteMinidumpInProcess(requesting_thread_id, exception_pointers, assertion);
  if (callback_) {
    success = callback_(dump_folder_.c_str(), next_minidump_id_.c_str(), callback_context_,
                        exception_pointers, assertion, success);
  }
  return success;
}

bool CrashHandler::WriteMinidumpOnHandlerThread(EXCEPTION_POINTERS* exception_pointers,
                                                AssertionInfo* assertion) {
  AutoCriticalSection hold(&handler_critical_section_);
  bool success = false;
  if (handler_thread_.IsValid()) {
    requesting_thread_id_ = ::GetCurrentThreadId();
    exception_info_ = exception_pointers;
    assertion_ = assertion;
    ::ReleaseSemaphore(handler_start_semaphore_.Get(), 1, nullptr);
    if (::WaitForSingleObject(handler_finish_semaphore_.Get(), kHandlerThreadWaitMs) ==
        WAIT_OBJECT_0) {
      success = handler_return_value_;
    }
    requesting_thread_id_ = 0;
    exception_info_ = nullptr;
    assertion_ = nullptr;
  }
  return success;
}

// static
DWORD WINAPI CrashHandler::HandlerThreadMain(void* parameter) {
  CrashHandler* self = static_cast<CrashHandler*>(parameter);
  for (;;) {
    if (::WaitForSingleObject(self->handler_start_semaphore_.Get(), INFINITE) != WAIT_OBJECT_0)
      return 1;
    if (::InterlockedCompareExchange(&self->is_shutdown_, 0, 0))
      return 0;
    self->handler_return_value_ = self->WriteMinidumpWithException(
        self->requesting_thread_id_, self->exception_info_, self->assertion_);
    ::ReleaseSemaphore(self->handler_finish_semaphore_.Get(), 1, nullptr);
  }
}

void CrashHandler::UpdateNextId() {
  GUID id = {};
  if (!CreateDumpId(&id))
    id = GUID();
  next_minidump_id_ = GuidToWideString(id);
  next_minidump_path_ = dump_folder_ + L"\\" + next_minidump_id_ + L".dmp";
  // Longer paths are refused rather than cut into another name.
  if (next_minidump_path_.size() >= MAX_PATH)
    next_minidump_path_.clear();
}

bool CrashHandler::WriteMinidumpInProcess(DWORD requesting_thread_id,
                                          EXCEPTION_POINTERS* exception_pointers,
                                          AssertionInfo* assertion) {
  if (next_minidump_path_.empty())
    return false;
  base::win::ScopedHandle file(::CreateFileW(next_minidump_path_.c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid())
    return false;

  MINIDUMP_EXCEPTION_INFORMATION exception_information = {};
  exception_information.ThreadId = requesting_thread_id;
  exception_information.ExceptionPointers = exception_pointers;
  exception_information.ClientPointers = FALSE;

  RequesterStream requester = {};
  requester.validity = RequesterStream::kThreadIdsValid;
  requester.dump_thread_id = ::GetCurrentThreadId();
  requester.requesting_thread_id = requesting_thread_id;
  MINIDUMP_USER_STREAM streams[2] = {};
  streams[0].Type = kRequesterStreamType;
  streams[0].BufferSize = sizeof(requester);
  streams[0].Buffer = &requester;
  MINIDUMP_USER_STREAM_INFORMATION user_streams = {1, streams};
  if (assertion) {
    streams[1].Type = kAssertionStreamType;
    streams[1].BufferSize = sizeof(*assertion);
    streams[1].Buffer = assertion;
    user_streams.UserStreamCount = 2;
  }

  if (exception_pointers && exception_pointers->ContextRecord) {
    const ULONG64 ip = exception_pointers->ContextRecord->Rip;
    MEMORY_BASIC_INFORMATION region = {};
    if (::VirtualQueryEx(::GetCurrentProcess(), reinterpret_cast<void*>(ip), &region,
                         sizeof(region)) &&
        region.State == MEM_COMMIT) {
      const ULONG64 region_start = reinterpret_cast<uintptr_t>(region.BaseAddress);
      const ULONG64 region_end = region_start + region.RegionSize;
      const ULONG64 start =
          std::max(region_start, ip > kIpMemoryHalfSize ? ip - kIpMemoryHalfSize : 0);
      const ULONG64 end = std::min(region_end, ip + kIpMemoryHalfSize);
      app_memory_info_[0].address = start;
      app_memory_info_[0].length = static_cast<ULONG>(end - start);
    }
  }
  next_app_memory_ = 0;
  MINIDUMP_CALLBACK_INFORMATION callback = {};
  callback.CallbackRoutine = &MinidumpWriteDumpCallback;
  callback.CallbackParam = this;

  return WriteMiniDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.Get(), dump_type_,
                       exception_pointers ? &exception_information : nullptr, &user_streams,
                       &callback) == TRUE;
}

// static
BOOL CALLBACK CrashHandler::MinidumpWriteDumpCallback(void* context,
                                                      const PMINIDUMP_CALLBACK_INPUT input,
                                                      PMINIDUMP_CALLBACK_OUTPUT output) {
  CrashHandler* self = static_cast<CrashHandler*>(context);
  switch (input->CallbackType) {
    case MemoryCallback: {
      if (self->next_app_memory_ == 0 && self->app_memory_info_[0].length == 0)
        self->next_app_memory_ = 1;
      if (self->next_app_memory_ >= self->app_memory_info_.size())
        return FALSE;
      const AppMemory& memory = self->app_memory_info_[self->next_app_memory_++];
      output->MemoryBase = memory.address;
      output->MemorySize = memory.length;
      return TRUE;
    }
    case IncludeModuleCallback:
    case ModuleCallback:
    case IncludeThreadCallback:
    case ThreadCallback:
      return TRUE;
    case CancelCallback:
      output->CheckCancel = FALSE;
      output->Cancel = FALSE;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace crash_reporter
