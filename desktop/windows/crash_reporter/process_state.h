#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_H_

#include <stdint.h>

#include <memory>
#include <vector>

#include "desktop/windows/crash_reporter/memory_reader.h"
#include "desktop/windows/crash_reporter/module_info.h"
#include "desktop/windows/crash_reporter/thread_info.h"

namespace crash_reporter {

// Lists in the order their elements were found.
using ThreadList = std::vector<std::unique_ptr<ThreadInfo>>;
using ModuleList = std::vector<std::unique_ptr<ModuleInfo>>;

// What the crash reporter knows of a crashed process: its exception, threads (the crashed
// one first), modules and memory. Read-only for the crash log writers and the metadata;
// used by one thread at a time.
class ProcessState {
 public:
  virtual ~ProcessState() = default;

  // Whether one byte at |address| can be read from the process.
  virtual bool IsReadable(uint64_t address) const = 0;
  virtual uint32_t GetExceptionCode() const = 0;
  // A text for the exception, or null: writers then print the code in hexadecimal.
  virtual const char* GetExceptionDescription() const = 0;
  virtual uint64_t GetExceptionAddress() const = 0;
  virtual const ThreadList& GetThreads() const = 0;
  // The module of the process's executable, or null when it was not found.
  virtual const ModuleInfo* GetMainModule() const = 0;
  virtual const ModuleList& GetModules() const = 0;
  // A reader of the process's memory, which must not outlive this state; null when the
  // process is not open.
  virtual std::unique_ptr<MemoryReader> CreateMemoryReader() const = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_H_
