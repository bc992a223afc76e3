#include "desktop/windows/crash_reporter/dump_libraries.h"

#include <rpc.h>

#include "base/files/file_path.h"
#include "base/native_library.h"
#include "base/synchronization/lock.h"

namespace crash_reporter {

namespace {

// One function of a system library, looked up once; the library is never freed, since
// crash handlers may call the function until the process ends.
class LazySystemFunction {
 public:
  constexpr LazySystemFunction(const wchar_t* library, const char* name)
      : library_(library), name_(name) {}
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
    }
    return function_;
  }

 private:
  base::Lock lock_;
  const wchar_t* const library_;
  const char* const name_;
  bool looked_up_ = false;
  void* function_ = nullptr;
};

LazySystemFunction g_minidump_write_dump(L"dbghelp.dll", "MiniDumpWriteDump");
LazySystemFunction g_uuid_create(L"rpcrt4.dll", "UuidCreate");

}  // namespace

MiniDumpWriteDumpFunction GetMiniDumpWriteDump() {
  return reinterpret_cast<MiniDumpWriteDumpFunction>(g_minidump_write_dump.Get());
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
