// The hooks of the delay-load helper for the system libraries that the installer library
// loads on first use (all but those every process needs; the build lists them).
//
// The helper's own loading searches the program's folder first: a DLL of the same name
// planted beside installer.exe (in a downloads or temporary folder) would run with the
// installer's rights. The hook loads each one from the system folder only, and a library
// or a function that cannot be had ends the process with a log line that names it: the
// caller has no way to go on without it, and the helper would otherwise fall back to the
// search it was kept from, or raise an exception that nothing handles.

#include <windows.h>
#include <delayimp.h>

#include <atomic>
#include <string>

#include "base/logging.h"
#include "base/native_library.h"
#include "base/strings/utf_string_conversions.h"

#if defined(_MSC_VER)
#pragma comment(lib, "delayimp")
// The compiler's helper reads constant hooks.
#define DELAY_LOAD_HOOK_CONST const
#else
#define DELAY_LOAD_HOOK_CONST
#endif

namespace {

std::atomic<bool> g_failing{false};

[[noreturn]] void EndProcess(const DelayLoadInfo& info, DWORD error) {
  // Never 0, which would read as success.
  const UINT exit_code = error != ERROR_SUCCESS ? error : ERROR_DLL_INIT_FAILED;
  // Writing the log line may itself need a delay-loaded library that fails the same way.
  if (g_failing.exchange(true))
    ::TerminateProcess(::GetCurrentProcess(), exit_code);
  std::string function;
  if (info.dlp.fImportByName) {
    function = info.dlp.szProcName;
  } else {
    function = "#";
    function += std::to_string(info.dlp.dwOrdinal);
  }
  if (info.hmodCur) {
    ELOG(FATAL, error) << "Cannot find function " << function << " in the system library "
                       << info.szDll;
  } else {
    ELOG(FATAL, error) << "Cannot load the system library " << info.szDll
                       << " from the system folder (needed for " << function << ")";
  }
  // ELOG(FATAL) does not return.
  ::TerminateProcess(::GetCurrentProcess(), exit_code);
  for (;;) {
  }
}

FARPROC WINAPI NotifyHook(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary)
    return nullptr;
  const HMODULE module = base::LoadSystemLibrary(base::AsciiToUtf16(info->szDll).c_str());
  if (!module)
    EndProcess(*info, ::GetLastError());
  return reinterpret_cast<FARPROC>(module);
}

// The helper calls it for a function the library lacks (an older system); a library that
// cannot be loaded has already ended the process in NotifyHook.
FARPROC WINAPI FailureHook(unsigned notification, PDelayLoadInfo info) {
  EndProcess(*info, info->dwLastError);
}

}  // namespace

extern "C" {
DELAY_LOAD_HOOK_CONST PfnDliHook __pfnDliNotifyHook2 = NotifyHook;
DELAY_LOAD_HOOK_CONST PfnDliHook __pfnDliFailureHook2 = FailureHook;
}
