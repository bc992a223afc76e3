#include "desktop/windows/installer/service/product_config.h"

#include <windows.h>

#include "base/json/json_reader.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"

namespace installer {

namespace {

constexpr int kProductConfigResourceId = 133;

// Reads the host's resource on first use.
struct HostProductConfig {
  HostProductConfig() : config(LoadHostTextResource(kProductConfigResourceId)) {
    LOG_IF(ERROR, !config.IsValid()) << "The product configuration is missing or invalid";
  }
  ProductConfig config;
};

base::LazyInstance<HostProductConfig> g_host_product_config;

}  // namespace

std::string LoadHostTextResource(int resource_id) {
  // The main module is the host executable; resources never need freeing.
  const HMODULE host = ::GetModuleHandleW(nullptr);
  const HRSRC resource = ::FindResourceW(host, MAKEINTRESOURCEW(resource_id), L"TXT");
  if (!resource)
    return std::string();
  const HGLOBAL loaded = ::LoadResource(host, resource);
  const DWORD size = ::SizeofResource(host, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data)
    return std::string();
  return std::string(static_cast<const char*>(data), size);
}

// static
ProductConfig& ProductConfig::GetInstance() {
  return g_host_product_config.Get().config;
}

ProductConfig::ProductConfig() = default;

ProductConfig::ProductConfig(std::string_view json)
    : config_(base::DictionaryValue::From(base::JsonReader::Read(json))) {}

ProductConfig::~ProductConfig() = default;

bool ProductConfig::IsValid() const {
  return config_ != nullptr;
}

std::string ProductConfig::GetString(std::string_view key) const {
  std::string value;
  if (!config_ || !config_->GetString(key, &value))
    return std::string();
  return value;
}

std::wstring ProductConfig::GetWideString(std::string_view key) const {
  return base::Utf8ToUtf16(GetString(key));
}

int ProductConfig::GetInteger(std::string_view key) const {
  int value = 0;
  if (!config_ || !config_->GetInteger(key, &value))
    return 0;
  return value;
}

bool ProductConfig::GetBoolean(std::string_view key) const {
  bool value = false;
  if (!config_ || !config_->GetBoolean(key, &value))
    return false;
  return value;
}

std::string ProductConfig::GetUrl(std::string_view name) const {
  return GetString("urls." + std::string(name));
}

}  // namespace installer
