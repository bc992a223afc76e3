#include "desktop/windows/crash_reporter/crash_config.h"

#include "base/environment.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"

namespace crash_reporter {

bool GetEnvironmentFlag(base::Environment* environment, std::string_view name, bool default_value) {
  std::string value;
  if (!environment->GetVar(name, &value))
    return default_value;
  return value == "1" || base::EqualsCaseInsensitiveAscii(value, "YES") ||
         base::EqualsCaseInsensitiveAscii(value, "TRUE");
}

std::string GetEnvironmentValue(base::Environment* environment, std::string_view name) {
  std::string value;
  if (!environment->GetVar(name, &value))
    return std::string();
  return value;
}

std::string GetProductEnvironmentVariableName(std::string_view suffix) {
  return base::ToUpperAscii(installer::ProductConfig::GetInstance().GetProductName()) + "_" +
         std::string(suffix);
}

std::string GetCrashEmailVariableName() {
  return GetProductEnvironmentVariableName("CRASH_EMAIL");
}

std::string GetCrashKeepLogsVariableName() {
  return GetProductEnvironmentVariableName("CRASH_KEEP_LOGS");
}

std::wstring GetBuildId() {
  return FormatBuildId(installer::ProductInfo::GetBuildDate(),
                       installer::ProductInfo::GetBuildIdNumber());
}

std::wstring FormatBuildId(std::string_view build_date, int build_id_number) {
  constexpr size_t kDateLength = 8;
  constexpr size_t kNumberLength = 6;
  std::wstring date = base::AsciiToUtf16(build_date.substr(0, kDateLength));
  date.resize(kDateLength, L'0');
  std::wstring number = base::WideStringPrintf(L"%d", build_id_number);
  if (number.size() > kNumberLength)
    number.erase(0, number.size() - kNumberLength);
  number.insert(0, kNumberLength - number.size(), L'0');
  return date + number;
}

std::wstring GetReleaseChannel() {
  return GetReleaseChannelForStream(installer::GetCurrentStream(),
                                    installer::ProductInfo::GetStream());
}

std::wstring GetReleaseChannelForStream(int stream_id, std::string_view stream_name) {
  if (stream_id == installer::STREAM_DEVELOPER)
    return L"nightly";
  if (stream_id == installer::STREAM_STABLE)
    return L"release";
  return base::Utf8ToUtf16(stream_name);
}

std::wstring GetSymbolsPackage(std::wstring_view process_name) {
  return process_name == L"browser_tests" ? L"tests-syms" : L"browser-syms";
}

}  // namespace crash_reporter
