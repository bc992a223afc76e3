#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_INFO_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_INFO_H_

#include <string>

namespace installer {

// Release streams, by id.
enum Stream {
  STREAM_NIGHTLY = 1,
  STREAM_DEVELOPER = 2,
  STREAM_NEXT = 3,
  STREAM_STABLE = 4,
};

// The build's version identity. Every value is build data.
class ProductInfo {
 public:
  // The four-part dotted version, e.g. "7.4.3105.12".
  static std::string GetVersion();
  // "%d.%d.%d.%d" of the given parts.
  static std::string FormatVersion(int major, int minor, int build, int patch);
  // "%d.%d" of the two internal version numbers.
  static std::string GetInternalVersion();
  static int GetMajorVersion();
  static int GetBuildNumber();
  static int GetBuildIdNumber();
  // "YYYYMMDD_HHMMSS".
  static std::string GetBuildDate();
  // The stream name, e.g. "Stable".
  static std::string GetStream();
  // " (Edition " + stream + ")".
  static std::string GetEditionString();
  // The product name of the product configuration, e.g. "Tavro".
  static std::string GetProductName();
  // The visible product name, a space and the stream name, e.g. "Tavro Stable".
  static std::string GetVisibleNameWithStream();
};

// The build's stream id (see Stream).
int GetCurrentStream();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_INFO_H_
