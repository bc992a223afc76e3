#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_TRANSPORT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_TRANSPORT_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "desktop/windows/crash_reporter/quillbox/util/net/http_body.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_headers.h"

namespace quillbox {

// One HTTP request, sent synchronously on the calling thread. Configure it, then call
// ExecuteSynchronously once. The transport owns its body stream.
class HttpTransport {
 public:
  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;
  virtual ~HttpTransport();

  // The transport of this platform (WinHTTP).
  static std::unique_ptr<HttpTransport> Create();

  // "POST" unless set.
  void SetMethod(const std::string& method);
  void SetURL(const std::string& url);
  // Adds the header or replaces its value.
  void SetHeader(const std::string& header, const std::string& value);
  // Takes |stream|, destroying the previous one; none means an empty body.
  void SetBodyStream(std::unique_ptr<HttpBodyStream> stream);
  // Bounds each stage of the request (resolving, connecting, sending, waiting for and
  // reading the answer); 15 seconds unless set, never less than a millisecond.
  void SetTimeout(double timeout_seconds);

  // The most of an answer that is read: more (or an answer that never ends) fails.
  static constexpr size_t kMaxResponseBodySize = 64 * 1024;

  // Sends the request. True only when the server answered 200 and, with |response_body|,
  // the whole answer (at most kMaxResponseBodySize bytes) was read into it; without it
  // nothing of the answer's body is read. Every failure is logged at ERROR.
  virtual bool ExecuteSynchronously(std::string* response_body) = 0;

 protected:
  HttpTransport();

  const std::string& url() const { return url_; }
  const std::string& method() const { return method_; }
  const HTTPHeaders& headers() const { return headers_; }
  HttpBodyStream* body_stream() const { return body_stream_.get(); }
  double timeout() const { return timeout_; }

 private:
  std::string url_;
  std::string method_;
  HTTPHeaders headers_;
  std::unique_ptr<HttpBodyStream> body_stream_;
  double timeout_;
};

}  // namespace quillbox

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_TRANSPORT_H_
