#include "desktop/windows/crash_reporter/quillbox/util/net/http_transport_win.h"

#include <windows.h>

#include <winhttp.h>

#include <iterator>
#include <limits>
#include <memory>
#include <string_view>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_owner.h"

namespace quillbox {

namespace {

constexpr wchar_t kUserAgent[] = L"Quillbox/0.8.0";
constexpr size_t kBodyPieceSize = 4096;

// "<function>: <winhttp.dll's or the system's text of the thread's last error> (0x<code>)".
std::string WinHttpMessage(const char* function) {
  const DWORD error_code = ::GetLastError();
  wchar_t message[256];
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_MAX_WIDTH_MASK,
      ::GetModuleHandleW(L"winhttp.dll"), error_code, 0, message,
      static_cast<DWORD>(std::size(message)), nullptr);
  if (length == 0) {
    return base::StringPrintf("%s: Error (0x%lX) while retrieving error. (0x%lX)", function,
                              ::GetLastError(), error_code);
  }
  const std::string text = base::Utf16ToUtf8(std::wstring_view(message, length));
  return base::StringPrintf(
      "%s: %s (0x%lX)", function,
      std::string(base::TrimWhitespaceASCII(text, base::TRIM_TRAILING)).c_str(), error_code);
}

// Owns an HINTERNET of WinHTTP.
struct WinHttpHandleTraits : base::win::NullIsInvalid<HINTERNET> {
  static void Free(HINTERNET handle) {
    if (!::WinHttpCloseHandle(handle))
      LOG(ERROR) << WinHttpMessage("WinHttpCloseHandle");
  }
};
using ScopedWinHttpHandle = base::win::ScopedOwner<WinHttpHandleTraits>;

}  // namespace

// static
std::unique_ptr<HttpTransport> HttpTransport::Create() {
  return std::make_unique<HttpTransportWin>();
}

HttpTransportWin::HttpTransportWin() = default;

HttpTransportWin::~HttpTransportWin() = default;

bool HttpTransportWin::ExecuteSynchronously(std::string* response_body) {
  ScopedWinHttpHandle session(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.IsValid()) {
    LOG(ERROR) << WinHttpMessage("WinHttpOpen");
    return false;
  }

  // WinHTTP takes 0 as "no limit": the shortest time-out is one millisecond.
  const double timeout_ms = timeout() * 1000;
  int timeout_int = 1;
  if (timeout_ms >= static_cast<double>(std::numeric_limits<int>::max()))
    timeout_int = std::numeric_limits<int>::max();
  else if (timeout_ms >= 1)
    timeout_int = static_cast<int>(timeout_ms);
  if (!::WinHttpSetTimeouts(session.Get(), timeout_int, timeout_int, timeout_int,
                            timeout_int)) {
    LOG(ERROR) << WinHttpMessage("WinHttpSetTimeouts");
    return false;
  }

  const std::wstring url = base::Utf8ToUtf16(this->url());
  URL_COMPONENTS components = {};
  components.dwStructSize = sizeof(components);
  // Lengths of -1 ask for pointers into |url| instead of copies.
  components.dwSchemeLength = static_cast<DWORD>(-1);
  components.dwHostNameLength = static_cast<DWORD>(-1);
  components.dwUrlPathLength = static_cast<DWORD>(-1);
  components.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &components)) {
    LOG(ERROR) << WinHttpMessage("WinHttpCrackUrl");
    return false;
  }
  const std::wstring host(components.lpszHostName, components.dwHostNameLength);
  // The query goes with the path: an address that carries one means it.
  const std::wstring path =
      std::wstring(components.lpszUrlPath, components.dwUrlPathLength) +
      std::wstring(components.lpszExtraInfo, components.dwExtraInfoLength);

  ScopedWinHttpHandle connect(
      ::WinHttpConnect(session.Get(), host.c_str(), components.nPort, 0));
  if (!connect.IsValid()) {
    LOG(ERROR) << WinHttpMessage("WinHttpConnect");
    return false;
  }

  ScopedWinHttpHandle request(::WinHttpOpenRequest(
      connect.Get(), base::Utf8ToUtf16(method()).c_str(), path.c_str(), nullptr,
      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
      components.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request.IsValid()) {
    LOG(ERROR) << WinHttpMessage("WinHttpOpenRequest");
    return false;
  }

  // The session's receive time-out does not bound the wait for the answer's headers under
  // every WinHTTP (Wine's in particular); this option is the one meant for that wait.
  DWORD receive_response_timeout = static_cast<DWORD>(timeout_int);
  if (!::WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                          &receive_response_timeout, sizeof(receive_response_timeout))) {
    LOG(ERROR) << WinHttpMessage("WinHttpSetOption");
    return false;
  }

  for (const auto& header : headers()) {
    const std::wstring line = base::Utf8ToUtf16(header.first + ": " + header.second);
    if (!::WinHttpAddRequestHeaders(request.Get(), line.c_str(), static_cast<DWORD>(-1),
                                    WINHTTP_ADDREQ_FLAG_ADD)) {
      LOG(ERROR) << WinHttpMessage("WinHttpAddRequestHeaders");
      return false;
    }
  }

  std::string body;
  if (HttpBodyStream* stream = body_stream()) {
    uint8_t piece[kBodyPieceSize];
    for (;;) {
      const int64_t read = stream->GetBytesBuffer(piece, sizeof(piece));
      if (read < 0) {
        LOG(ERROR) << "GetBytesBuffer failed";
        return false;
      }
      if (read == 0)
        break;
      body.append(reinterpret_cast<const char*>(piece), static_cast<size_t>(read));
    }
  }
  if (body.size() > std::numeric_limits<DWORD>::max()) {
    LOG(ERROR) << "Request body too large: " << body.size() << " bytes";
    return false;
  }
  const DWORD body_length = static_cast<DWORD>(body.size());

  if (!::WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            body_length ? &body[0] : WINHTTP_NO_REQUEST_DATA, body_length,
                            body_length, 0)) {
    LOG(ERROR) << WinHttpMessage("WinHttpSendRequest");
    return false;
  }
  if (!::WinHttpReceiveResponse(request.Get(), nullptr)) {
    LOG(ERROR) << WinHttpMessage("WinHttpReceiveResponse");
    return false;
  }

  DWORD status_code = 0;
  DWORD status_size = sizeof(status_code);
  if (!::WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status_code, &status_size,
                             WINHTTP_NO_HEADER_INDEX)) {
    LOG(ERROR) << WinHttpMessage("WinHttpQueryHeaders");
    return false;
  }
  if (status_code != 200) {
    LOG(ERROR) << base::StringPrintf("HTTP status %d", static_cast<int>(status_code));
    return false;
  }

  if (!response_body)
    return true;
  response_body->clear();
  char piece[kBodyPieceSize];
  for (;;) {
    DWORD read = 0;
    if (!::WinHttpReadData(request.Get(), piece, sizeof(piece), &read)) {
      LOG(ERROR) << WinHttpMessage("WinHttpReadData");
      return false;
    }
    if (read == 0)
      return true;
    if (read > kMaxResponseBodySize - response_body->size()) {
      LOG(ERROR) << "Response larger than " << kMaxResponseBodySize << " bytes";
      return false;
    }
    response_body->append(piece, read);
  }
}

}  // namespace quillbox
