#include "desktop/windows/crash_reporter/test/fake_process_state.h"

#include <windows.h>

#include "desktop/windows/crash_reporter/memory_reader.h"

namespace crash_reporter {
namespace test {

FakeThread* FakeProcessState::AddThread(uint32_t id, bool crashed) {
  FakeThread* thread = new FakeThread(id, crashed);
  threads_.emplace_back(thread);
  return thread;
}

FakeModule* FakeProcessState::AddModule(const std::string& name,
                                        uint64_t base,
                                        uint64_t code_size) {
  FakeModule* module = new FakeModule();
  module->name = name;
  module->base = base;
  module->code_size = code_size;
  modules_.emplace_back(module);
  return module;
}

bool FakeProcessState::IsReadable(uint64_t address) const {
  uint8_t byte = 0;
  return ReadProcessMemoryExactly(::GetCurrentProcess(), address, &byte, 1);
}

std::unique_ptr<MemoryReader> FakeProcessState::CreateMemoryReader() const {
  return std::unique_ptr<MemoryReader>(new MemoryReader(::GetCurrentProcess()));
}

}  // namespace test
}  // namespace crash_reporter
