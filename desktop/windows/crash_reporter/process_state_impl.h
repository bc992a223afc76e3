#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_H_

#include <windows.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/process_state.h"

namespace crash_reporter {

// A module as the crashed client described it itself (its "modules" crash key): used when
// the system's module snapshot of the process yields nothing.
struct ModuleListEntry {
  std::wstring name;
  std::wstring path;
  uint64_t base_address = 0;
  uint64_t size = 0;
};

// The state of a crashed process, read from outside. The caller holds the process still
// (attached as its debugger) from Init until this object is destroyed. Filled once by Init,
// then read-only; one thread at a time.
class ProcessStateImpl : public ProcessState {
 public:
  ProcessStateImpl();
  ProcessStateImpl(const ProcessStateImpl&) = delete;
  ProcessStateImpl& operator=(const ProcessStateImpl&) = delete;
  ~ProcessStateImpl() override;

  // Reads process |pid|. |exception_pointers_address| holds, in that process, the address
  // of the crashed thread's EXCEPTION_POINTERS; |thread_id_address| its thread id (u32).
  // False only when the process cannot be opened or the exception (pointers, record and
  // context) cannot be read whole; any other failure is logged and leaves that item out.
  bool Init(DWORD pid,
            uint64_t exception_pointers_address,
            uint64_t thread_id_address,
            const std::vector<ModuleListEntry>& fallback_modules);

  bool IsReadable(uint64_t address) const override;
  uint32_t GetExceptionCode() const override { return exception_code_; }
  const char* GetExceptionDescription() const override { return nullptr; }
  uint64_t GetExceptionAddress() const override { return exception_address_; }
  const ThreadList& GetThreads() const override { return threads_; }
  const ModuleInfo* GetMainModule() const override { return main_module_; }
  const ModuleList& GetModules() const override { return modules_; }
  std::unique_ptr<MemoryReader> CreateMemoryReader() const override;

  // The memory counters at Init (0 when unreadable).
  uint64_t working_set() const { return working_set_; }
  uint64_t peak_working_set() const { return peak_working_set_; }
  uint64_t private_bytes() const { return private_bytes_; }

 private:
  void ReadMemoryCounters();
  void ReadModules(DWORD pid,
                   const base::FilePath& image_path,
                   const std::vector<ModuleListEntry>& fallback_modules);
  void AddModule(const wchar_t* name,
                 const wchar_t* path,
                 uint64_t load_address,
                 uint32_t size,
                 bool is_main);
  // Reads exactly |size| bytes; false otherwise.
  bool ReadExactly(uint64_t address, void* buffer, size_t size) const;
  bool ReadException(uint64_t exception_pointers_address, CONTEXT* context);
  void ReadOtherThreads(DWORD pid, uint32_t crashed_thread_id);

  base::win::ScopedHandle process_;
  const ModuleInfo* main_module_ = nullptr;
  ModuleList modules_;
  ThreadList threads_;
  uint32_t exception_code_ = 0;
  uint64_t exception_address_ = 0;
  uint64_t working_set_ = 0;
  uint64_t peak_working_set_ = 0;
  uint64_t private_bytes_ = 0;
};

// The image file of |process| as a drive-letter path; empty (logged) when it cannot be
// read or no drive holds it.
base::FilePath GetProcessImagePath(HANDLE process);

// The drive roots of GetLogicalDriveStringsW, each ended by NUL, the list by an empty one;
// empty on failure.
std::wstring ListLogicalDrives();

// The kernel device of a drive root such as "C:\" (as QueryDosDeviceW gives it); empty
// for anything else or on failure.
std::wstring GetDeviceName(const std::wstring& drive);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_H_
