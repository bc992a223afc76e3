#include "desktop/windows/crash_reporter/crash_metadata.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "base/environment.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"

namespace crash_reporter {

namespace {

// The crash server knows desktop crashes of every product by this name.
constexpr wchar_t kUploadProductName[] = L"TavroDesktop";

// Crash key name -> upload parameter name.
constexpr struct {
  const wchar_t* key;
  const wchar_t* parameter;
} kParameterNames[] = {
    {L"Version", L"Version"},
    {L"build_number", L"UBN"},
    {L"process_type", L"ProcessType"},
    {L"URL", L"URL"},
    {L"gpu_vendor_id", L"gpu_vendor_id"},
    {L"gpu_device_id", L"gpu_device_id"},
    {L"gpu_driver_version", L"gpu_driver_version"},
    {L"gpu_pixel_shader_version", L"gpu_pixel_shader_version"},
    {L"gpu_vertex_shader_version", L"gpu_vertex_shader_version"},
    {L"enabled_extensions", L"enabled_extensions"},
    {L"disabled_extensions", L"disabled_extensions"},
    {L"blacklisted_extensions", L"blacklisted_extensions"},
    {L"terminated_extensions", L"terminated_extensions"},
    {L"third_party_installs", L"third_party_installs"},
    {L"ab_tests", L"ab_tests"},
};

// Keys whose values the text log collects across slots and always lists (but the first,
// listed only when set), in this order.
constexpr const char* kCollectedKeys[] = {
    "brixel_test",
    "enabled_extensions",
    "disabled_extensions",
    "blacklisted_extensions",
    "terminated_extensions",
    "third_party_installs",
    "ab_tests",
};

// Keys the text log shows elsewhere, or not at all.
constexpr const char* kSkippedKeys[] = {"ptime", "URL", "crash_guid", "modules"};

base::LazyInstance<CrashSystemInfo> g_system_info;

std::wstring Decimal(int64_t value) {
  return base::Int64ToWideString(value);
}

// A name the crash server accepts in the log's metadata.
bool IsValidMetadataName(std::string_view name) {
  if (name.empty() || name.size() >= CustomInfoEntry::kNameLength)
    return false;
  for (const char c : name) {
    const bool valid = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (!valid)
      return false;
  }
  return true;
}

int64_t SecondsSince1970(const base::Time& time) {
  return time.ToUnixMilliseconds() / 1000;
}

// The creation time of the image file of |process|, when it can be read.
bool GetImageCreationTime(HANDLE process, base::Time* time) {
  wchar_t path[MAX_PATH];
  DWORD length = MAX_PATH;
  if (!::QueryFullProcessImageNameW(process, 0, path, &length)) {
    PLOG(WARNING) << "QueryFullProcessImageName failed";
    return false;
  }
  base::win::ScopedHandle file(::CreateFileW(path, GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!file.IsValid() || !::GetFileInformationByHandle(file.Get(), &information)) {
    PLOG(WARNING) << "Cannot read the file information of " << path;
    return false;
  }
  *time = base::Time::FromFileTime(information.ftCreationTime);
  return true;
}

std::string GetOsVersion(std::string* service_pack) {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
    PLOG(WARNING) << "GetVersionEx failed";
    return std::string();
  }
  if (version.wServicePackMajor != 0)
    *service_pack =
        base::StringPrintf("%u.%u", version.wServicePackMajor, version.wServicePackMinor);
  return base::StringPrintf("%lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
                            version.dwBuildNumber);
}

}  // namespace

// static
const CrashSystemInfo& CrashSystemInfo::Get() {
  return g_system_info.Get();
}

CrashSystemInfo::CrashSystemInfo() {
  os_version = GetOsVersion(&os_service_pack_version);
  SYSTEM_INFO system = {};
  ::GetNativeSystemInfo(&system);
  cpu_architecture = base::StringPrintf("0x%x", system.wProcessorArchitecture);
  cpu_level = base::StringPrintf("0x%x", system.wProcessorLevel);
  cpu_revision = base::StringPrintf("0x%x", system.wProcessorRevision);
  std::unique_ptr<base::Environment> environment = base::Environment::Create();
  email = base::Utf8ToUtf16(GetEnvironmentValue(environment.get(), GetCrashEmailVariableName()));
}

const wchar_t* GetUploadParameterName(std::wstring_view crash_key_name) {
  crash_key_name = crash_key_name.substr(0, CustomInfoEntry::kNameLength);
  for (const auto& row : kParameterNames) {
    if (crash_key_name == row.key)
      return row.parameter;
  }
  return nullptr;
}

void SetUploadParameter(UploadParameters* parameters,
                        std::wstring_view name,
                        std::wstring_view value) {
  parameters->emplace(std::wstring(name), std::wstring(value));
}

void AddEmailParameter(UploadParameters* parameters) {
  const std::wstring& email = CrashSystemInfo::Get().email;
  if (!email.empty())
    SetUploadParameter(parameters, L"Email", email);
}

void AddLowerCaseEmailParameter(UploadParameters* parameters) {
  const std::wstring& email = CrashSystemInfo::Get().email;
  if (!email.empty())
    SetUploadParameter(parameters, L"email", email);
}

void AddStacktraceIdParameter(std::wstring_view id, UploadParameters* parameters) {
  if (!id.empty())
    SetUploadParameter(parameters, L"stacktraceId", id);
}

void AddTimeParameters(HANDLE process, const CustomClientInfo* keys, UploadParameters* parameters) {
  int64_t uptime_ms = 0;
  std::wstring ptime;
  const bool has_uptime =
      keys && GetCrashKeyValue(*keys, L"ptime", &ptime) && base::StringToInt64(ptime, &uptime_ms);
  const base::TimeDelta uptime = base::TimeDelta::FromMilliseconds(has_uptime ? uptime_ms : 0);

  base::Time start_time;
  base::Time crash_time;
  FILETIME creation, exit, kernel, user;
  if (process && ::GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
    start_time = base::Time::FromFileTime(creation);
    crash_time = has_uptime ? start_time + uptime : base::Time::Now();
  } else {
    crash_time = base::Time::Now();
    start_time = has_uptime ? crash_time - uptime : base::Time::Now();
  }
  SetUploadParameter(parameters, L"StartupTime", Decimal(SecondsSince1970(start_time)));
  SetUploadParameter(parameters, L"CrashTime", Decimal(SecondsSince1970(crash_time)));

  base::Time install_time;
  if (process && GetImageCreationTime(process, &install_time))
    SetUploadParameter(parameters, L"InstallTime", Decimal(SecondsSince1970(install_time)));
}

void AddProductParameters(UploadParameters* parameters) {
  SetUploadParameter(parameters, L"ProductName", kUploadProductName);
  SetUploadParameter(parameters, L"Version",
                     base::Utf8ToUtf16(installer::ProductInfo::GetVersion()));
  SetUploadParameter(parameters, L"UBN", Decimal(installer::ProductInfo::GetBuildNumber()));
  SetUploadParameter(parameters, L"ReleaseChannel", GetReleaseChannel());
  SetUploadParameter(parameters, L"BuildID", GetBuildId());
  const auto process_type = parameters->find(L"ProcessType");
  SetUploadParameter(parameters, L"symbols-package",
                     GetSymbolsPackage(process_type == parameters->end()
                                           ? std::wstring_view()
                                           : std::wstring_view(process_type->second)));
}

void BuildMinidumpParameters(HANDLE process,
                             const CustomClientInfo& keys,
                             UploadParameters* parameters) {
  AddEmailParameter(parameters);
  for (size_t i = 0; i < keys.count; ++i) {
    const CustomInfoEntry& entry = keys.entries[i];
    const wchar_t* name =
        GetUploadParameterName(CrashKeyText(entry.name, CustomInfoEntry::kNameLength));
    // A value spread over several slots arrives whole.
    if (name)
      (*parameters)[name].append(CrashKeyText(entry.value, CustomInfoEntry::kValueLength));
  }
  SetUploadParameter(parameters, L"Origin", GetCrashOrigin(keys));
  AddTimeParameters(process, &keys, parameters);
  AddProductParameters(parameters);
}

void BuildCrashReporterParameters(DWORD pid, UploadParameters* parameters) {
  AddEmailParameter(parameters);
  SetUploadParameter(parameters, L"ProcessType", L"crash_reporter");
  base::win::ScopedHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process.IsValid())
    PLOG(WARNING) << "Cannot open crashed process " << pid << " for its times";
  AddTimeParameters(process.Get(), nullptr, parameters);
  AddProductParameters(parameters);
}

void BuildTextLogParameters(const CustomClientInfo& keys, UploadParameters* parameters) {
  AddLowerCaseEmailParameter(parameters);
  // The uptime in whole seconds: the milliseconds without their last three digits.
  std::wstring ptime;
  if (GetCrashKeyValue(keys, L"ptime", &ptime) && ptime.size() >= 4 && ptime.size() <= 13)
    SetUploadParameter(parameters, L"ptime", ptime.substr(0, ptime.size() - 3));
  SetUploadParameter(parameters, L"origin", GetCrashOrigin(keys));
  std::wstring url;
  if (!IsBrowserProcess(keys) && ConcatCrashKeyValues(keys, L"URL", &url))
    SetUploadParameter(parameters, L"URL", url);
  SetUploadParameter(parameters, L"ProductName",
                     base::Utf8ToUtf16(installer::ProductConfig::GetInstance().GetProductName()));
  SetUploadParameter(parameters, L"Version",
                     base::Utf8ToUtf16(installer::ProductInfo::GetVersion()));
  SetUploadParameter(parameters, L"build_number",
                     Decimal(installer::ProductInfo::GetBuildNumber()));
  SetUploadParameter(parameters, L"ReleaseChannel",
                     base::Utf8ToUtf16(installer::ProductInfo::GetStream()));
}

void FillCrashLogInfo(const CustomClientInfo& keys, CrashLogInfo* info) {
  std::string collected[std::size(kCollectedKeys)];
  for (size_t i = 0; i < keys.count; ++i) {
    const CustomInfoEntry& entry = keys.entries[i];
    const std::string name =
        base::Utf16ToUtf8(CrashKeyText(entry.name, CustomInfoEntry::kNameLength));
    const std::string value =
        base::Utf16ToUtf8(CrashKeyText(entry.value, CustomInfoEntry::kValueLength));
    if (!IsValidMetadataName(name) || std::find(std::begin(kSkippedKeys), std::end(kSkippedKeys),
                                                name) != std::end(kSkippedKeys)) {
      continue;
    }
    const auto collected_key =
        std::find(std::begin(kCollectedKeys), std::end(kCollectedKeys), name);
    if (collected_key != std::end(kCollectedKeys)) {
      collected[collected_key - std::begin(kCollectedKeys)] += value;
    } else if (name == "Version") {
      info->version = value;
    } else if (name == "build_number") {
      info->build_number = value;
    } else if (!value.empty()) {
      info->metadata.emplace_back(name, value);
    }
  }
  for (size_t i = 0; i < std::size(kCollectedKeys); ++i) {
    if (i > 0 || !collected[i].empty())
      info->metadata.emplace_back(kCollectedKeys[i], collected[i]);
  }
  const CrashSystemInfo& system = CrashSystemInfo::Get();
  info->metadata.emplace_back("os_version", system.os_version);
  info->metadata.emplace_back("os_service_pack_version", system.os_service_pack_version);
  info->metadata.emplace_back("cpu_architecture", system.cpu_architecture);
  info->metadata.emplace_back("cpu_level", system.cpu_level);
  info->metadata.emplace_back("cpu_revision", system.cpu_revision);
  FillCrashLogInfoDefaults(info);
}

void AddMemoryMetadata(uint64_t working_set,
                       uint64_t peak_working_set,
                       uint64_t private_bytes,
                       CrashLogInfo* info) {
  info->metadata.emplace_back("mem_working_set_size", base::Uint64ToString(working_set));
  info->metadata.emplace_back("mem_peak_working_set_size", base::Uint64ToString(peak_working_set));
  info->metadata.emplace_back("mem_private_usage", base::Uint64ToString(private_bytes));
}

void FillCrashLogInfoDefaults(CrashLogInfo* info) {
  if (info->version.empty())
    info->version = installer::ProductInfo::GetVersion();
  if (info->build_number.empty())
    info->build_number = base::StringPrintf("%d", installer::ProductInfo::GetBuildNumber());
  if (info->product_suffix.empty())
    info->product_suffix = installer::ProductConfig::GetInstance().GetCrashLogProductSuffix();
}

void FillCrashReporterLogInfo(CrashLogInfo* info) {
  info->metadata.emplace_back("process_type", "crash_reporter");
  FillCrashLogInfoDefaults(info);
}

}  // namespace crash_reporter
