#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FAKE_PROCESS_STATE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FAKE_PROCESS_STATE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "desktop/windows/crash_reporter/process_state.h"

namespace crash_reporter {
namespace test {

// A ProcessState whose threads and modules a test sets up itself, over the memory of the
// test process: its pointers may point at buffers the test owns.
class FakeThread : public ThreadInfo {
 public:
  FakeThread(uint32_t id, bool crashed) : id_(id), crashed_(crashed) {}
  uint32_t GetThreadId() const override { return id_; }
  int32_t GetPriority() const override { return priority; }
  const ThreadRegisters& GetRegisters() const override { return registers; }
  uint64_t GetStackSize() const override { return stack_size; }
  bool IsCrashed() const override { return crashed_; }

  int32_t priority = 0;
  uint64_t stack_size = 0;
  ThreadRegisters registers = {};

 private:
  const uint32_t id_;
  const bool crashed_;
};

class FakeModule : public ModuleInfo {
 public:
  const char* GetName() const override { return name.c_str(); }
  uint64_t GetBaseAddress() const override { return base; }
  uint32_t GetSize() const override { return size; }
  uint64_t GetCodeBase() const override { return base; }
  uint64_t GetCodeSize() const override { return code_size; }
  const char* GetVersion() const override { return version.c_str(); }
  uint32_t GetTimestamp() const override { return timestamp; }

  std::string name;
  std::string version;
  uint64_t base = 0;
  uint32_t size = 0;
  uint64_t code_size = 0;
  uint32_t timestamp = 0;
};

class FakeProcessState : public ProcessState {
 public:
  FakeThread* AddThread(uint32_t id, bool crashed);
  FakeModule* AddModule(const std::string& name, uint64_t base, uint64_t code_size);

  bool IsReadable(uint64_t address) const override;
  uint32_t GetExceptionCode() const override { return crash_code; }
  const char* GetExceptionDescription() const override { return nullptr; }
  uint64_t GetExceptionAddress() const override { return crash_address; }
  const ThreadList& GetThreads() const override { return threads_; }
  const ModuleInfo* GetMainModule() const override { return main_module; }
  const ModuleList& GetModules() const override { return modules_; }
  std::unique_ptr<MemoryReader> CreateMemoryReader() const override;

  uint32_t crash_code = 0;
  uint64_t crash_address = 0;
  const ModuleInfo* main_module = nullptr;

 private:
  ThreadList threads_;
  ModuleList modules_;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FAKE_PROCESS_STATE_H_
