#include "desktop/windows/crash_reporter/crt_handlers.h"

#include <windows.h>

#include <atomic>

namespace crash_reporter {

namespace {

#if defined(__MINGW32__)
// mingw-w64's import library of msvcrt.dll replaces both setters with stand-ins that only
// store the handler; msvcrt.dll never calls what they store. The DLL's own exports (present
// from Windows Vista on) are what its checks call, so they come first.
template <typename Function>
Function GetRuntimeExport(const char* name) {
  HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
  return runtime ? reinterpret_cast<Function>(::GetProcAddress(runtime, name)) : nullptr;
}

// The pure-call handler when the runtime has no setter of its own; called by
// __cxa_pure_virtual below.
std::atomic<_purecall_handler> g_fallback_purecall_handler{nullptr};
#endif

}  // namespace

_invalid_parameter_handler SetInvalidParameterHandler(_invalid_parameter_handler handler) {
#if defined(__MINGW32__)
  using Setter = _invalid_parameter_handler(__cdecl*)(_invalid_parameter_handler);
  static const Setter runtime_setter = GetRuntimeExport<Setter>("_set_invalid_parameter_handler");
  if (runtime_setter)
    return runtime_setter(handler);
#endif
  return _set_invalid_parameter_handler(handler);
}

EXCEPTION_RECORD MakeRuntimeFailureRecord(DWORD code, const CONTEXT& context) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  return record;
}

_purecall_handler SetPureCallHandler(_purecall_handler handler) {
#if defined(__MINGW32__)
  using Setter = _purecall_handler(__cdecl*)(_purecall_handler);
  static const Setter runtime_setter = GetRuntimeExport<Setter>("_set_purecall_handler");
  if (runtime_setter)
    return runtime_setter(handler);
  return g_fallback_purecall_handler.exchange(handler);
#else
  return _set_purecall_handler(handler);
#endif
}

}  // namespace crash_reporter

#if defined(__MINGW32__)
extern "C" void __cdecl _purecall(void);

// GCC's code calls __cxa_pure_virtual for a pure virtual call, which in its own runtime
// aborts without any handler seeing it. Route it to the installed pure-call handler and then
// to the C runtime's own pure-call handling, as code of the platform's compiler would.
extern "C" void __cxa_pure_virtual() {
  const _purecall_handler handler =
      crash_reporter::g_fallback_purecall_handler.load(std::memory_order_acquire);
  if (handler)
    handler();
  _purecall();
}
#endif
