#include "desktop/windows/installer/wininet/connection_abort.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <wininet.h>

#include <string.h>

#include <memory>
#include <vector>

#include "base/logging.h"

namespace installer {

namespace {

// Handle values below this are looked at for the request's socket: far more than the
// installer's processes hold.
constexpr uintptr_t kHandleValueLimit = 0x10000;

// Winsock started for the scope, as every caller of its functions must.
class ScopedWinsock {
 public:
  ScopedWinsock() {
    WSADATA data;
    started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~ScopedWinsock() {
    if (started_)
      ::WSACleanup();
  }
  ScopedWinsock(const ScopedWinsock&) = delete;
  ScopedWinsock& operator=(const ScopedWinsock&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

// Whether |a| and |b| are the same address and port.
bool SameEndpoint(const sockaddr_storage& a, const sockaddr* b) {
  if (a.ss_family != b->sa_family)
    return false;
  if (a.ss_family == AF_INET) {
    const auto* x = reinterpret_cast<const sockaddr_in*>(&a);
    const auto* y = reinterpret_cast<const sockaddr_in*>(b);
    return x->sin_port == y->sin_port && x->sin_addr.s_addr == y->sin_addr.s_addr;
  }
  if (a.ss_family == AF_INET6) {
    const auto* x = reinterpret_cast<const sockaddr_in6*>(&a);
    const auto* y = reinterpret_cast<const sockaddr_in6*>(b);
    return x->sin6_port == y->sin6_port &&
           memcmp(&x->sin6_addr, &y->sin6_addr, sizeof(x->sin6_addr)) == 0;
  }
  return false;
}

// Shuts down every socket of this process connected to one of |servers|; the count.
int ShutDownSocketsTo(const std::vector<sockaddr_storage>& servers) {
  int count = 0;
  for (uintptr_t value = 4; value < kHandleValueLimit; value += 4) {
    const SOCKET candidate = static_cast<SOCKET>(value);
    int type = 0;
    int size = sizeof(type);
    if (::getsockopt(candidate, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size) !=
            0 ||
        type != SOCK_STREAM) {
      continue;
    }
    sockaddr_storage peer = {};
    int peer_size = sizeof(peer);
    if (::getpeername(candidate, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0)
      continue;
    for (const sockaddr_storage& server : servers) {
      if (SameEndpoint(server, reinterpret_cast<const sockaddr*>(&peer))) {
        ::shutdown(candidate, SD_BOTH);
        ++count;
        break;
      }
    }
  }
  return count;
}

}  // namespace

bool AbortRequestConnection(void* request, const std::wstring& host, uint16_t port) {
  ScopedWinsock winsock;
  if (!winsock.started())
    return false;
  INTERNET_DIAGNOSTIC_SOCKET_INFO info = {};
  DWORD size = sizeof(info);
  if (::InternetQueryOptionW(request, INTERNET_OPTION_DIAGNOSTIC_SOCKET_INFO, &info, &size) &&
      info.Socket != 0 && info.Socket != INVALID_SOCKET) {
    return ::shutdown(static_cast<SOCKET>(info.Socket), SD_BOTH) == 0;
  }
  // Wine tells no socket: the connection is found by its server's address.
  ADDRINFOW hints = {};
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  if (::GetAddrInfoW(host.c_str(), std::to_wstring(port).c_str(), &hints, &found) != 0)
    return false;
  const std::unique_ptr<ADDRINFOW, decltype(&::FreeAddrInfoW)> addresses(found, &::FreeAddrInfoW);
  std::vector<sockaddr_storage> servers;
  for (const ADDRINFOW* address = addresses.get(); address; address = address->ai_next) {
    sockaddr_storage server = {};
    if (address->ai_addrlen <= sizeof(server)) {
      memcpy(&server, address->ai_addr, address->ai_addrlen);
      servers.push_back(server);
    }
  }
  const int count = ShutDownSocketsTo(servers);
  VLOG(1) << "Ended " << count << " connection(s) to " << host << ":" << port;
  return count > 0;
}

}  // namespace installer
