#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_

#include <string>
#include <string_view>
#include <vector>

#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/process_state_impl.h"

// Lookups in the crash keys of a crashed client, as the dump server copied them (every name
// and value NUL-terminated within its field). Several entries may carry one name: a long
// value spread over several slots. Names compare whole and exactly, over at most 64
// characters.

namespace crash_reporter {

// The text of a name or value field: up to its NUL, at most the field's length.
std::wstring_view CrashKeyText(const wchar_t* field, size_t field_length);

// The first entry named |name|, or null.
const CustomInfoEntry* FindCrashKey(const CustomClientInfo& keys, std::wstring_view name);
// The first entry's value; false when no entry has the name.
bool GetCrashKeyValue(const CustomClientInfo& keys, std::wstring_view name, std::wstring* value);
// The values of every entry named |name|, in slot order; false when that gives nothing.
bool ConcatCrashKeyValues(const CustomClientInfo& keys,
                          std::wstring_view name,
                          std::wstring* value);
// Whether the client's "process_type" is "browser".
bool IsBrowserProcess(const CustomClientInfo& keys);

// The test-automation origin, reported when the client runs under test automation.
inline constexpr wchar_t kTestAutomationOrigin[] = L"Auto";
// kTestAutomationOrigin when "brixel_test" is set, "Brixel" when the "origin" key says so,
// else empty.
std::wstring GetCrashOrigin(const CustomClientInfo& keys);

// The modules of a client's "modules" key ("name:base:size:path::" each, base and size in
// hexadecimal). Parsing stops at the first incomplete entry or bad number; the entries
// before it are kept.
std::vector<ModuleListEntry> ParseModuleList(std::wstring_view text);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_
