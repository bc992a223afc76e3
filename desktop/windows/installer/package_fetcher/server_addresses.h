#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SERVER_ADDRESSES_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SERVER_ADDRESSES_H_

#include <string>
#include <vector>

#include "base/command_line.h"

namespace installer {

// The loopback host name that the front end's servers may be reached at.
extern const wchar_t kLoopbackHostName[];  // "localhost"

// Where the product configuration's "domain" goes in BuildAllowedHosts' list.
enum class ConfigDomainPlace { kFirst, kLast };

// The hosts the front end's requests to the autoupdate server (and their redirects) may go
// to, as host suffixes for WininetDownloader::SetAllowedHosts: the maker's domain, two
// internal domains, the loopback host name and address, and the product configuration's
// "domain" when it is not the maker's.
std::vector<std::wstring> BuildAllowedHosts(ConfigDomainPlace config_domain_place);

// |command_line|, or the process command line when null (an empty one before that exists).
const base::CommandLine& CommandLineOrProcess(const base::CommandLine* command_line);

// The address of the download-URL request: the value of "internal-package-server" when it
// has one, used unchanged; else a base address (the internal development server when the
// switch is present without a value, the product configuration's "autoupdate" otherwise)
// followed by "divedazaveve/" and the build's stream, and by "/windows/x64/" for the
// 64-bit package.
std::wstring GetDownloadUrlRequestAddress(const base::CommandLine& command_line, bool x64);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SERVER_ADDRESSES_H_
