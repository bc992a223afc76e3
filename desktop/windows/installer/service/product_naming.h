#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_NAMING_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_NAMING_H_

#include <string>

namespace installer {

// The names the installer gives the product, made from the product configuration and the
// build's identity.
class ProductNaming {
 public:
  static const ProductNaming& GetInstance();

  // The product name, e.g. "Tavro".
  std::wstring GetProductName() const;
  std::wstring GetCompanyName() const;
  // The visible product name, a space and the stream name, e.g. "Tavro Stable".
  std::wstring GetVisibleNameWithStream() const;
  // The file-name base followed by ".exe".
  std::wstring GetBrowserExeName() const;
};

// "Software\" followed by the company name.
std::wstring GetCompanyRegistryKey();
// "Software\Microsoft\Windows\CurrentVersion\Uninstall".
std::wstring GetUninstallRegistryKey();
// The file-name base followed by ".exe".
std::wstring GetBrowserExeName();
// The release stream's name: "nightly", "developer", "beta" or "Stable" by stream id.
std::string GetStreamName();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_NAMING_H_
