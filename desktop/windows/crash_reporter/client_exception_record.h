#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_EXCEPTION_RECORD_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_EXCEPTION_RECORD_H_

#include <stddef.h>
#include <stdint.h>

namespace crash_reporter {

// What a crashing crash reporter keeps about its crash in its own memory, for the process
// that reports it to read with ReadProcessMemory: a wire layout (x64, little-endian).
struct ClientExceptionRecord {
  enum Type : uint32_t {
    kUnhandledException = 0,
    kInvalidParameter = 1,
    kPureCall = 2,
  };

  uint32_t thread_id;
  uint32_t padding;
  uint64_t exception_pointers;  // EXCEPTION_POINTERS* in the crashed process.
  // The assertion block: what an invalid-parameter call reported, and the record type.
  wchar_t expression[128];
  wchar_t function[128];
  wchar_t file[128];
  uint32_t line;
  uint32_t type;
};

constexpr size_t kAssertionBlockOffset = offsetof(ClientExceptionRecord, expression);
constexpr size_t kAssertionBlockSize = sizeof(ClientExceptionRecord) - kAssertionBlockOffset;

static_assert(sizeof(wchar_t) == 2, "the record holds UTF-16 text");
static_assert(offsetof(ClientExceptionRecord, exception_pointers) == 8, "record layout");
static_assert(offsetof(ClientExceptionRecord, line) == 784, "record layout");
static_assert(sizeof(ClientExceptionRecord) == 792, "record layout");
static_assert(kAssertionBlockSize == 776, "record layout");

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_EXCEPTION_RECORD_H_
