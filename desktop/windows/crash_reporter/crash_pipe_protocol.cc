#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"

#include <stdio.h>

namespace crash_reporter {

namespace {

// Both names are a prefix and a decimal id in a buffer of 38 characters; the longest id
// fits, so an empty result means the formatting itself failed.
std::wstring FormatNameWithId(const wchar_t* prefix, DWORD id) {
  wchar_t name[38];
  const int length = _snwprintf(name, sizeof(name) / sizeof(name[0]), L"%s%lu", prefix,
                                static_cast<unsigned long>(id));
  if (length < 0 || length >= static_cast<int>(sizeof(name) / sizeof(name[0])))
    return std::wstring();
  return std::wstring(name, static_cast<size_t>(length));
}

}  // namespace

std::wstring MakeCrashPipeName(DWORD reporter_pid) {
  return FormatNameWithId(L"\\\\.\\pipe\\TavroCrashReporter", reporter_pid);
}

std::wstring MakeReporterInitEventName(DWORD parent_pid) {
  return FormatNameWithId(L"TavroCrashReporterInitEvent", parent_pid);
}

void CopyTextTruncated(const wchar_t* text, wchar_t* destination, size_t capacity) {
  if (capacity == 0)
    return;
  size_t length = 0;
  if (text) {
    for (; length + 1 < capacity && text[length]; ++length)
      destination[length] = text[length];
  }
  destination[length] = L'\0';
}

std::wstring GuidToWideString(const GUID& guid) {
  wchar_t text[37];
  _snwprintf(text, 37, L"%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
             guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
             guid.Data4[6], guid.Data4[7]);
  text[36] = L'\0';
  return std::wstring(text);
}

}  // namespace crash_reporter
