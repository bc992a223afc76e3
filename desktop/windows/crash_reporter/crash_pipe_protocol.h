#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_PROTOCOL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_PROTOCOL_H_

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include <string>

// The crash pipe between an installer process (the client) and its crash reporter (the
// server), and the records the server reads out of the client's memory. Every structure here
// is a wire format: the layouts are fixed, little-endian, and the same in both processes.

namespace crash_reporter {

// "\\.\pipe\TavroCrashReporter" and the reporter's process id.
std::wstring MakeCrashPipeName(DWORD reporter_pid);
// "TavroCrashReporterInitEvent" and the id of the process that started the reporter: the
// reporter sets it once its pipe is listening.
std::wstring MakeReporterInitEventName(DWORD parent_pid);

enum MessageTag : uint32_t {
  MESSAGE_TAG_NONE = 0,
  MESSAGE_TAG_REGISTRATION_REQUEST = 1,
  MESSAGE_TAG_REGISTRATION_RESPONSE = 2,
  MESSAGE_TAG_REGISTRATION_ACK = 3,
  MESSAGE_TAG_UPLOAD_REQUEST = 4,
};

// Every message of the pipe, in both directions. Addresses and handles are those of the
// client process.
struct ProtocolMessage {
  uint32_t tag;
  // Request: the client's process id; response: the server's; acknowledgement: 0.
  uint32_t id;
  uint32_t dump_type;  // MINIDUMP_TYPE flags.
  uint32_t padding;
  uint64_t thread_id_address;            // u32 id of the crashing thread.
  uint64_t exception_pointers_address;   // EXCEPTION_POINTERS* of the crash.
  uint64_t assertion_address;            // AssertionInfo.
  uint64_t custom_info_entries_address;  // CustomInfoEntry[custom_info_count].
  uint64_t custom_info_count;
  uint64_t dump_requested_handle;
  uint64_t dump_generated_handle;
  uint64_t server_alive_handle;
};
static_assert(sizeof(ProtocolMessage) == 80, "the crash pipe message is 80 bytes");
static_assert(offsetof(ProtocolMessage, thread_id_address) == 16, "wire layout");
static_assert(offsetof(ProtocolMessage, server_alive_handle) == 72, "wire layout");

enum AssertionType : uint32_t {
  ASSERTION_NONE = 0,
  ASSERTION_INVALID_PARAMETER = 1,
  ASSERTION_PURE_VIRTUAL_CALL = 2,
};

// The client's description of a C runtime failure; the layout of the minidump assertion
// stream.
struct AssertionInfo {
  static constexpr size_t kTextLength = 128;
  wchar_t expression[kTextLength];
  wchar_t function[kTextLength];
  wchar_t file[kTextLength];
  uint32_t line;
  uint32_t type;  // AssertionType.
};
static_assert(sizeof(AssertionInfo) == 776, "the assertion block is 776 bytes");

// One named text value of the client (its crash keys).
struct CustomInfoEntry {
  static constexpr size_t kNameLength = 64;
  static constexpr size_t kValueLength = 64;
  wchar_t name[kNameLength];
  wchar_t value[kValueLength];
};
static_assert(sizeof(CustomInfoEntry) == 256, "a custom information entry is 256 bytes");

struct CustomClientInfo {
  const CustomInfoEntry* entries = nullptr;
  size_t count = 0;
};

// Minidump user streams that both dump writers add.
constexpr ULONG32 kRequesterStreamType = 0x47670001;
constexpr ULONG32 kAssertionStreamType = 0x47670002;

// Which thread wrote the dump and which thread asked for it.
struct RequesterStream {
  static constexpr uint32_t kThreadIdsValid = 3;
  uint32_t validity;
  uint32_t dump_thread_id;
  uint32_t requesting_thread_id;
};
static_assert(sizeof(RequesterStream) == 12, "the requester stream is 12 bytes");

// |text| copied into |destination| (|capacity| units), cut to capacity - 1 and always
// NUL-terminated; null copies as empty. Safe on a crashing thread: no allocation.
void CopyTextTruncated(const wchar_t* text, wchar_t* destination, size_t capacity);

// "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x" of |guid|: 36 lower-case characters.
std::wstring GuidToWideString(const GUID& guid);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_PROTOCOL_H_
