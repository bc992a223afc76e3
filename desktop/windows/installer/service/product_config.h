#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_CONFIG_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_CONFIG_H_

#include <memory>
#include <string>
#include <string_view>

namespace base {
class DictionaryValue;
}

namespace installer {

// The product configuration: a JSON object read once from resource "TXT" 133 of the host
// executable. Every getter takes a dotted key ("urls.help"); a missing key, or a value of
// another type, gives an empty value (empty text, 0, false).
class ProductConfig {
 public:
  // The process-wide configuration, read from the host executable on first use.
  static ProductConfig& GetInstance();

  // A configuration made from JSON text (tests, and the instance above).
  explicit ProductConfig(std::string_view json);
  ProductConfig();
  ~ProductConfig();

  ProductConfig(const ProductConfig&) = delete;
  ProductConfig& operator=(const ProductConfig&) = delete;

  // Whether the configuration was read and parsed.
  bool IsValid() const;

  std::string GetString(std::string_view key) const;
  std::wstring GetWideString(std::string_view key) const;
  int GetInteger(std::string_view key) const;
  bool GetBoolean(std::string_view key) const;

  std::string GetProductName() const { return GetString("product_name"); }
  std::string GetCompanyName() const { return GetString("company_name"); }
  std::string GetFileNameBase() const { return GetString("file_name_base"); }
  std::wstring GetExpectedSigner() const { return GetWideString("expected_signer"); }
  std::string GetShortcutSuffix() const { return GetString("shortcut_suffix"); }
  std::string GetDomain() const { return GetString("domain"); }
  std::string GetCrashLogProductSuffix() const { return GetString("crash_log_product_sufix"); }
  bool IsWhiteLabeled() const { return GetBoolean("white_labeled"); }
  bool ShouldScheduleAutoupdateTask() const { return GetBoolean("schedule_autoupdate_task"); }
  int GetScheduledAutoupdateDelayMinutes() const {
    return GetInteger("scheduled_autoupdate_delay_min");
  }
  // An entry of the "urls" object: "autoupdate", "download", "download_full_windows",
  // "help", "homepage", "crash", "uninstall_survey".
  std::string GetUrl(std::string_view name) const;

 private:
  std::unique_ptr<base::DictionaryValue> config_;
};

// The resource of the host executable (the process's main module) with the given id and
// type "TXT"; empty when missing.
std::string LoadHostTextResource(int resource_id);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PRODUCT_CONFIG_H_
