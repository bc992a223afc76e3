#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_SILENT_RUN_SWITCHES_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_SILENT_RUN_SWITCHES_H_

#include <string>

#include "desktop/windows/installer/test/test_http_server.h"

namespace installer {
namespace test {

// The switches that end a silent installer run soon when a test only looks at how it
// starts: the package is asked for at |server| (a TestHttpServer that knows no path answers
// 404, which fails each fetch at once instead of retrying for a network), and no statistics
// are sent.
std::wstring FailingFetchSwitches(const TestHttpServer& server);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_SILENT_RUN_SWITCHES_H_
