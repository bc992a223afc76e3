#include "base/test/folder_link.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/logging.h"

namespace base {
namespace test {

namespace {

// Wine's own conversions between its drive paths and Unix paths (kernel32 exports of Wine
// only); both allocate on the process heap.
using ToUnixPath = char*(CDECL*)(const wchar_t* dos_path);
using ToDosPath = wchar_t*(CDECL*)(const char* unix_path);

ToUnixPath GetToUnixPath() {
  return reinterpret_cast<ToUnixPath>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
}

// |path| as the Unix path Wine keeps it under, in UTF-16; empty when there is none.
std::wstring WineUnixPath(const FilePath& path) {
  const ToUnixPath to_unix = GetToUnixPath();
  char* unix_path = to_unix ? to_unix(path.value().c_str()) : nullptr;
  if (!unix_path)
    return std::wstring();
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, unix_path, -1, nullptr, 0);
  std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
  if (length > 1)
    ::MultiByteToWideChar(CP_UTF8, 0, unix_path, -1, &wide[0], length);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return wide;
}

DWORD GetAttributes(const FilePath& path) {
  return ::GetFileAttributesW(path.value().c_str());
}

bool IsLink(const FilePath& path) {
  const DWORD attributes = GetAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Runs the Unix program |program| with |arguments| (each quoted) and waits, up to 10 s,
// until |done| holds: Wine gives no handle to wait on for a Unix program.
bool RunUnixProgram(const char* program,
                    const std::vector<std::wstring>& arguments,
                    const std::function<bool()>& done) {
  const auto to_dos = reinterpret_cast<ToDosPath>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"));
  wchar_t* dos_program = to_dos ? to_dos(program) : nullptr;
  if (!dos_program)
    return false;
  std::wstring command = L"\"" + std::wstring(dos_program) + L"\"";
  ::HeapFree(::GetProcessHeap(), 0, dos_program);
  for (const std::wstring& argument : arguments)
    command += L" \"" + argument + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    PLOG(ERROR) << "Cannot run " << command;
    return false;
  }
  if (started.hProcess)
    ::CloseHandle(started.hProcess);
  if (started.hThread)
    ::CloseHandle(started.hThread);
  for (int waited_ms = 0; waited_ms < 10000; waited_ms += 10) {
    if (done())
      return true;
    ::Sleep(10);
  }
  LOG(ERROR) << "What " << command << " was to do did not happen";
  return false;
}

}  // namespace

ScopedFolderLink::ScopedFolderLink() = default;

ScopedFolderLink::~ScopedFolderLink() {
  if (link_.empty())
    return;
  if (unix_link_.empty()) {
    ::RemoveDirectoryW(link_.value().c_str());
    return;
  }
  RunUnixProgram("/bin/rm", {unix_link_},
                 [this] { return GetAttributes(link_) == INVALID_FILE_ATTRIBUTES; });
}

bool ScopedFolderLink::Make(const FilePath& link, const FilePath& target) {
  DCHECK(link_.empty());
  // Wine 8 reports success without making the link.
  if (::CreateSymbolicLinkW(link.value().c_str(), target.value().c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY |
                                SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
      IsLink(link)) {
    link_ = link;
    return true;
  }
  const std::wstring unix_link = WineUnixPath(link);
  const std::wstring unix_target = WineUnixPath(target);
  if (unix_link.empty() || unix_target.empty() ||
      !RunUnixProgram("/bin/ln", {L"-s", unix_target, unix_link},
                      [&link] { return IsLink(link); })) {
    return false;
  }
  link_ = link;
  unix_link_ = unix_link;
  return true;
}

}  // namespace test
}  // namespace base
