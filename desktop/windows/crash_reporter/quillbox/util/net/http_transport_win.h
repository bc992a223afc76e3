#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_TRANSPORT_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_TRANSPORT_WIN_H_

#include <string>

#include "desktop/windows/crash_reporter/quillbox/util/net/http_transport.h"

namespace quillbox {

// The transport over WinHTTP. The whole body is collected in memory first, then sent with
// its length; the time-out bounds every stage, the wait for the answer included. Every
// failing WinHTTP call is logged at ERROR with its name and winhttp.dll's text of the error.
class HttpTransportWin : public HttpTransport {
 public:
  HttpTransportWin();
  HttpTransportWin(const HttpTransportWin&) = delete;
  HttpTransportWin& operator=(const HttpTransportWin&) = delete;
  ~HttpTransportWin() override;

  bool ExecuteSynchronously(std::string* response_body) override;
};

}  // namespace quillbox

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_TRANSPORT_WIN_H_
