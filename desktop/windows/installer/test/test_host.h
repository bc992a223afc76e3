#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HOST_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HOST_H_

#include <string>
#include <utility>
#include <vector>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// A test's own copy of this build's host: installer.exe and tavro_installer.dll copied
// into |folder|, the host's product configuration (resource "TXT" 133) changed by
// |config_changes|, each a dotted key and the text to store there. This is how a test
// points a real installer at its servers without a change to the product: every address
// the installer derives from "urls.autoupdate" (the download-URL request, the preference
// overrides, the statistics) follows
//
//   MakeTestHost(folder, {{"urls.autoupdate", server.GetBaseUrl()}}, &host);
//
// |json_changes| store JSON values instead of text ({{"network.timeout_ms", "2000"}}).
// The copy is not signed. False, with the reason logged, when it cannot be made.
bool MakeTestHost(const base::FilePath& folder,
                  const std::vector<std::pair<std::string, std::string>>& config_changes,
                  base::FilePath* host,
                  const std::vector<std::pair<std::string, std::string>>& json_changes = {});

// The product configuration (JSON) of a host executable; empty when it has none.
std::string ReadProductConfig(const base::FilePath& host);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HOST_H_
