// Stands in for a copy of a system DLL that someone put beside installer.exe. Loading it
// leaves "<its own path>.loaded" beside it, for the test to find, and then fails.

#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason != DLL_PROCESS_ATTACH)
    return TRUE;
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const std::wstring marker = std::wstring(path, length) + L".loaded";
    const HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      ::CloseHandle(file);
  }
  return FALSE;
}
