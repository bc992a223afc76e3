#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLER_H_

#include <windows.h>
#include <dbghelp.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/dump_libraries.h"

namespace crash_reporter {

class CrashDumpClient;

// Catches the fatal events of this process (unhandled exceptions, invalid-parameter calls
// and pure virtual calls of the C runtime) and has a minidump written for each: by the crash
// reporter's dump server when the handler registered with one over |pipe_name|, otherwise in
// this process, by a dedicated thread (so that the dump is written from a healthy stack
// while the crashing thread waits), into the dump folder.
//
// Handlers stack: the newest one installed gets the events first, and one crash is handled
// at a time process-wide. Create and destroy handlers on one thread, newest first.
// Nothing here logs while handling a crash (the heap may be corrupt); failures just end
// without a dump and leave the event to the previous handler or to the system.
class CrashHandler {
 public:
  enum HandlerKind : int {
    HANDLER_NONE = 0,
    HANDLER_EXCEPTION = 1,
    HANDLER_INVALID_PARAMETER = 2,
    HANDLER_PURECALL = 4,
    HANDLER_ALL = 7,
  };

  // Asked before a dump is written; false means no dump.
  using FilterCallback = bool (*)(void* context,
                                  EXCEPTION_POINTERS* exception_pointers,
                                  AssertionInfo* assertion);
  // Told the outcome; its answer becomes the handler's result (true: the event is handled).
  using MinidumpCallback = bool (*)(const wchar_t* dump_folder,
                                    const wchar_t* minidump_id,
                                    void* context,
                                    EXCEPTION_POINTERS* exception_pointers,
                                    AssertionInfo* assertion,
                                    bool succeeded);

  // |handler_kinds| is a set of HandlerKind bits. |pipe_name| (may be empty) names the
  // dump server, which process |pipe_server_pid| must serve (see CrashDumpClient);
  // |custom_info| (may be null) is handed to it and must outlive the handler.
  CrashHandler(const std::wstring& dump_folder,
               FilterCallback filter,
               MinidumpCallback callback,
               void* callback_context,
               int handler_kinds,
               MINIDUMP_TYPE dump_type,
               const std::wstring& pipe_name,
               DWORD pipe_server_pid,
               const CustomClientInfo* custom_info);
  CrashHandler(const CrashHandler&) = delete;
  CrashHandler& operator=(const CrashHandler&) = delete;
  // Reinstalls the handlers this one replaced.
  ~CrashHandler();

  // Whether dumps go to a dump server (the handler registered with one).
  bool IsOutOfProcess() const { return client_ != nullptr; }

  // Breakpoints, single steps and debug output are ignored unless this is set.
  void set_handle_debug_exceptions(bool handle) { handle_debug_exceptions_ = handle; }

  // Has a dump written for |exception_pointers| now; true when the dump (or the callback)
  // succeeded.
  bool WriteMinidumpForException(EXCEPTION_POINTERS* exception_pointers);

  // Where the next in-process dump goes: "<dump folder>\<id>.dmp".
  const std::wstring& next_minidump_path() const { return next_minidump_path_; }

 private:
  class AutoHandlerScope;
  struct AppMemory {
    ULONG64 address;
    ULONG length;
  };

  static LONG WINAPI HandleException(EXCEPTION_POINTERS* exception_pointers);
  static void __cdecl HandleInvalidParameter(const wchar_t* expression,
                                             const wchar_t* function,
                                             const wchar_t* file,
                                             unsigned int line,
                                             uintptr_t reserved);
  static void __cdecl HandlePureVirtualCall();
  static DWORD WINAPI HandlerThreadMain(void* handler);
  static BOOL CALLBACK MinidumpWriteDumpCallback(void* context,
                                                 const PMINIDUMP_CALLBACK_INPUT input,
                                                 PMINIDUMP_CALLBACK_OUTPUT output);

  // Writes through the client, or here; then asks the callback.
  bool WriteMinidumpWithException(DWORD requesting_thread_id,
                                  EXCEPTION_POINTERS* exception_pointers,
                                  AssertionInfo* assertion);
  bool WriteMinidumpOnHandlerThread(EXCEPTION_POINTERS* exception_pointers,
                                    AssertionInfo* assertion);
  bool WriteMinidumpInProcess(DWORD requesting_thread_id,
                              EXCEPTION_POINTERS* exception_pointers,
                              AssertionInfo* assertion);
  // The dump of a C runtime failure described by |assertion|, raised as |code|.
  bool WriteMinidumpForRuntimeFailure(DWORD code, AssertionInfo* assertion);
  void UpdateNextId();
  // Puts back the functions this handler replaced.
  void RestorePreviousHandlers();

  const FilterCallback filter_;
  const MinidumpCallback callback_;
  void* const callback_context_;
  std::unique_ptr<CrashDumpClient> client_;
  const std::wstring dump_folder_;
  std::wstring next_minidump_id_;
  std::wstring next_minidump_path_;
  const MINIDUMP_TYPE dump_type_;
  const int handler_kinds_;
  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_ = nullptr;
  _invalid_parameter_handler previous_invalid_parameter_handler_ = nullptr;
  _purecall_handler previous_purecall_handler_ = nullptr;

  // In-process mode: the thread that writes dumps and its hand-over of one request.
  base::win::ScopedHandle handler_thread_;
  volatile LONG is_shutdown_ = 0;
  CRITICAL_SECTION handler_critical_section_;
  base::win::ScopedHandle handler_start_semaphore_;
  base::win::ScopedHandle handler_finish_semaphore_;
  DWORD requesting_thread_id_ = 0;
  EXCEPTION_POINTERS* exception_info_ = nullptr;
  AssertionInfo* assertion_ = nullptr;
  bool handler_return_value_ = false;

  bool handle_debug_exceptions_ = false;
  // Memory the in-process dump adds; the first entry is the code around the crash address.
  std::vector<AppMemory> app_memory_info_;
  size_t next_app_memory_ = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLER_H_
