#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_CONNECTION_ABORT_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_CONNECTION_ABORT_H_

#include <stdint.h>

#include <string>

namespace installer {

// Ends the connection under the WinINet request |request| (an HINTERNET) at once, so that
// closing the request does not read the rest of a body that is not wanted: Wine's WinINet
// reads it to its end on close, for as long as the server keeps sending, to keep the
// connection for another request. The socket comes from WinINet where it tells it; else
// (Wine tells none) it is the socket of this process connected to |host|:|port| (another
// connection of this process to that server, an idle one say, may go with it; a request on
// it then fails its try). Best effort: false when no socket was found.
bool AbortRequestConnection(void* request, const std::wstring& host, uint16_t port);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_CONNECTION_ABORT_H_
