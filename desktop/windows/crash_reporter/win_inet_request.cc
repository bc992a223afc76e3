#include "desktop/windows/crash_reporter/win_inet_request.h"

#include <windows.h>

#include <wininet.h>

#include "base/logging.h"
#include "desktop/windows/installer/wininet/wininet_util.h"

namespace crash_reporter {

namespace {

constexpr wchar_t kUserAgent[] = L"Hollet/1.0 (Windows)";

}  // namespace

bool WinInetRequest::Open(const std::wstring& user_agent_suffix,
                          const std::wstring& url,
                          const wchar_t* verb,
                          unsigned long flags) {
  installer::ParsedUrl parsed;
  if (!installer::ParseHttpUrl(url, &parsed)) {
    LOG(ERROR) << "Not an http or https address: " << url;
    return false;
  }
  const std::wstring agent = kUserAgent + user_agent_suffix;
  session_.Set(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session_.IsValid()) {
    LogWinInetError("InternetOpen");
    return false;
  }
  connection_.Set(::InternetConnectW(session_.Get(), parsed.host.c_str(), parsed.port, nullptr,
                                     nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection_.IsValid()) {
    LogWinInetError("InternetConnect");
    return false;
  }
  if (parsed.secure)
    flags |= INTERNET_FLAG_SECURE;
  request_.Set(::HttpOpenRequestW(connection_.Get(), verb, parsed.path.c_str(), nullptr, nullptr,
                                  nullptr, flags, 0));
  if (!request_.IsValid()) {
    LogWinInetError("HttpOpenRequest");
    return false;
  }
  return true;
}

bool WinInetRequest::SetTimeout(unsigned long option, uint32_t timeout_ms) {
  DWORD value = timeout_ms;
  if (::InternetSetOptionW(request_.Get(), option, &value, sizeof(value)))
    return true;
  LOG(WARNING) << installer::DescribeWinInetError("InternetSetOption", ::GetLastError());
  return false;
}

void LogWinInetError(const char* operation) {
  LOG(ERROR) << installer::DescribeWinInetError(operation, ::GetLastError());
}

}  // namespace crash_reporter
