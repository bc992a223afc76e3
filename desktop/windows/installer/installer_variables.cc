#include "desktop/windows/installer/installer_variables.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace installer {

std::wstring ResolveInstallerVariable(const std::wstring& name,
                                      const base::FilePath& install_folder,
                                      const std::wstring& uninstall_key) {
  if (name == L"InstallFolder")
    return install_folder.value();
  if (name == L"Version")
    return base::AsciiToUtf16(ProductInfo::GetVersion());
  if (name == L"Executable")
    return GetBrowserExeName();
  if (name == L"Product")
    return base::Utf8ToUtf16(ProductInfo::GetProductName());
  if (name == L"Company")
    return base::Utf8ToUtf16(ProductConfig::GetInstance().GetCompanyName());
  if (name == L"CompanyRegistryKey")
    return GetCompanyRegistryKey();
  if (name == L"Stream")
    return base::Utf8ToUtf16(ProductInfo::GetStream());
  if (name == L"Uninstall")
    return uninstall_key;
  if (name == L"HelpURL")
    return base::Utf8ToUtf16(ProductConfig::GetInstance().GetUrl("help"));
  if (name == L"CompanyURL")
    return base::Utf8ToUtf16(ProductConfig::GetInstance().GetUrl("homepage"));
  if (name == L"DownloadsURL")
    return base::Utf8ToUtf16(ProductConfig::GetInstance().GetUrl("download"));
  return name;
}

}  // namespace installer
