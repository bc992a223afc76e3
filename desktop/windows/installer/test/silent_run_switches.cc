#include "desktop/windows/installer/test/silent_run_switches.h"

namespace installer {
namespace test {

std::wstring FailingFetchSwitches(const TestHttpServer& server) {
  return L"--internal-package-server=" + server.GetUrl("/no-package") +
         L" --enable-installer-stats=0";
}

}  // namespace test
}  // namespace installer
