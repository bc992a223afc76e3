#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HTTP_SERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HTTP_SERVER_H_

#include <stdint.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/synchronization/lock.h"
#include "base/threading/os_thread.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

// A small HTTP/1.1 server for tests on 127.0.0.1 (or another loopback address: 127.0.0.2
// is a host of its own for redirect tests), at a port the system picks. Each connection is
// served on a thread of its own (a request that is never answered holds up no other), and
// closed after its response. Responses are scripted per path, hostile ones included (a
// trickle, a huge or an endless body); unknown paths get 404.
class TestHttpServer : private base::OsThread::Delegate {
 public:
  struct Response {
    int status = 200;
    // Extra header lines (name, value); Content-Length and Connection are added.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Non-empty: answer |redirect_status| with this Location (and no body).
    std::string redirect_to;
    int redirect_status = 302;
    // Answer "Range: bytes=N-" requests with 206 and the body from N on.
    bool honour_range = false;
    // Close the connection after this many body bytes (-1: send everything), on the first
    // |drop_count| requests for the path.
    int64_t drop_after_bytes = -1;
    int drop_count = 1;
    // The first |fail_count| requests for the path get |fail_status| with an empty body.
    int fail_count = 0;
    int fail_status = 503;
    // Wait this long before answering (a client that gives up ends the wait).
    int delay_ms = 0;
    // Announce this Content-Length instead of the body's own (-1: the body's).
    int64_t claimed_length = -1;
    // After |pause_after_bytes| body bytes, wait |pause_ms| before sending the rest.
    int64_t pause_after_bytes = -1;
    int pause_ms = 0;
    // After the body, this many bytes of filler (spaces, which a JSON text may end with),
    // made as they are sent; counted in the Content-Length.
    int64_t padding_bytes = 0;
    // After the body and the padding, filler until the client goes; no Content-Length.
    bool endless = false;
    // Send the body in pieces of |trickle_bytes| with |trickle_ms| between them.
    int trickle_ms = 0;
    int trickle_bytes = 1;
  };

  struct Request {
    std::string method;
    std::string path;  // As sent, with the query.
    // Header names in lower case.
    std::map<std::string, std::string> headers;
    std::string body;  // Exactly the bytes that the Content-Length announced.
  };

  TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;
  ~TestHttpServer() override;

  // Listens on |address| (a dotted IPv4 loopback address) and starts serving. False when
  // the socket or the thread cannot be made.
  bool Start(const std::string& address = "127.0.0.1");
  // Ends waits, the connections and the threads; closes the socket.
  void Stop();

  int port() const { return port_; }
  // "http://<address>:<port>" followed by |path|.
  std::wstring GetUrl(const std::string& path) const;

  // |path| is matched with the query; a path without its own entry falls back to the
  // entry for the path without the query. A path preceded by a method and a space
  // ("POST /upload") answers only that method, and wins over the entry without one.
  void SetResponse(const std::string& path, const Response& response);
  std::vector<Request> GetRequests() const;
  int GetRequestCount(const std::string& path) const;

 private:
  class Connection;

  void ThreadMain() override;
  // Joins the threads of the connections that ended; with |all|, ends the others first.
  void ReapConnections(bool all);
  void HandleConnection(uintptr_t connection);
  // Sends |data|; false when the connection broke or the server stops.
  bool SendAll(uintptr_t connection, std::string_view data);
  // Sends the body after the head: |content| (cut at |limit|, held up after
  // |pause_after_bytes| when that is not negative), then the response's filler, paced as
  // the response says.
  void SendBody(uintptr_t connection,
                std::string_view content,
                size_t limit,
                int64_t pause_after_bytes,
                const Response& response);
  // Waits |ms| unless the server stops or the client goes; false then.
  bool Wait(uintptr_t connection, int ms);

  // A SOCKET; kept as its integer type so that users need not include <winsock2.h>.
  uintptr_t listen_socket_;
  std::string address_;
  int port_ = 0;
  bool winsock_started_ = false;
  std::atomic<bool> stopping_{false};
  base::win::ScopedHandle thread_;

  mutable base::Lock lock_;
  // Under |lock_|; shared with the connections that send them.
  std::map<std::string, std::shared_ptr<const Response>> responses_;
  std::vector<Request> requests_;              // Under |lock_|.
  std::map<std::string, int> request_counts_;  // Under |lock_|, by matched path.
  // The connections being served; used by the accepting thread only.
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HTTP_SERVER_H_
