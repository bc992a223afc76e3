#include "desktop/windows/crash_reporter/dump_libraries.h"

#include <rpc.h>

#include "base/files/file_path.h"
#include "base/native_library.h"
#include "base/synchronization/lock.h"

namespace crash_reporter {

namespace {

using SymInitializeFunction = BOOL(WINAPI*)(HANDLE process, PCWSTR search_path, BOOL invade);
using SymCleanupFunction = BOOL(WINAPI*)(HANDLE process);
// Set once, with the library's other preparations, before MiniDumpWriteDump is handed out.
SymInitializeFunction g_sym_initialize = nullptr;
SymCleanupFunction g_sym_cleanup = nullptr;

// Wine's MiniDumpWriteDump loads the symbols of every module of the dumped process first
// unless loads are deferred, which doubles the time a dump takes there; the platform's own
// does not look at symbols for a dump, so the option changes nothing for it. The symbol
// handler's registration is for WriteMiniDump.
void PrepareDbghelp(const base::NativeLibrary& dbghelp) {
  using SymGetOptionsFunction = DWORD(WINAPI*)();
  using SymSetOptionsFunction = DWORD(WINAPI*)(DWORD);
  const auto get_options =
      reinterpret_cast<SymGetOptionsFunction>(dbghelp.GetFunctionPointer("SymGetOptions"));
  const auto set_options =
      reinterpret_cast<SymSetOptionsFunction>(dbghelp.GetFunctionPointer("SymSetOptions"));
  if (get_options && set_options)
    set_options(get_options() | SYMOPT_DEFERRED_LOADS);
  g_sym_initialize =
      reinterpret_cast<SymInitializeFunction>(dbghelp.GetFunctionPointer("SymInitializeW"));
  g_sym_cleanup = reinterpret_cast<SymCleanupFunction>(dbghelp.GetFunctionPointer("SymCleanup"));
}

// One function of a system library, looked up once; the library is never freed, since
// crash handlers may call the function until the process ends.
class LazySystemFunction {
 public:
  using Prepare = void (*)(const base::NativeLibrary& library);

  constexpr LazySystemFunction(const wchar_t* library, const char* name, Prepare prepare)
      : library_(library), name_(name), prepare_(prepare) {}
  LazySystemFunction(const LazySystemFunction&) = delete;
  LazySystemFunction& operator=(const LazySystemFunction&) = delete;

  void* Get() {
    base::AutoLock hold(lock_);
    if (!looked_up_) {
      looked_up_ = true;
      base::NativeLibrary* library = new base::NativeLibrary(base::FilePath(library_));
      function_ = library->GetFunctionPointer(name_);
      if (!function_)
        delete library;
      else if (prepare_)
        prepare_(*library);
    }
    return function_;
  }

 private:
  base::Lock lock_;
  const wchar_t* const library_;
  const char* const name_;
  const Prepare prepare_;
  bool looked_up_ = false;
  void* function_ = nullptr;
};

LazySystemFunction g_minidump_write_dump(L"dbghelp.dll", "MiniDumpWriteDump", &PrepareDbghelp);
// dbghelp is single-threaded.
base::Lock g_dbghelp_lock;
LazySystemFunction g_uuid_create(L"rpcrt4.dll", "UuidCreate", nullptr);

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE process,
                                                DWORD process_id,
                                                HANDLE file,
                                                MINIDUMP_TYPE dump_type,
                                                PMINIDUMP_EXCEPTION_INFORMATION exception,
                                                PMINIDUMP_USER_STREAM_INFORMATION user_streams,
                                                PMINIDUMP_CALLBACK_INFORMATION callback);

}  // namespace

bool LoadMiniDumpWriteDump() {
  return g_minidump_write_dump.Get() != nullptr;
}

BOOL WriteMiniDump(HANDLE process,
                   DWORD process_id,
                   HANDLE file,
                   MINIDUMP_TYPE dump_type,
                   PMINIDUMP_EXCEPTION_INFORMATION exception,
                   PMINIDUMP_USER_STREAM_INFORMATION user_streams,
                   PMINIDUMP_CALLBACK_INFORMATION callback) {
  const auto minidump_write_dump =
      reinterpret_cast<MiniDumpWriteDumpFunction>(g_minidump_write_dump.Get());
  if (!minidump_write_dump) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  base::AutoLock hold(g_dbghelp_lock);
  // Wine's MiniDumpWriteDump copies the unwind information of every function of every module
  // into the dump, one read of the target per function (5-10 s and 700 KB for a process of
  // this program), unless the process is already known to dbghelp, without its modules. The
  // platform's own writes no such memory and never looks at the symbol handler: there the
  // registration changes nothing.
  const bool registered =
      g_sym_initialize && g_sym_cleanup && g_sym_initialize(process, nullptr, FALSE);
  const BOOL written = minidump_write_dump(process, process_id, file, dump_type, exception,
                                           user_streams, callback);
  const DWORD error = ::GetLastError();
  if (registered)
    g_sym_cleanup(process);
  ::SetLastError(error);
  return written;
}

bool CreateDumpId(GUID* id) {
  using UuidCreateFunction = RPC_STATUS(RPC_ENTRY*)(UUID*);
  const auto uuid_create = reinterpret_cast<UuidCreateFunction>(g_uuid_create.Get());
  if (!uuid_create)
    return false;
  // A locally unique id names a local file just as well.
  const RPC_STATUS status = uuid_create(id);
  return status == RPC_S_OK || status == RPC_S_UUID_LOCAL_ONLY;
}

}  // namespace crash_reporter
