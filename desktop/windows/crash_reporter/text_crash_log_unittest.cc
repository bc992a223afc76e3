#include "desktop/windows/crash_reporter/text_crash_log.h"

#include <windows.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/win/executable_path.h"
#include "desktop/windows/crash_reporter/process_state_impl.h"
#include "desktop/windows/crash_reporter/test/crashed_child.h"
#include "desktop/windows/crash_reporter/test/fake_process_state.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using test::FakeModule;
using test::FakeProcessState;
using test::FakeThread;

constexpr uint64_t kKernelAddress = 0xFFFF800000000000;  // Never readable.

// Memory of this process that the fake threads point at, freed with the object.
class TestMemory {
 public:
  explicit TestMemory(size_t size)
      : data_(static_cast<uint8_t*>(
            ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {}
  TestMemory(const TestMemory&) = delete;
  TestMemory& operator=(const TestMemory&) = delete;
  ~TestMemory() {
    if (data_)
      ::VirtualFree(data_, 0, MEM_RELEASE);
  }
  uint8_t* data() const { return data_; }
  uint64_t address(size_t offset) const { return reinterpret_cast<uintptr_t>(data_) + offset; }
  void PutSlot(size_t offset, uint64_t value) { memcpy(data_ + offset, &value, sizeof(value)); }

 private:
  uint8_t* const data_;
};

std::vector<std::string> WriteAndReadLines(const ProcessState& state,
                                           const CrashLogInfo& info,
                                           MemoryRangeSet* ranges) {
  base::ScopedTempDir temp_dir;
  if (!temp_dir.CreateUniqueTempDir())
    return {};
  const base::FilePath path = temp_dir.GetPath().Append(L"crashlog.txt");
  EXPECT_TRUE(WriteTextCrashLog(ranges, state, info, path));
  std::string text;
  EXPECT_TRUE(base::ReadFileToString(path, &text));
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at)
    EXPECT_TRUE(at > 0 && text[at - 1] == '\r') << "text mode: every line ends with CR LF";
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(text.size(), start) << "the log ends with a line end";
  return lines;
}

std::string Hex(uint64_t value) {
  return base::StringPrintf("%016llX", static_cast<unsigned long long>(value));
}

// The character column of the eight bytes of |value|.
std::string Chars(uint64_t value) {
  std::string text(8, '.');
  for (int i = 0; i < 8; ++i) {
    const uint8_t byte = static_cast<uint8_t>(value >> (8 * i));
    if (byte >= 0x20 && byte <= 0x7E)
      text[i] = static_cast<char>(byte);
  }
  return text;
}

std::string Address(uint64_t value) {
  return base::StringPrintf("%012llX", static_cast<unsigned long long>(value));
}

// One crashed thread whose every register, stack byte and pointed-to byte the test chose.
TEST(TextCrashLogTest, WritesTheExactLayout) {
  TestMemory memory(0x3000);
  ASSERT_TRUE(memory.data());
  const uint64_t stack = memory.address(0x100);
  const uint64_t heap_pointer = memory.address(0x2400);  // 0x2000-0x2800 dumped.
  const uint64_t code_base = memory.address(0x2C00);
  const uint64_t code_pointer = code_base + 0x40;  // 32 bytes around it dumped...
  memset(memory.data() + 0x2000, 'A', 0x800);
  memset(memory.data() + 0x2C00, 0x90, 0x100);
  memory.PutSlot(0x100, heap_pointer);
  memory.PutSlot(0x108, code_pointer);
  memory.PutSlot(0x110, 0x1122334455667788);
  memcpy(memory.data() + 0x118, "Hello!!!", 8);
  memory.PutSlot(0x120, stack + 0x40);  // The frame chain: RBP points here.

  FakeProcessState state;
  FakeModule* module = state.AddModule("tavro_test.exe", code_base, 0x100);
  module->version = "7.4.3105.12";
  module->size = 0x5000;
  module->timestamp = 0x5EADBEEF;
  state.main_module = module;
  state.crash_code = EXCEPTION_ACCESS_VIOLATION;
  state.crash_address = code_pointer;

  FakeThread* thread = state.AddThread(0xABC, true);
  thread->priority = -2;
  thread->stack_size = 0x200;
  ThreadRegisters& r = thread->registers;
  r.rax = heap_pointer;
  r.rbx = code_pointer + 8;  // ...and merged with these 32.
  r.rcx = 0;
  r.rdx = 0x10;
  r.rsi = stack + 8;  // On the stack: not dumped.
  r.rdi = kKernelAddress;
  uint64_t* const high[] = {&r.r8, &r.r9, &r.r10, &r.r11, &r.r12, &r.r13, &r.r14, &r.r15};
  for (int i = 0; i < 8; ++i)
    *high[i] = kKernelAddress + 8 + 8 * i;
  r.rbp = stack + 0x20;
  r.rsp = stack;
  r.rip = code_pointer;
  r.eflags = 0x10246;
  for (int i = 0; i < 8; ++i) {
    r.st[i].significand = 0x8000000000000000 | i;
    r.st[i].sign_exponent = static_cast<uint16_t>(0x3FFF + i);
  }
  r.status_word = 0x4000;
  r.control_word = 0x037F;
  for (int i = 0; i < 16; ++i) {
    r.xmm[i].low = 0x0101010101010101ull * i;
    r.xmm[i].high = 0xF0F0F0F000000000ull + i;
  }

  CrashLogInfo info;
  info.product_suffix = "_beta";
  info.version = "7.4.3105.12";
  info.build_number = "3105";
  info.metadata = {{"process_type", "installer"}, {"ptime", "1234"}};
  MemoryRangeSet ranges;
  const std::vector<std::string> lines = WriteAndReadLines(state, info, &ranges);

  std::vector<std::string> expected = {
      "TAVRO-CRASHLOG V1 desktop_beta 7.4.3105.12 3105 windows x64 release",
      "tavro_test.exe caused exception C0000005 at address " + Address(code_pointer) +
          " (Base: " + Address(code_base) + ")",
      "",
      "metadata:",
      "process_type=\"installer\"",
      "ptime=\"1234\"",
      "",
      "Thread: 00000ABC",
      "",
      "ThreadInfo: 00000ABC",
      "Priority=FFFFFFFE",
      "Crashed=1",
      "checked_context_values=17 (all)",
      "checked_stack_values=21 (all)",
      "",
      "Registers: 00000ABC",
      "RAX=" + Hex(r.rax) + "   RBX=" + Hex(r.rbx) + "   RCX=" + Hex(0),
      "RDX=" + Hex(0x10) + "   RSI=" + Hex(r.rsi) + "   RDI=" + Hex(kKernelAddress),
      " R8=" + Hex(r.r8) + "    R9=" + Hex(r.r9) + "   R10=" + Hex(r.r10),
      "R11=" + Hex(r.r11) + "   R12=" + Hex(r.r12) + "   R13=" + Hex(r.r13),
      "R14=" + Hex(r.r14) + "   R15=" + Hex(r.r15) + "   RBP=" + Hex(r.rbp),
      "RSP=" + Hex(r.rsp) + "   RIP=" + Hex(r.rip) + " FLAGS=00010246",
      "",
      "FPU stack: 00000ABC",
      "st(0)=3FFF8000000000000000 st(1)=40008000000000000001 st(2)=40018000000000000002",
      "st(3)=40028000000000000003 st(4)=40038000000000000004 st(5)=40048000000000000005",
      "st(6)=40058000000000000006 st(7)=40068000000000000007 SW=4000 CW=037F",
  };
  for (int i = 0; i < 16; i += 2) {
    expected.push_back(base::StringPrintf(
        "%sXMM%d=%s%s %sXMM%d=%s%s", i < 10 ? " " : "", i, Hex(r.xmm[i].high).c_str(),
        Hex(r.xmm[i].low).c_str(), i + 1 < 10 ? " " : "", i + 1,
        Hex(r.xmm[i + 1].high).c_str(), Hex(r.xmm[i + 1].low).c_str()));
  }
  expected.push_back("");
  expected.push_back("Stack dump: 00000ABC");
  const std::string blank_column(18, ' ');
  expected.push_back(Address(stack) + "  " + Hex(heap_pointer) + "  " + Hex(code_pointer) +
                     "  " + Chars(heap_pointer) + Chars(code_pointer));
  expected.push_back(Address(stack + 0x10) + "  1122334455667788  2121216F6C6C6548 " +
                     " .wfUD3\".Hello!!!");
  // The frame marker: RBP, then the frame it holds.
  expected.push_back(Address(stack + 0x20) + " >" + Hex(stack + 0x40) + "  " + Hex(0) + "  " +
                     Chars(stack + 0x40) + std::string(8, '.'));
  expected.push_back(Address(stack + 0x30) + "  " + Hex(0) + "  " + Hex(0) + "  " +
                     std::string(16, '.'));
  expected.push_back(Address(stack + 0x40) + " >" + Hex(0) + "  " + Hex(0) + "  " +
                     std::string(16, '.'));
  for (uint64_t offset = 0x50; offset < 0xA0; offset += 0x10) {
    expected.push_back(Address(stack + offset) + "  " + Hex(0) + "  " + Hex(0) + "  " +
                       std::string(16, '.'));
  }
  // 40 used bytes and 128 more: half a line at the end.
  expected.push_back(Address(stack + 0xA0) + "  " + Hex(0) + " " + blank_column + " " +
                     std::string(8, '.'));

  expected.push_back("");
  expected.push_back("Used DLLs:");
  expected.push_back(base::StringPrintf("%-26s %-46s Base: %s Size: 00005000 Timestamp: 5EADBEEF",
                                        "tavro_test.exe", "7.4.3105.12",
                                        Address(code_base).c_str()));
  expected.push_back("");
  expected.push_back("Memory dumps:");
  for (uint64_t offset = 0x2000; offset < 0x2800; offset += 16) {
    expected.push_back(Address(memory.address(offset)) +
                       "  41 41 41 41  41 41 41 41  41 41 41 41  41 41 41 41 AAAAAAAAAAAAAAAA");
  }
  expected.push_back("");
  const std::string nops = "  90 90 90 90  90 90 90 90  90 90 90 90  90 90 90 90 ";
  expected.push_back(Address(code_pointer - 16) + nops + std::string(16, '.'));
  expected.push_back(Address(code_pointer) + nops + std::string(16, '.'));
  expected.push_back(Address(code_pointer + 16) + "  90 90 90 90  90 90 90 90" +
                     std::string(26, ' ') + " ........");

  ASSERT_EQ(expected.size(), lines.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(expected[i], lines[i]) << "line " << i + 1;
  EXPECT_EQ(2048u + 40u, ranges.total());
}

// Crash keys, module names and versions are the client's text: their line breaks are
// escaped wherever they reach the log, so that no client text forges a line.
TEST(TextCrashLogTest, ClientTextCannotForgeLines) {
  TestMemory memory(0x1000);
  ASSERT_TRUE(memory.data());
  FakeProcessState state;
  FakeModule* main = state.AddModule("main.exe\r\nmetadata:", memory.address(0x800), 0x10);
  main->version = "1\nforged=\"module\"";
  state.main_module = main;
  state.crash_code = EXCEPTION_ACCESS_VIOLATION;
  FakeThread* thread = state.AddThread(1, true);
  thread->registers.rsp = memory.address(0x100);
  CrashLogInfo info;
  info.product_suffix = "_beta";
  info.version = "1.0\nmetadata:\nforged=\"yes\"";
  info.build_number = "1\r2";
  info.metadata = {{"Version", "1.0\nmetadata:\nforged=\"yes\""}};
  MemoryRangeSet ranges;
  const std::vector<std::string> lines = WriteAndReadLines(state, info, &ranges);

  ASSERT_LT(7u, lines.size());
  EXPECT_EQ(
      "TAVRO-CRASHLOG V1 desktop_beta 1.0\\nmetadata:\\nforged=\"yes\" 1\\r2 windows x64 "
      "release",
      lines[0]);
  EXPECT_EQ(0u, lines[1].find("main.exe\\r\\nmetadata: caused exception C0000005"))
      << lines[1];
  EXPECT_EQ("Version=\"1.0\\nmetadata:\\nforged=\\\"yes\\\"\"", lines[4]);
  size_t modules = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NE(0u, lines[i].find("forged=")) << "line " << i + 1 << ": " << lines[i];
    if (lines[i] == "Used DLLs:")
      modules = i + 1;
  }
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "metadata:"));
  ASSERT_LT(modules, lines.size());
  EXPECT_EQ(0u, lines[modules].find(base::StringPrintf("%-26s %-46s Base:",
                                                       "main.exe\\r\\nmetadata:",
                                                       "1\\nforged=\"module\"")))
      << lines[modules];
}

// A thread that did not crash is limited to 61440 bytes of dumps; a pointer that another
// thread's dumps already cover costs it nothing.
TEST(TextCrashLogTest, OtherThreadsDumpWithinTheirBudget) {
  TestMemory shared(0x1000);
  TestMemory heap(0x20000);
  TestMemory stack(0x1000);
  const uint64_t shared_pointer = shared.address(0x800);
  for (int i = 0; i < 40; ++i)
    stack.PutSlot(8 * i, heap.address(0x600 + 3000 * i));

  FakeProcessState state;
  FakeThread* crashed = state.AddThread(1, true);
  crashed->registers.rax = shared_pointer;
  crashed->registers.rsp = 0x800;  // Below the first page: no stack to read.
  FakeThread* other = state.AddThread(2, false);
  other->stack_size = 0x1000;
  other->registers.rsp = stack.address(0);
  other->registers.rcx = shared_pointer;

  MemoryRangeSet ranges;
  const std::vector<std::string> lines = WriteAndReadLines(state, CrashLogInfo(), &ranges);
  auto find = [&lines](const std::string& line) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == line)
        return i;
    }
    return lines.size();
  };
  const size_t first = find("ThreadInfo: 00000001");
  ASSERT_LT(first + 4, lines.size());
  EXPECT_EQ("checked_context_values=17 (all)", lines[first + 3]);
  EXPECT_EQ("checked_stack_values=0 (all)", lines[first + 4]);
  const size_t first_stack = find("Stack dump: 00000001");
  ASSERT_LT(first_stack + 2, lines.size());
  EXPECT_EQ("", lines[first_stack + 1]) << "an empty stack dump";
  EXPECT_EQ("Thread: 00000002", lines[first_stack + 2]);

  const size_t second = find("ThreadInfo: 00000002");
  ASSERT_LT(second + 4, lines.size());
  EXPECT_EQ("checked_context_values=17 (all)", lines[second + 3]);
  // 30 pointers of 2048 bytes use the budget up; 56 slots were read (320 used + 128).
  EXPECT_EQ("checked_stack_values=30", lines[second + 4]);
  EXPECT_EQ(31u * 2048, ranges.total());
  EXPECT_EQ(31u, ranges.ranges().size());
}

// Without a known stack size a thread's stack is cut after the deepest frame that its frame
// chain and the stack's own pointers reach, and 128 bytes more.
TEST(TextCrashLogTest, StackOfUnknownSizeEndsAfterItsFrames) {
  TestMemory stack(0x2000);
  const uint64_t start = stack.address(0);
  stack.PutSlot(0x40, start + 0x300);   // RBP's frame leads deeper...
  stack.PutSlot(0x300, start + 0x100);  // ...to one that goes back up: the chain ends.
  stack.PutSlot(0x280, start + 0x500);  // A pointer within the chain's reach goes further.
  stack.PutSlot(0x700, start + 0x900);  // Beyond the limit: not followed.

  FakeProcessState state;
  state.AddThread(1, true)->registers.rsp = 0x800;
  FakeThread* thread = state.AddThread(2, false);
  thread->registers.rsp = start;
  thread->registers.rbp = start + 0x40;
  MemoryRangeSet ranges;
  const std::vector<std::string> lines = WriteAndReadLines(state, CrashLogInfo(), &ranges);
  size_t dump = 0;
  while (dump < lines.size() && lines[dump] != "Stack dump: 00000002")
    ++dump;
  size_t stack_lines = 0;
  while (dump + 1 + stack_lines < lines.size() && !lines[dump + 1 + stack_lines].empty())
    ++stack_lines;
  EXPECT_EQ((0x500u + 128) / 16, stack_lines);
  EXPECT_EQ(0u, ranges.total()) << "pointers into the stack itself are not dumped";
}

TEST(TextCrashLogTest, LeavesOutThreadsFromThe500thUnlessCrashed) {
  FakeProcessState state;
  for (uint32_t id = 1; id <= 600; ++id)
    state.AddThread(id, id == 550);
  MemoryRangeSet ranges;
  const std::vector<std::string> lines = WriteAndReadLines(state, CrashLogInfo(), &ranges);
  std::vector<std::string> threads;
  for (const std::string& line : lines) {
    if (line.compare(0, 8, "Thread: ") == 0)
      threads.push_back(line);
  }
  ASSERT_EQ(500u, threads.size());
  EXPECT_EQ("Thread: 000001F3", threads[498]);  // Thread 499.
  EXPECT_EQ("Thread: 00000226", threads[499]);  // Thread 550, the crashed one.
  EXPECT_EQ("<no name> caused exception 0 at address 000000000000 (Base: 000000000000)",
            lines[1]);
}

TEST(MemoryRangeSetTest, MergesOverlappingAndTouchingRanges) {
  MemoryRangeSet ranges;
  EXPECT_EQ(32u, ranges.Add(0x10000 - 16, 0x10000 + 16));
  // A 2048-byte range covering it absorbs it and adds only what is new.
  EXPECT_EQ(2016u, ranges.Add(0x10000 + 8 - 1024, 0x10000 + 8 + 1024));
  ASSERT_EQ(1u, ranges.ranges().size());
  // One reaching into it from above, one touching it from below, one apart.
  EXPECT_EQ(16u, ranges.Add(0x10000 + 1016, 0x10000 + 1048));
  EXPECT_EQ(16u, ranges.Add(0x10000 + 8 - 1040, 0x10000 + 8 - 1024));
  EXPECT_EQ(16u, ranges.Add(0x20000, 0x20010));
  EXPECT_EQ(0u, ranges.Add(0x20000, 0x20008));
  ASSERT_EQ(2u, ranges.ranges().size());
  EXPECT_EQ(0x10000u + 8 - 1040, ranges.ranges().begin()->first);
  EXPECT_EQ(0x10000u + 1048, ranges.ranges().begin()->second);
  EXPECT_EQ(2080u + 16u, ranges.total());
  // One bridging both.
  EXPECT_EQ(0x20000u - (0x10000 + 1048), ranges.Add(0x10000, 0x20000));
  ASSERT_EQ(1u, ranges.ranges().size());
  EXPECT_EQ(ranges.ranges().begin()->second - ranges.ranges().begin()->first, ranges.total());
  ranges.Clear();
  EXPECT_EQ(0u, ranges.total());
  EXPECT_TRUE(ranges.ranges().empty());
}

TEST(TextCrashLogChild, DISABLED_Crash) {
  if (base::test::IsChildTest())
    test::RunCrashingChild();
}

TEST(TextCrashLogTest, DescribesARealCrashedProcess) {
  test::CrashedChild child;
  ASSERT_TRUE(child.Start("TextCrashLogChild.DISABLED_Crash"));
  ProcessStateImpl state;
  ASSERT_TRUE(state.Init(child.pid(), child.info().exception_pointers_address,
                         child.info().thread_id_address, {}));
  CrashLogInfo info;
  info.version = "1.0.0.1";
  info.build_number = "1";
  MemoryRangeSet ranges;
  const std::vector<std::string> lines = WriteAndReadLines(state, info, &ranges);
  ASSERT_GT(lines.size(), 20u);

  base::FilePath program;
  ASSERT_TRUE(base::win::GetExecutablePath(&program));
  const std::string name = base::Utf16ToUtf8(program.BaseName().value());
  EXPECT_EQ("TAVRO-CRASHLOG V1 desktop 1.0.0.1 1 windows x64 release", lines[0]);
  EXPECT_EQ(name + " caused exception C0000005 at address " +
                Address(state.GetExceptionAddress()) + " (Base: " +
                Address(state.GetMainModule()->GetBaseAddress()) + ")",
            lines[1]);
  EXPECT_EQ(base::StringPrintf("Thread: %08X", child.info().crashed_thread_id), lines[3]);
  EXPECT_EQ("Crashed=1", lines[7]);
  size_t thread_count = 0;
  bool found_module = false;
  bool found_dumps = false;
  for (const std::string& line : lines) {
    thread_count += line.compare(0, 8, "Thread: ") == 0;
    found_module |= line.compare(0, name.size() + 1, name + " ") == 0;
    found_dumps |= line == "Memory dumps:";
  }
  EXPECT_EQ(state.GetThreads().size(), thread_count);
  EXPECT_TRUE(found_module);
  EXPECT_TRUE(found_dumps);
  EXPECT_GT(ranges.total(), 0u);
}

}  // namespace
}  // namespace crash_reporter
