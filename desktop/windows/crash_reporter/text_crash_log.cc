#include "desktop/windows/crash_reporter/text_crash_log.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <limits>
#include <memory>

#include "base/files/file_util.h"
#include "base/files/scoped_file.h"
#include "base/logging.h"
#include "desktop/windows/crash_reporter/crash_folders.h"

namespace crash_reporter {

namespace {

// Bytes of memory dumped around pointers, over the whole log: 600 KiB keeps the zipped log
// a small upload from a machine that just crashed, and is still room for the neighbourhood
// of several hundred pointers.
constexpr uint64_t kLogBudgetBytes = 600 * 1024;
// Bytes each thread other than the crashed one may add to those dumps: a tenth of the log,
// so that the first threads cannot use up what later ones need.
constexpr uint64_t kThreadBudgetBytes = 60 * 1024;
// The crashed thread's pointers: every one of them matters, so it has no limit.
constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max();
// Threads written, the crashed one always among them: a runaway thread count must not make
// the log (and its upload) grow without end.
constexpr size_t kMaxThreads = 500;
// Bytes read from the top of a stack: the few frames nearest the crash, in two pages.
constexpr size_t kMaxStackBytes = 8192;
// Bytes of the crashed thread's stack read even when its stack is reported smaller: a stack
// size read from a damaged process may be wrong, and these frames are the ones that matter.
constexpr size_t kMinCrashedStackBytes = 512;
// Bytes of a stack always kept when its frame chain is cut short (frame pointers omitted).
constexpr size_t kMinFrameLimitBytes = 512;
// Bytes kept past the last frame or the last used byte: the caller's arguments and spills.
constexpr size_t kStackTailBytes = 128;
// The system's page size in bytes: memory is readable or not page by page.
constexpr uint64_t kPageBytes = 4096;
// Addresses below the first page are never a stack: the first page is never mapped.
constexpr uint64_t kLowestStackAddress = 4096;
// Bytes dumped on either side of a pointer into code (the instructions around it) and of
// any other pointer (the object it points into and its neighbours).
constexpr uint64_t kCodeRadiusBytes = 16;
constexpr uint64_t kDataRadiusBytes = 1024;

// The register table: where each printed value lies in ThreadRegisters, with its width in
// the low two bits. Its order is the order of the register block; the first 17 entries are
// the registers searched for pointers.
enum Width : uint16_t { k64 = 0, k16 = 1, k32 = 2 };
#define REGISTER(field, width) static_cast<uint16_t>(offsetof(ThreadRegisters, field) | width)
constexpr uint16_t kRegisterTable[] = {
    REGISTER(rax, k64), REGISTER(rbx, k64), REGISTER(rcx, k64), REGISTER(rdx, k64),
    REGISTER(rsi, k64), REGISTER(rdi, k64), REGISTER(r8, k64),  REGISTER(r9, k64),
    REGISTER(r10, k64), REGISTER(r11, k64), REGISTER(r12, k64), REGISTER(r13, k64),
    REGISTER(r14, k64), REGISTER(r15, k64), REGISTER(rbp, k64), REGISTER(rsp, k64),
    REGISTER(rip, k64), REGISTER(eflags, k32),
    REGISTER(st[0].sign_exponent, k16), REGISTER(st[0].significand, k64),
    REGISTER(st[1].sign_exponent, k16), REGISTER(st[1].significand, k64),
    REGISTER(st[2].sign_exponent, k16), REGISTER(st[2].significand, k64),
    REGISTER(st[3].sign_exponent, k16), REGISTER(st[3].significand, k64),
    REGISTER(st[4].sign_exponent, k16), REGISTER(st[4].significand, k64),
    REGISTER(st[5].sign_exponent, k16), REGISTER(st[5].significand, k64),
    REGISTER(st[6].sign_exponent, k16), REGISTER(st[6].significand, k64),
    REGISTER(st[7].sign_exponent, k16), REGISTER(st[7].significand, k64),
    REGISTER(status_word, k32), REGISTER(control_word, k32),
    REGISTER(xmm[0].high, k64),  REGISTER(xmm[0].low, k64),
    REGISTER(xmm[1].high, k64),  REGISTER(xmm[1].low, k64),
    REGISTER(xmm[2].high, k64),  REGISTER(xmm[2].low, k64),
    REGISTER(xmm[3].high, k64),  REGISTER(xmm[3].low, k64),
    REGISTER(xmm[4].high, k64),  REGISTER(xmm[4].low, k64),
    REGISTER(xmm[5].high, k64),  REGISTER(xmm[5].low, k64),
    REGISTER(xmm[6].high, k64),  REGISTER(xmm[6].low, k64),
    REGISTER(xmm[7].high, k64),  REGISTER(xmm[7].low, k64),
    REGISTER(xmm[8].high, k64),  REGISTER(xmm[8].low, k64),
    REGISTER(xmm[9].high, k64),  REGISTER(xmm[9].low, k64),
    REGISTER(xmm[10].high, k64), REGISTER(xmm[10].low, k64),
    REGISTER(xmm[11].high, k64), REGISTER(xmm[11].low, k64),
    REGISTER(xmm[12].high, k64), REGISTER(xmm[12].low, k64),
    REGISTER(xmm[13].high, k64), REGISTER(xmm[13].low, k64),
    REGISTER(xmm[14].high, k64), REGISTER(xmm[14].low, k64),
    REGISTER(xmm[15].high, k64), REGISTER(xmm[15].low, k64),
};
#undef REGISTER
constexpr size_t kRegisterCount = sizeof(kRegisterTable) / sizeof(kRegisterTable[0]);
constexpr size_t kPointerRegisters = 17;
static_assert(kRegisterCount == 68, "the register block prints 68 table values");
static_assert(sizeof(ThreadRegisters) < 0x10000 && offsetof(ThreadRegisters, xmm) % 4 == 0,
              "table positions are 16-bit multiples of 4");

uint64_t RegisterValue(const ThreadRegisters& registers, size_t index) {
  const uint16_t entry = kRegisterTable[index];
  const uint8_t* field = reinterpret_cast<const uint8_t*>(&registers) + (entry & ~3u);
  switch (entry & 3) {
    case k16: {
      uint16_t value;
      memcpy(&value, field, sizeof(value));
      return value;
    }
    case k32: {
      uint32_t value;
      memcpy(&value, field, sizeof(value));
      return value;
    }
    default: {
      uint64_t value;
      memcpy(&value, field, sizeof(value));
      return value;
    }
  }
}

unsigned long long U(uint64_t value) {
  return static_cast<unsigned long long>(value);
}

bool InRegion(const MemoryReader::Region& region, uint64_t value) {
  return value >= region.start && value - region.start < region.size;
}

uint64_t ReadSlot(const MemoryReader::Region& region, size_t offset) {
  uint64_t value;
  memcpy(&value, region.data + offset, sizeof(value));
  return value;
}

// Reads the top of a thread's stack into |reader|'s region and trims it to what matters:
// the bytes up to the last non-zero one when the stack's size is known, else (for threads
// that did not crash) up to the deepest frame the frame chain and the stack's own pointers
// lead to.
void ReadStackRegion(const ThreadInfo& thread, MemoryReader* reader) {
  MemoryReader::Region& region = reader->region();
  region = MemoryReader::Region();
  const ThreadRegisters& registers = thread.GetRegisters();
  const uint64_t start = registers.rsp & ~static_cast<uint64_t>(3);
  const uint64_t stack_size = thread.GetStackSize();
  uint64_t length = stack_size == 0 || stack_size > kMaxStackBytes ? kMaxStackBytes : stack_size;
  if (thread.IsCrashed() && length < kMinCrashedStackBytes)
    length = kMinCrashedStackBytes;
  if (start < kLowestStackAddress)
    return;

  uint64_t end = start + length;
  const uint8_t* data = nullptr;
  size_t read = 0;
  while (end > start) {
    data = reader->Read(start, static_cast<size_t>(end - start), &read);
    if (data)
      break;
    // Unreadable memory ends the stack: retry up to the page boundary below the end.
    end = end % kPageBytes ? end - end % kPageBytes : end - kPageBytes;
  }
  if (!data)
    return;

  size_t keep = read;
  if (stack_size != 0) {
    size_t used = read;
    while (used > 0 && data[used - 1] == 0)
      --used;
    keep = ((used + 7) & ~static_cast<size_t>(7)) + kStackTailBytes;
  } else if (!thread.IsCrashed()) {
    const MemoryReader::Region bytes = {data, start, read};
    size_t limit = 0;
    uint64_t frame = registers.rbp;
    while (frame % 8 == 0 && frame >= start && frame - start + 8 <= read) {
      limit = static_cast<size_t>(frame - start);
      const uint64_t next = ReadSlot(bytes, limit);
      if (next <= frame)
        break;
      frame = next;
    }
    if (limit < kMinFrameLimitBytes)
      limit = kMinFrameLimitBytes;
    for (size_t offset = 0; offset + 16 <= read && offset <= limit; offset += 8) {
      const uint64_t value = ReadSlot(bytes, offset);
      if (value % 8 == 0 && InRegion(bytes, value) && value - start > limit)
        limit = static_cast<size_t>(value - start);
    }
    keep = limit + kStackTailBytes;
  }
  region.data = data;
  region.start = start;
  region.size = keep < read ? keep : read;
}

// The budget of pointer bytes that a thread's pointers may add to the dumps.
uint64_t ThreadBudget(const MemoryRangeSet& ranges, bool crashed, bool last) {
  if (crashed)
    return kUnlimited;
  if (ranges.total() >= kLogBudgetBytes)
    return 0;
  const uint64_t rest = kLogBudgetBytes - ranges.total();
  if (rest > kThreadBudgetBytes)
    return kThreadBudgetBytes;
  return last ? rest : rest / 2;
}

// Adds the memory around |value| (32 bytes in a module's code, else 2048) to the ranges.
void AddMemoryAround(uint64_t value,
                     const ProcessState& state,
                     MemoryRangeSet* ranges,
                     uint64_t* budget) {
  if (value == 0 || !state.IsReadable(value))
    return;
  uint64_t radius = kDataRadiusBytes;
  for (const auto& module : state.GetModules()) {
    const uint64_t code_size = module->GetCodeSize();
    if (code_size != 0 && value >= module->GetCodeBase() &&
        value - module->GetCodeBase() < code_size) {
      radius = kCodeRadiusBytes;
      break;
    }
  }
  const uint64_t start = value > radius ? value - radius : 0;
  const uint64_t end = value < kUnlimited - radius ? value + radius : kUnlimited;
  const uint64_t added = ranges->Add(start, end);
  *budget = added >= *budget ? 0 : *budget - added;
}

bool WriteCharacters(FILE* file, const uint8_t* bytes, size_t count) {
  char text[18];
  size_t length = 0;
  text[length++] = ' ';
  for (size_t i = 0; i < count; ++i)
    text[length++] = bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : '.';
  text[length++] = '\n';
  return fwrite(text, 1, length, file) == length;
}

bool WriteHeader(FILE* file, const ProcessState& state, const CrashLogInfo& info) {
  const ModuleInfo* main = state.GetMainModule();
  char code[9];
  const char* description = state.GetExceptionDescription();
  if (!description) {
    snprintf(code, sizeof(code), "%X", state.GetExceptionCode());
    description = code;
  }
  // The version and build number come from the client's crash keys, the module names from
  // its memory.
  return fprintf(file, "TAVRO-CRASHLOG V1 desktop%s %s %s windows x64 release\n",
                 EscapeLineBreaks(info.product_suffix).c_str(),
                 EscapeLineBreaks(info.version).c_str(),
                 EscapeLineBreaks(info.build_number).c_str()) >= 0 &&
         fprintf(file, "%s caused exception %s at address %012llX ",
                 main ? EscapeLineBreaks(main->GetName()).c_str() : "<no name>", description,
                 U(state.GetExceptionAddress())) >= 0 &&
         fprintf(file, "(Base: %012llX)", U(main ? main->GetBaseAddress() : 0)) >= 0 &&
         fputs("\n", file) >= 0;
}

bool WriteMetadata(FILE* file, const CrashLogInfo& info) {
  if (info.metadata.empty())
    return true;
  return fputs("\nmetadata:\n", file) >= 0 && WriteMetadataLines(file, info, "\n");
}

bool WriteRegisters(FILE* file, const ThreadInfo& thread) {
  const ThreadRegisters& registers = thread.GetRegisters();
  unsigned long long v[kRegisterCount];
  for (size_t i = 0; i < kRegisterCount; ++i)
    v[i] = RegisterValue(registers, i);
  const unsigned long long id = thread.GetThreadId();
  return fprintf(
             file,
             "\nRegisters: %08llX\n"
             "RAX=%016llX   RBX=%016llX   RCX=%016llX\n"
             "RDX=%016llX   RSI=%016llX   RDI=%016llX\n"
             " R8=%016llX    R9=%016llX   R10=%016llX\n"
             "R11=%016llX   R12=%016llX   R13=%016llX\n"
             "R14=%016llX   R15=%016llX   RBP=%016llX\n"
             "RSP=%016llX   RIP=%016llX FLAGS=%08llX\n"
             "\nFPU stack: %08llX\n"
             "st(0)=%04llX%016llX st(1)=%04llX%016llX st(2)=%04llX%016llX\n"
             "st(3)=%04llX%016llX st(4)=%04llX%016llX st(5)=%04llX%016llX\n"
             "st(6)=%04llX%016llX st(7)=%04llX%016llX SW=%04llX CW=%04llX\n"
             " XMM0=%016llX%016llX  XMM1=%016llX%016llX\n"
             " XMM2=%016llX%016llX  XMM3=%016llX%016llX\n"
             " XMM4=%016llX%016llX  XMM5=%016llX%016llX\n"
             " XMM6=%016llX%016llX  XMM7=%016llX%016llX\n"
             " XMM8=%016llX%016llX  XMM9=%016llX%016llX\n"
             "XMM10=%016llX%016llX XMM11=%016llX%016llX\n"
             "XMM12=%016llX%016llX XMM13=%016llX%016llX\n"
             "XMM14=%016llX%016llX XMM15=%016llX%016llX\n",
             id, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11],
             v[12], v[13], v[14], v[15], v[16], v[17], id, v[18], v[19], v[20], v[21], v[22],
             v[23], v[24], v[25], v[26], v[27], v[28], v[29], v[30], v[31], v[32], v[33], v[34],
             v[35], v[36], v[37], v[38], v[39], v[40], v[41], v[42], v[43], v[44], v[45], v[46],
             v[47], v[48], v[49], v[50], v[51], v[52], v[53], v[54], v[55], v[56], v[57], v[58],
             v[59], v[60], v[61], v[62], v[63], v[64], v[65], v[66], v[67]) >= 0;
}

bool WriteStackDump(FILE* file, const ThreadInfo& thread, const MemoryReader::Region& region) {
  if (fprintf(file, "\nStack dump: %08X\n", thread.GetThreadId()) < 0)
    return false;
  uint64_t marker = thread.GetRegisters().rbp;
  for (size_t line = 0; line < region.size; line += 16) {
    const uint64_t address = region.start + line;
    if (fprintf(file, "%012llX ", U(address)) < 0)
      return false;
    for (size_t column = line; column < line + 16; column += 8) {
      if (column + 8 > region.size) {
        if (fputs("                  ", file) < 0)
          return false;
        continue;
      }
      const uint64_t column_address = region.start + column;
      const uint64_t value = ReadSlot(region, column);
      if (fprintf(file, "%c%016llX ", column_address == marker ? '>' : ' ', U(value)) < 0)
        return false;
      if (column_address == marker)
        marker = value;
    }
    const size_t count = region.size - line < 16 ? region.size - line : 16;
    if (!WriteCharacters(file, region.data + line, count))
      return false;
  }
  return true;
}

bool WriteThreads(FILE* file, const ProcessState& state, MemoryRangeSet* ranges) {
  const ThreadList& threads = state.GetThreads();
  for (size_t i = 0; i < threads.size(); ++i) {
    const ThreadInfo& thread = *threads[i];
    if (i + 1 >= kMaxThreads && !thread.IsCrashed())
      continue;
    std::unique_ptr<MemoryReader> reader = state.CreateMemoryReader();
    if (!reader)
      return false;
    ReadStackRegion(thread, reader.get());
    const MemoryReader::Region& region = reader->region();

    uint64_t budget = ThreadBudget(*ranges, thread.IsCrashed(), i + 1 == threads.size());
    size_t checked_registers = 0;
    for (size_t r = 0; r < kPointerRegisters && budget != 0; ++r) {
      ++checked_registers;
      const uint64_t value = RegisterValue(thread.GetRegisters(), r);
      if (!InRegion(region, value))
        AddMemoryAround(value, state, ranges, &budget);
    }
    size_t checked_slots = 0;
    for (size_t offset = 0; offset + 8 <= region.size && budget != 0; offset += 8) {
      ++checked_slots;
      const uint64_t value = ReadSlot(region, offset);
      if (!InRegion(region, value))
        AddMemoryAround(value, state, ranges, &budget);
    }

    if (fprintf(file, "\nThread: %08X\n", thread.GetThreadId()) < 0 ||
        fprintf(file,
                "\nThreadInfo: %08X\nPriority=%08X\nCrashed=%d\n"
                "checked_context_values=%llu%s\nchecked_stack_values=%llu%s\n",
                thread.GetThreadId(), static_cast<unsigned>(thread.GetPriority()),
                thread.IsCrashed() ? 1 : 0, U(checked_registers),
                checked_registers == kPointerRegisters ? " (all)" : "", U(checked_slots),
                checked_slots == region.size / 8 ? " (all)" : "") < 0 ||
        !WriteRegisters(file, thread) || !WriteStackDump(file, thread, region)) {
      return false;
    }
  }
  return true;
}

bool WriteModules(FILE* file, const ProcessState& state) {
  if (fputs("\nUsed DLLs:\n", file) < 0)
    return false;
  for (const auto& module : state.GetModules()) {
    fprintf(file, "%-26s %-46s Base: %012llX Size: %08X Timestamp: %08X\n",
            EscapeLineBreaks(module->GetName()).c_str(),
            EscapeLineBreaks(module->GetVersion()).c_str(), U(module->GetBaseAddress()),
            module->GetSize(), module->GetTimestamp());
  }
  return true;
}

bool WriteMemoryDumps(FILE* file, const ProcessState& state, const MemoryRangeSet& ranges) {
  if (fputs("\nMemory dumps:\n", file) < 0)
    return false;
  std::unique_ptr<MemoryReader> reader = state.CreateMemoryReader();
  if (!reader)
    return false;
  const MemoryRangeSet::Ranges& list = ranges.ranges();
  for (auto it = list.begin(); it != list.end(); ++it) {
    uint64_t start = it->first;
    uint64_t end = it->second;
    if (!state.IsReadable(start))
      start = (start | (kPageBytes - 1)) + 1;
    if (!state.IsReadable(end))
      end &= ~(kPageBytes - 1);
    if (start >= end)
      continue;
    size_t read = 0;
    const uint8_t* bytes = reader->Read(start, static_cast<size_t>(end - start), &read);
    for (size_t line = 0; bytes && line < read; line += 16) {
      if (fprintf(file, "%012llX", U(start + line)) < 0)
        return false;
      char hex[16 * 4 + 1];
      size_t length = 0;
      for (size_t column = 0; column < 16; ++column) {
        hex[length++] = ' ';
        if (column % 4 == 0)
          hex[length++] = ' ';
        if (line + column < read) {
          snprintf(hex + length, 3, "%02X", bytes[line + column]);
        } else {
          hex[length] = ' ';
          hex[length + 1] = ' ';
        }
        length += 2;
      }
      const size_t count = read - line < 16 ? read - line : 16;
      if (fwrite(hex, 1, length, file) != length ||
          !WriteCharacters(file, bytes + line, count)) {
        return false;
      }
    }
    if (std::next(it) != list.end() && fputs("\n", file) < 0)
      return false;
  }
  return true;
}

}  // namespace

bool WriteTextCrashLog(MemoryRangeSet* ranges,
                       const ProcessState& state,
                       const CrashLogInfo& info,
                       const base::FilePath& path) {
  ranges->Clear();
  base::ScopedFILE file = OpenCrashFile(path, "w");
  if (!file)
    return false;
  const bool written = WriteHeader(file.get(), state, info) && WriteMetadata(file.get(), info) &&
                       WriteThreads(file.get(), state, ranges) &&
                       WriteModules(file.get(), state) &&
                       WriteMemoryDumps(file.get(), state, *ranges);
  const bool closed = fclose(file.release()) == 0;
  if (!written || !closed) {
    LOG(ERROR) << "Cannot write the crash log " << path;
    base::DeletePath(path, false);
    return false;
  }
  return true;
}

}  // namespace crash_reporter
