#include "desktop/windows/installer/wininet/wininet_util.h"

#include <windows.h>

#include <wininet.h>

#include <string_view>

#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_local_alloc.h"

namespace installer {

namespace {

// The system's text for |error|: WinINet's own messages live in wininet.dll.
std::string GetErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE module = nullptr;
  if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST) {
    module = ::GetModuleHandleW(L"wininet.dll");
    if (module)
      flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  const DWORD length =
      ::FormatMessageW(flags, module, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  base::win::ScopedLocalAllocTyped<wchar_t> owned_buffer(buffer);
  if (length == 0)
    return "unknown error";
  std::wstring_view text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.remove_suffix(1);
  }
  return base::Utf16ToUtf8(text);
}

}  // namespace

bool ParseHttpUrl(const std::wstring& url, ParsedUrl* parsed) {
  URL_COMPONENTSW components = {};
  components.dwStructSize = sizeof(components);
  components.dwSchemeLength = 1;
  components.dwHostNameLength = 1;
  components.dwUrlPathLength = 1;
  components.dwExtraInfoLength = 1;
  if (url.empty() || !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0,
                                          &components)) {
    return false;
  }
  if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS)
    return false;
  if (!components.lpszHostName || components.dwHostNameLength == 0)
    return false;
  parsed->host.assign(components.lpszHostName, components.dwHostNameLength);
  parsed->port = components.nPort;
  parsed->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  parsed->path.clear();
  if (components.lpszUrlPath)
    parsed->path.assign(components.lpszUrlPath, components.dwUrlPathLength);
  if (components.lpszExtraInfo)
    parsed->path.append(components.lpszExtraInfo, components.dwExtraInfoLength);
  if (parsed->path.empty() || parsed->path[0] != L'/')
    parsed->path.insert(0, L"/");
  return true;
}

std::string DescribeWinInetError(const char* operation, unsigned long error) {
  return base::StringPrintf("%s failed: %s (%lu)", operation, GetErrorText(error).c_str(), error);
}

}  // namespace installer
