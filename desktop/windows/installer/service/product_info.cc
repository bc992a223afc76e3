#include "desktop/windows/installer/service/product_info.h"

#include <stdio.h>

#include "desktop/windows/installer/service/build_date.h"
#include "desktop/windows/installer/service/build_info.h"
#include "desktop/windows/installer/service/product_config.h"

namespace installer {

std::string ProductInfo::GetVersion() {
  return FormatVersion(TAVRO_VERSION_MAJOR, TAVRO_VERSION_MINOR, TAVRO_VERSION_BUILD,
                       TAVRO_VERSION_PATCH);
}

std::string ProductInfo::FormatVersion(int major, int minor, int build, int patch) {
  char text[64];
  snprintf(text, sizeof(text), "%d.%d.%d.%d", major, minor, build, patch);
  return text;
}

std::string ProductInfo::GetInternalVersion() {
  char text[32];
  snprintf(text, sizeof(text), "%d.%d", TAVRO_INTERNAL_VERSION_MAJOR,
           TAVRO_INTERNAL_VERSION_MINOR);
  return text;
}

int ProductInfo::GetMajorVersion() { return TAVRO_VERSION_MAJOR; }
int ProductInfo::GetBuildNumber() { return TAVRO_BUILD_NUMBER; }
int ProductInfo::GetBuildIdNumber() { return TAVRO_BUILD_ID_NUMBER; }
std::string ProductInfo::GetBuildDate() { return kBuildDate; }
std::string ProductInfo::GetStream() { return TAVRO_STREAM_NAME; }

std::string ProductInfo::GetEditionString() {
  return " (Edition " + GetStream() + ")";
}

std::string ProductInfo::GetProductName() {
  return ProductConfig::GetInstance().GetProductName();
}

std::string ProductInfo::GetVisibleNameWithStream() {
  return GetProductName() + " " + GetStream();
}

int GetCurrentStream() { return TAVRO_STREAM_ID; }

}  // namespace installer
