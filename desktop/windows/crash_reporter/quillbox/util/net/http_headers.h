#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_HEADERS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_HEADERS_H_

#include <map>
#include <string>

namespace quillbox {

// Request headers by name, in name order.
using HTTPHeaders = std::map<std::string, std::string>;

}  // namespace quillbox

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_HEADERS_H_
