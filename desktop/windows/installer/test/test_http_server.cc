// Winsock before <windows.h>, which the server's own header brings in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "desktop/windows/installer/test/test_http_server.h"

#include <algorithm>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"

namespace installer {
namespace test {

namespace {

constexpr size_t kMaxHeaderSize = 64 * 1024;
constexpr DWORD kReceiveTimeoutMs = 5000;
// A client that stops reading without closing (a process of a test that hangs, or that
// handed its socket on to a child) holds a send at most this long, so that stopping the
// server, which joins every connection, always ends.
constexpr DWORD kSendTimeoutMs = 60 * 1000;
// A body goes out in sends of this size: under Wine every send is a trip through the
// wineserver, so fewer and larger ones let a client be measured rather than the server.
constexpr size_t kSendSize = 1024 * 1024;

const char* GetReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 404:
      return "Not Found";
    case 407:
      return "Proxy Authentication Required";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

// The N of "bytes=N-", or -1.
int64_t ParseRangeStart(const std::string& range) {
  constexpr std::string_view kUnit = "bytes=";
  if (!base::StartsWith(range, kUnit, base::CompareCase::INSENSITIVE_ASCII))
    return -1;
  const size_t dash = range.find('-', kUnit.size());
  if (dash == std::string::npos)
    return -1;
  int64_t start = -1;
  if (!base::StringToInt64(std::string_view(range).substr(kUnit.size(), dash - kUnit.size()),
                           &start)) {
    return -1;
  }
  return start;
}

}  // namespace

// One accepted connection and the thread that serves it.
class TestHttpServer::Connection : public base::OsThread::Delegate {
 public:
  Connection(TestHttpServer* server, SOCKET socket) : server_(server), socket_(socket) {}
  ~Connection() override {
    if (thread_.IsValid())
      base::OsThread::Join(&thread_);
    ::closesocket(socket_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Start() { return base::OsThread::Create(0, this, &thread_); }
  bool HasEnded() const { return ::WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0; }
  // Makes a blocked receive or send return at once.
  void Abort() { ::shutdown(socket_, SD_BOTH); }

 private:
  void ThreadMain() override {
    server_->HandleConnection(socket_);
    ::shutdown(socket_, SD_SEND);
  }

  TestHttpServer* const server_;
  const SOCKET socket_;
  base::win::ScopedHandle thread_;
};

TestHttpServer::TestHttpServer()
    : listen_socket_(INVALID_SOCKET) {}

TestHttpServer::~TestHttpServer() {
  Stop();
}

bool TestHttpServer::Start(const std::string& address_text) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    LOG(ERROR) << "WSAStartup failed";
    return false;
  }
  winsock_started_ = true;
  listen_socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listen_socket_ == INVALID_SOCKET) {
    ELOG(ERROR, ::WSAGetLastError()) << "socket failed";
    return false;
  }
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  if (::inet_pton(AF_INET, address_text.c_str(), &address.sin_addr) != 1) {
    LOG(ERROR) << "Not an IPv4 address: " << address_text;
    return false;
  }
  address_ = address_text;
  int address_size = sizeof(address);
  if (::bind(listen_socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listen_socket_, SOMAXCONN) != 0 ||
      ::getsockname(listen_socket_, reinterpret_cast<sockaddr*>(&address), &address_size) != 0) {
    ELOG(ERROR, ::WSAGetLastError()) << "Cannot listen on " << address_text;
    return false;
  }
  port_ = ::ntohs(address.sin_port);
  return base::OsThread::Create(0, this, &thread_);
}

void TestHttpServer::Stop() {
  stopping_ = true;
  if (thread_.IsValid())
    base::OsThread::Join(&thread_);
  if (listen_socket_ != INVALID_SOCKET) {
    ::closesocket(listen_socket_);
    listen_socket_ = INVALID_SOCKET;
  }
  if (winsock_started_) {
    ::WSACleanup();
    winsock_started_ = false;
  }
}

std::wstring TestHttpServer::GetUrl(const std::string& path) const {
  return base::Utf8ToUtf16(base::StringPrintf("http://%s:%d", address_.c_str(), port_) + path);
}

void TestHttpServer::SetResponse(const std::string& path, const Response& response) {
  auto shared = std::make_shared<const Response>(response);
  base::AutoLock lock(lock_);
  responses_[path] = std::move(shared);
}

std::vector<TestHttpServer::Request> TestHttpServer::GetRequests() const {
  base::AutoLock lock(lock_);
  return requests_;
}

int TestHttpServer::GetRequestCount(const std::string& path) const {
  base::AutoLock lock(lock_);
  const auto found = request_counts_.find(path);
  return found == request_counts_.end() ? 0 : found->second;
}

bool TestHttpServer::Wait(uintptr_t connection, int ms) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + base::TimeDelta::FromMilliseconds(ms);
  while (!stopping_) {
    const base::TimeDelta left = deadline - base::TimeTicks::Now();
    if (left <= base::TimeDelta())
      return true;
    // The client closing its end ends the wait too: nobody listens any more.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(connection, &readable);
    timeval timeout = {0, static_cast<long>(std::min<int64_t>(left.InMicroseconds(), 50 * 1000))};
    if (::select(0, &readable, nullptr, nullptr, &timeout) > 0) {
      char byte;
      if (::recv(connection, &byte, 1, MSG_PEEK) <= 0)
        return false;
    }
  }
  return false;
}

bool TestHttpServer::SendAll(uintptr_t connection, std::string_view data) {
  size_t sent = 0;
  while (sent < data.size()) {
    if (stopping_)
      return false;
    const int chunk = static_cast<int>(std::min(data.size() - sent, kSendSize));
    const int result = ::send(connection, data.data() + sent, chunk, 0);
    if (result <= 0)
      return false;
    sent += static_cast<size_t>(result);
  }
  return true;
}

void TestHttpServer::ThreadMain() {
  base::OsThread::SetName("Test HTTP server");
  while (!stopping_) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listen_socket_, &readable);
    timeval timeout = {0, 50 * 1000};
    ReapConnections(false);
    if (::select(0, &readable, nullptr, nullptr, &timeout) <= 0)
      continue;
    const SOCKET socket = ::accept(listen_socket_, nullptr, nullptr);
    if (socket == INVALID_SOCKET)
      continue;
    auto connection = std::make_unique<Connection>(this, socket);
    if (connection->Start())
      connections_.push_back(std::move(connection));
  }
  ReapConnections(true);
}

void TestHttpServer::ReapConnections(bool all) {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (all)
      (*it)->Abort();
    if (all || (*it)->HasEnded())
      it = connections_.erase(it);  // Joins the thread.
    else
      ++it;
  }
}

void TestHttpServer::HandleConnection(uintptr_t connection) {
  DWORD receive_timeout = kReceiveTimeoutMs;
  ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receive_timeout),
               sizeof(receive_timeout));
  DWORD send_timeout = kSendTimeoutMs;
  ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send_timeout),
               sizeof(send_timeout));

  // The request line and headers.
  std::string data;
  size_t header_end = std::string::npos;
  while ((header_end = data.find("\r\n\r\n")) == std::string::npos) {
    char buffer[4096];
    const int received = ::recv(connection, buffer, sizeof(buffer), 0);
    if (received <= 0 || data.size() > kMaxHeaderSize)
      return;
    data.append(buffer, static_cast<size_t>(received));
  }
  Request request;
  const std::string head = data.substr(0, header_end);
  std::string body = data.substr(header_end + 4);
  size_t line_end = head.find("\r\n");
  const std::string request_line = head.substr(0, line_end);
  const size_t first_space = request_line.find(' ');
  const size_t second_space = request_line.find(' ', first_space + 1);
  if (first_space == std::string::npos || second_space == std::string::npos)
    return;
  request.method = request_line.substr(0, first_space);
  request.path = request_line.substr(first_space + 1, second_space - first_space - 1);
  while (line_end != std::string::npos) {
    const size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string line = head.substr(start, line_end == std::string::npos
                                                    ? std::string::npos
                                                    : line_end - start);
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
      continue;
    request.headers[base::ToLowerAscii(line.substr(0, colon))] =
        std::string(base::TrimWhitespaceASCII(std::string_view(line).substr(colon + 1),
                                              base::TRIM_ALL));
  }

  // The body.
  size_t content_length = 0;
  const auto length_header = request.headers.find("content-length");
  if (length_header != request.headers.end()) {
    unsigned length = 0;
    if (base::StringToUint(length_header->second, &length))
      content_length = length;
  }
  while (body.size() < content_length) {
    char buffer[4096];
    const int received = ::recv(connection, buffer, sizeof(buffer), 0);
    if (received <= 0)
      return;
    body.append(buffer, static_cast<size_t>(received));
  }
  request.body = body.substr(0, content_length);

  // The scripted answer. Its body is sent from the shared copy: a package is large, and
  // several clients may fetch it at once.
  static const Response kNotFound = [] {
    Response response;
    response.status = 404;
    response.body = "not found";
    return response;
  }();
  std::shared_ptr<const Response> scripted;
  int index = 0;
  {
    base::AutoLock lock(lock_);
    requests_.push_back(request);
    const std::string without_query = request.path.substr(0, request.path.find('?'));
    std::string key;
    auto entry = responses_.end();
    for (const std::string& candidate :
         {request.method + " " + request.path, request.method + " " + without_query,
          request.path, without_query}) {
      key = candidate;
      entry = responses_.find(key);
      if (entry != responses_.end())
        break;
    }
    if (entry != responses_.end())
      scripted = entry->second;
    index = request_counts_[key]++;
  }
  const Response& response = scripted ? *scripted : kNotFound;
  int status = response.status;
  std::vector<std::pair<std::string, std::string>> headers = response.headers;
  std::string_view content = response.body;
  int64_t drop_after_bytes = response.drop_after_bytes;
  int64_t pause_after_bytes = response.pause_after_bytes;
  if (index < response.fail_count) {
    status = response.fail_status;
    content = std::string_view();
    drop_after_bytes = -1;
    pause_after_bytes = -1;
  } else if (!response.redirect_to.empty()) {
    status = response.redirect_status;
    headers.push_back({"Location", response.redirect_to});
    content = std::string_view();
  }

  const auto range_header = request.headers.find("range");
  if (response.honour_range && status == 200 && range_header != request.headers.end()) {
    const int64_t start = ParseRangeStart(range_header->second);
    if (start >= 0 && static_cast<size_t>(start) < content.size()) {
      status = 206;
      headers.push_back(
          {"Content-Range", "bytes " + base::Int64ToString(start) + "-" +
                                base::Int64ToString(static_cast<int64_t>(content.size()) - 1) +
                                "/" + base::Int64ToString(static_cast<int64_t>(content.size()))});
      content = content.substr(static_cast<size_t>(start));
    }
  }

  if (!Wait(connection, response.delay_ms))
    return;
  std::string head_out =
      base::StringPrintf("HTTP/1.1 %d %s\r\n", status, GetReasonPhrase(status));
  for (const auto& header : headers)
    head_out += header.first + ": " + header.second + "\r\n";
  const int64_t announced = response.claimed_length >= 0
                               ? response.claimed_length
                               : static_cast<int64_t>(content.size()) + response.padding_bytes;
  if (!response.endless)
    head_out += "Content-Length: " + base::Int64ToString(announced) + "\r\n";
  head_out += "Connection: close\r\n\r\n";
  if (!SendAll(connection, head_out))
    return;

  size_t limit = content.size();
  if (drop_after_bytes >= 0 && index < response.drop_count)
    limit = std::min(limit, static_cast<size_t>(drop_after_bytes));
  SendBody(connection, content, limit, pause_after_bytes, response);
}

void TestHttpServer::SendBody(uintptr_t connection,
                              std::string_view content,
                              size_t limit,
                              int64_t pause_after_bytes,
                              const Response& response) {
  size_t sent = 0;
  if (pause_after_bytes >= 0 && static_cast<size_t>(pause_after_bytes) < limit) {
    sent = static_cast<size_t>(pause_after_bytes);
    if (!SendAll(connection, content.substr(0, sent)) || !Wait(connection, response.pause_ms))
      return;
  }
  // A body cut short has no filler.
  const bool cut = limit < content.size();
  int64_t filler = cut ? 0 : response.padding_bytes;
  const bool endless = !cut && response.endless;
  const size_t piece =
      response.trickle_ms > 0 ? static_cast<size_t>(std::max(response.trickle_bytes, 1)) : kSendSize;
  const std::string spaces(filler > 0 || endless ? piece : 0, ' ');
  while (sent < limit || filler > 0 || endless) {
    std::string_view chunk;
    if (sent < limit) {
      chunk = content.substr(sent, std::min(piece, limit - sent));
      sent += chunk.size();
    } else {
      chunk = std::string_view(spaces).substr(
          0, endless ? piece : static_cast<size_t>(std::min<int64_t>(piece, filler)));
      if (!endless)
        filler -= static_cast<int64_t>(chunk.size());
    }
    if (!SendAll(connection, chunk))
      return;
    if (response.trickle_ms > 0 && !Wait(connection, response.trickle_ms))
      return;
  }
}

}  // namespace test
}  // namespace installer
