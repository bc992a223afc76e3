#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_WININET_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_WININET_UTIL_H_

#include <stdint.h>

#include <string>

namespace installer {

// Small pieces shared by every WinINet client. They need no <wininet.h> of their caller.

struct ParsedUrl {
  std::wstring host;
  uint16_t port = 0;
  std::wstring path;  // With the query; at least "/".
  bool secure = false;
};

// Splits an http or https address. False for anything else, or an address without a host.
bool ParseHttpUrl(const std::wstring& url, ParsedUrl* parsed);

// "<operation> failed: <system text> (<code>)"; WinINet's own errors get wininet.dll's text.
std::string DescribeWinInetError(const char* operation, unsigned long error);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_WININET_UTIL_H_
