#include "desktop/windows/installer/package_fetcher/server_addresses.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"

namespace installer {

namespace {

constexpr wchar_t kMakerDomainSuffix[] = L".tavro.example";
constexpr wchar_t kFirstInternalDomainSuffix[] = L".tavro.internal";
constexpr wchar_t kSecondInternalDomainSuffix[] = L".tavro-dev.internal";
constexpr wchar_t kLoopbackAddress[] = L"127.0.0.1";
// The autoupdate server of the development builds.
constexpr wchar_t kInternalDevelopmentServer[] = L"https://autoupdate.tavro-dev.internal/";

constexpr char kPackageServerSwitch[] = "internal-package-server";

}  // namespace

const wchar_t kLoopbackHostName[] = L"localhost";

const base::CommandLine& CommandLineOrProcess(const base::CommandLine* command_line) {
  if (command_line)
    return *command_line;
  static const base::CommandLine kEmpty{base::FilePath()};
  const base::CommandLine* process_command_line = base::CommandLine::ForCurrentProcess();
  return process_command_line ? *process_command_line : kEmpty;
}

std::vector<std::wstring> BuildAllowedHosts(ConfigDomainPlace config_domain_place) {
  std::vector<std::wstring> hosts = {kMakerDomainSuffix, kFirstInternalDomainSuffix,
                                     kLoopbackHostName, kLoopbackAddress,
                                     kSecondInternalDomainSuffix};
  const std::wstring config_domain = base::Utf8ToUtf16(ProductConfig::GetInstance().GetDomain());
  if (!config_domain.empty() && config_domain != kMakerDomainSuffix) {
    if (config_domain_place == ConfigDomainPlace::kFirst)
      hosts.insert(hosts.begin(), config_domain);
    else
      hosts.push_back(config_domain);
  }
  return hosts;
}

std::wstring GetDownloadUrlRequestAddress(const base::CommandLine& command_line, bool x64) {
  std::wstring base_address;
  if (command_line.HasSwitch(kPackageServerSwitch)) {
    const std::wstring value = command_line.GetSwitchValueNative(kPackageServerSwitch);
    if (!value.empty())
      return value;
    base_address = kInternalDevelopmentServer;
  } else {
    base_address = base::Utf8ToUtf16(ProductConfig::GetInstance().GetUrl("autoupdate"));
  }
  std::wstring address =
      base_address + L"divedazaveve/" + base::Utf8ToUtf16(ProductInfo::GetStream());
  if (x64)
    address += L"/windows/x64/";
  return address;
}

}  // namespace installer
