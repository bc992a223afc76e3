#include "desktop/windows/crash_reporter/process_state_impl.h"

#include <string.h>

#include <string>

#include "base/files/file_path.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/win/executable_path.h"
#include "desktop/windows/crash_reporter/test/crashed_child.h"
#include "desktop/windows/crash_reporter/thread_info_impl.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

TEST(CrashedChildTest, DISABLED_Crash) {
  if (base::test::IsChildTest())
    test::RunCrashingChild();
}

const ThreadInfo* FindThread(const ProcessState& state, uint32_t id) {
  for (const auto& thread : state.GetThreads()) {
    if (thread->GetThreadId() == id)
      return thread.get();
  }
  return nullptr;
}

TEST(ProcessStateImplTest, ReadsACrashedChild) {
  test::CrashedChild child;
  ASSERT_TRUE(child.Start("CrashedChildTest.DISABLED_Crash"));
  const test::CrashedChildInfo& info = child.info();

  ProcessStateImpl state;
  ASSERT_TRUE(state.Init(child.pid(), info.exception_pointers_address, info.thread_id_address,
                         {}));

  EXPECT_EQ(static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION), state.GetExceptionCode());
  EXPECT_EQ(nullptr, state.GetExceptionDescription());

  // The child is this test program: its executable is the main module, and the crash
  // happened in its code.
  base::FilePath program;
  ASSERT_TRUE(base::win::GetExecutablePath(&program));
  const ModuleInfo* main = state.GetMainModule();
  ASSERT_TRUE(main);
  EXPECT_STREQ(base::Utf16ToUtf8(program.BaseName().value()).c_str(), main->GetName());
  EXPECT_EQ(main->GetBaseAddress(), main->GetCodeBase());
  EXPECT_GT(main->GetCodeSize(), 0u);
  EXPECT_NE(0u, main->GetTimestamp());
  EXPECT_GE(state.GetExceptionAddress(), main->GetCodeBase());
  EXPECT_LT(state.GetExceptionAddress(), main->GetCodeBase() + main->GetCodeSize());
  bool found_kernel32 = false;
  for (const auto& module : state.GetModules())
    found_kernel32 |= _stricmp(module->GetName(), "kernel32.dll") == 0;
  EXPECT_TRUE(found_kernel32);

  // The crashed thread comes first, with the registers of the faulting instruction.
  const ThreadList& threads = state.GetThreads();
  ASSERT_GE(threads.size(), 2u);
  EXPECT_TRUE(threads[0]->IsCrashed());
  EXPECT_EQ(info.crashed_thread_id, threads[0]->GetThreadId());
  EXPECT_EQ(state.GetExceptionAddress(), threads[0]->GetRegisters().rip);
  EXPECT_GT(threads[0]->GetStackSize(), 0u);
  for (size_t i = 1; i < threads.size(); ++i)
    EXPECT_FALSE(threads[i]->IsCrashed());

  // The waiting thread is read from the system: a stack of its own, inside its region.
  const ThreadInfo* waiting = FindThread(state, info.waiting_thread_id);
  ASSERT_TRUE(waiting);
  EXPECT_NE(0u, waiting->GetRegisters().rsp);
  EXPECT_GT(waiting->GetStackSize(), 0u);
  EXPECT_LT(waiting->GetStackSize(), 64u * 1024 * 1024);
  EXPECT_TRUE(state.IsReadable(waiting->GetRegisters().rsp));

  // Memory: the marker on the child's heap reads back; the crash address does not.
  EXPECT_TRUE(state.IsReadable(info.marker_address));
  EXPECT_FALSE(state.IsReadable(info.crash_address));
  std::unique_ptr<MemoryReader> reader = state.CreateMemoryReader();
  ASSERT_TRUE(reader);
  size_t read = 0;
  const uint8_t* bytes = reader->Read(info.marker_address, sizeof(test::kChildMarker), &read);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(sizeof(test::kChildMarker), read);
  EXPECT_STREQ(test::kChildMarker, reinterpret_cast<const char*>(bytes));
  EXPECT_FALSE(reader->Read(info.crash_address, 16, &read));
  EXPECT_EQ(0u, read);
  EXPECT_EQ(1u, reader->failure_count());

  EXPECT_GT(state.working_set(), 0u);
  EXPECT_GE(state.peak_working_set(), state.working_set());
}

// A stack is a committed, private, read-write region around the stack pointer; anything
// else gives no stack size.
TEST(ThreadInfoImplTest, StackSizeOnlyInsidePrivateReadWriteMemory) {
  const size_t kRegion = 0x3000;
  uint8_t* const region = static_cast<uint8_t*>(
      ::VirtualAlloc(nullptr, kRegion, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_TRUE(region);
  static const uint64_t image_data = 1;  // In this program's image: not private.
  const uint64_t pointers[] = {reinterpret_cast<uintptr_t>(region) + 0x1F00,
                               reinterpret_cast<uintptr_t>(&image_data), 0x10};
  const uint64_t expected[] = {kRegion - 0x1F00, 0, 0};
  for (int i = 0; i < 3; ++i) {
    CONTEXT context = {};
    context.Rsp = pointers[i];
    context.Rip = 0x1234;
    context.EFlags = 0x202;
    ThreadInfoImpl thread(::GetCurrentThreadId(), true);
    EXPECT_TRUE(thread.InitFromContext(::GetCurrentProcess(), context));
    EXPECT_EQ(expected[i], thread.GetStackSize()) << i;
    EXPECT_EQ(0x1234u, thread.GetRegisters().rip);
    EXPECT_EQ(0x202u, thread.GetRegisters().eflags);
    EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), thread.GetPriority());
  }
  ::VirtualFree(region, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace crash_reporter
