#include "desktop/windows/crash_reporter/quillbox/util/net/http_transport.h"

#include <utility>

namespace quillbox {

HttpTransport::HttpTransport() : method_("POST"), timeout_(15.0) {}

HttpTransport::~HttpTransport() = default;

void HttpTransport::SetMethod(const std::string& method) {
  method_ = method;
}

void HttpTransport::SetURL(const std::string& url) {
  url_ = url;
}

void HttpTransport::SetHeader(const std::string& header, const std::string& value) {
  headers_[header] = value;
}

void HttpTransport::SetBodyStream(std::unique_ptr<HttpBodyStream> stream) {
  body_stream_ = std::move(stream);
}

void HttpTransport::SetTimeout(double timeout_seconds) {
  timeout_ = timeout_seconds;
}

}  // namespace quillbox
