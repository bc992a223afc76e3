#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_WIN_INET_REQUEST_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_WIN_INET_REQUEST_H_

#include <stdint.h>

#include <string>

#include "desktop/windows/installer/wininet/scoped_internet_handle.h"

namespace crash_reporter {

// One synchronous WinINet request of the crash reporter to an http or https address, with
// the reporter's user agent: the session, connection and request handles, closed request
// first. Used on one thread.
class WinInetRequest {
 public:
  WinInetRequest() = default;
  WinInetRequest(const WinInetRequest&) = delete;
  WinInetRequest& operator=(const WinInetRequest&) = delete;
  ~WinInetRequest() = default;

  // Opens a |verb| request for |url| with the agent "Hollet/1.0 (Windows)" followed by
  // |user_agent_suffix| and the request |flags| (the secure flag is added for https).
  // False, with an error logged, when the address is not http or https or WinINet refuses.
  bool Open(const std::wstring& user_agent_suffix,
            const std::wstring& url,
            const wchar_t* verb,
            unsigned long flags);

  // Sets a time-out option (INTERNET_OPTION_*_TIMEOUT) of the request; false, with a
  // warning logged, when WinINet refuses it.
  bool SetTimeout(unsigned long option, uint32_t timeout_ms);

  // The request handle (an HINTERNET).
  void* handle() const { return request_.Get(); }

 private:
  installer::ScopedInternetHandle session_;
  installer::ScopedInternetHandle connection_;
  installer::ScopedInternetHandle request_;
};

// Logs the last WinINet error of |operation| at ERROR.
void LogWinInetError(const char* operation);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_WIN_INET_REQUEST_H_
