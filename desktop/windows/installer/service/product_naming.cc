#include "desktop/windows/installer/service/product_naming.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"

namespace installer {

// static
const ProductNaming& ProductNaming::GetInstance() {
  static const ProductNaming naming;
  return naming;
}

std::wstring ProductNaming::GetProductName() const {
  return base::Utf8ToUtf16(ProductConfig::GetInstance().GetProductName());
}

std::wstring ProductNaming::GetCompanyName() const {
  return base::Utf8ToUtf16(ProductConfig::GetInstance().GetCompanyName());
}

std::wstring ProductNaming::GetVisibleNameWithStream() const {
  return base::Utf8ToUtf16(ProductInfo::GetVisibleNameWithStream());
}

std::wstring ProductNaming::GetBrowserExeName() const {
  return installer::GetBrowserExeName();
}

std::wstring GetCompanyRegistryKey() {
  return L"Software\\" + ProductNaming::GetInstance().GetCompanyName();
}

std::wstring GetUninstallRegistryKey() {
  return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
}

std::wstring GetBrowserExeName() {
  return base::Utf8ToUtf16(ProductConfig::GetInstance().GetFileNameBase()) + L".exe";
}

std::string GetStreamName() {
  switch (GetCurrentStream()) {
    case STREAM_NIGHTLY:
      return "nightly";
    case STREAM_DEVELOPER:
      return "developer";
    case STREAM_NEXT:
      return "beta";
    default:
      return "Stable";
  }
}

}  // namespace installer
