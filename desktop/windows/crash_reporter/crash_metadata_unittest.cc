#include "desktop/windows/crash_reporter/crash_metadata.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/crash_reporter_flags.h"
#include "desktop/windows/installer/service/product_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

// Crash keys as the dump server hands them over: fixed fields, NUL-terminated.
class Keys {
 public:
  Keys(std::initializer_list<std::pair<const wchar_t*, std::wstring>> keys) {
    for (const auto& [name, value] : keys) {
      CustomInfoEntry entry = {};
      CopyTextTruncated(name, entry.name, CustomInfoEntry::kNameLength);
      CopyTextTruncated(value.c_str(), entry.value, CustomInfoEntry::kValueLength);
      entries_.push_back(entry);
    }
  }
  CustomClientInfo info() const { return {entries_.data(), entries_.size()}; }

 private:
  std::vector<CustomInfoEntry> entries_;
};

const std::wstring kVersion = base::Utf8ToUtf16(installer::ProductInfo::GetVersion());
const std::wstring kBuildNumber = base::IntToWideString(installer::ProductInfo::GetBuildNumber());

TEST(CrashMetadataTest, TheUploadsAndTheLogTellWhatTheCrashKeysSay) {
  const Keys keys({{L"Version", L"9.8.7.6"},
                   {L"build_number", L"987"},
                   {L"process_type", L"installer"},
                   {L"crash_guid", L""},
                   {L"URL", L"https://example.com/"},
                   {L"URL", L"page"},
                   {L"gpu_vendor_id", L""},
                   {L"brixel_test", L"suite"},
                   {L"origin", L"Brixel"},
                   {L"enabled_extensions", L"a"},
                   {L"enabled_extensions", L"b"},
                   {L"enabled_extensions", L"c"},
                   {L"bad name", L"left out"},
                   {L"modules", L"tavro.exe:1000:2000:C:\\tavro.exe::"},
                   {L"ab_tests", L""},
                   {L"ptime", L"12345"}});

  UploadParameters text_log;
  BuildTextLogParameters(keys.info(), &text_log);
  AddStacktraceIdParameter(L"", &text_log);
  const UploadParameters expected_text_log = {{L"ptime", L"12"},
                                              {L"origin", kTestAutomationOrigin},
                                              {L"URL", L"https://example.com/page"},
                                              {L"ProductName", L"Tavro"},
                                              {L"Version", kVersion},
                                              {L"build_number", kBuildNumber},
                                              {L"ReleaseChannel", L"Stable"}};
  EXPECT_EQ(expected_text_log, text_log);

  // The client is this process: its times are known.
  UploadParameters dump;
  BuildMinidumpParameters(::GetCurrentProcess(), keys.info(), &dump);
  FILETIME creation, exit, kernel, user;
  ASSERT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user));
  const base::Time start = base::Time::FromFileTime(creation);
  EXPECT_EQ(base::Int64ToWideString(start.ToUnixMilliseconds() / 1000), dump[L"StartupTime"]);
  EXPECT_EQ(base::Int64ToWideString((start.ToUnixMilliseconds() + 12345) / 1000),
            dump[L"CrashTime"]);
  EXPECT_FALSE(dump[L"InstallTime"].empty());
  dump.erase(L"StartupTime");
  dump.erase(L"CrashTime");
  dump.erase(L"InstallTime");
  const UploadParameters expected_dump = {{L"Version", L"9.8.7.6"},
                                          {L"UBN", L"987"},
                                          {L"ProcessType", L"installer"},
                                          {L"URL", L"https://example.com/page"},
                                          {L"gpu_vendor_id", L""},
                                          {L"enabled_extensions", L"abc"},
                                          {L"ab_tests", L""},
                                          {L"Origin", kTestAutomationOrigin},
                                          {L"ProductName", L"TavroDesktop"},
                                          {L"ReleaseChannel", L"release"},
                                          {L"BuildID", GetBuildId()},
                                          {L"symbols-package", L"browser-syms"}};
  EXPECT_EQ(expected_dump, dump);

  CrashLogInfo info;
  FillCrashLogInfo(keys.info(), &info);
  EXPECT_EQ("Installer", info.product_suffix);
  EXPECT_EQ("9.8.7.6", info.version);
  EXPECT_EQ("987", info.build_number);
  const CrashSystemInfo& system = CrashSystemInfo::Get();
  const std::vector<std::pair<std::string, std::string>> expected_metadata = {
      {"process_type", "installer"},
      {"origin", "Brixel"},
      {"brixel_test", "suite"},
      {"enabled_extensions", "abc"},
      {"disabled_extensions", ""},
      {"blacklisted_extensions", ""},
      {"terminated_extensions", ""},
      {"third_party_installs", ""},
      {"ab_tests", ""},
      {"os_version", system.os_version},
      {"os_service_pack_version", system.os_service_pack_version},
      {"cpu_architecture", system.cpu_architecture},
      {"cpu_level", system.cpu_level},
      {"cpu_revision", system.cpu_revision}};
  EXPECT_EQ(expected_metadata, info.metadata);
  EXPECT_EQ("0x9", system.cpu_architecture);  // x64.
}

TEST(CrashMetadataTest, AShortUptimeOrABrowserLeavesTheirParametersOut) {
  const Keys browser({{L"process_type", L"browser"},
                      {L"URL", L"https://a/"},
                      {L"ptime", L"999"},
                      {L"origin", L"elsewhere"}});
  UploadParameters text_log;
  BuildTextLogParameters(browser.info(), &text_log);
  EXPECT_EQ(0u, text_log.count(L"ptime"));
  EXPECT_EQ(0u, text_log.count(L"URL"));
  EXPECT_EQ(L"", text_log[L"origin"]);

  // A crashed crash reporter has only its process to go by; without it, the times are now.
  UploadParameters reporter;
  const int64_t before = base::Time::Now().ToUnixMilliseconds() / 1000;
  BuildCrashReporterParameters(0, &reporter);
  EXPECT_EQ(L"crash_reporter", reporter[L"ProcessType"]);
  EXPECT_EQ(reporter[L"StartupTime"], reporter[L"CrashTime"]);
  int64_t crash_time = 0;
  EXPECT_TRUE(base::StringToInt64(reporter[L"CrashTime"], &crash_time));
  EXPECT_GE(crash_time, before);
  EXPECT_EQ(0u, reporter.count(L"InstallTime"));
  EXPECT_EQ(L"browser-syms", reporter[L"symbols-package"]);

  CrashLogInfo info;
  FillCrashReporterLogInfo(&info);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"process_type", "crash_reporter"}};
  EXPECT_EQ(expected, info.metadata);
  EXPECT_EQ(installer::ProductInfo::GetVersion(), info.version);
}

TEST(CrashKeysTest, AModuleListIsReadUpToItsFirstBadEntry) {
  const std::vector<ModuleListEntry> modules = ParseModuleList(
      L"tavro.exe:0000000140000000:1f000:C:\\Program Files\\Tavro\\tavro.exe::"
      L"kernel32.dll:zz:1000:C:\\windows\\system32\\kernel32.dll::"
      L"ntdll.dll:7ff000:1000:C:\\windows\\system32\\ntdll.dll::");
  ASSERT_EQ(1u, modules.size());
  EXPECT_EQ(L"tavro.exe", modules[0].name);
  EXPECT_EQ(L"C:\\Program Files\\Tavro\\tavro.exe", modules[0].path);
  EXPECT_EQ(0x140000000u, modules[0].base_address);
  EXPECT_EQ(0x1f000u, modules[0].size);
  EXPECT_TRUE(ParseModuleList(L"a.dll:1000:1000:").empty());
  EXPECT_TRUE(ParseModuleList(L"").empty());
}

TEST(CrashReporterFlagsTest, FeatureSwitchesThenPreferencesDecide) {
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const base::FilePath preferences = temp_dir.GetPath().Append(L"Preferences");
  const base::CommandLine plain = base::CommandLine::FromString(L"installer.exe");
  auto read = [&](const char* json, const wchar_t* command_line) {
    base::WriteFileFromBuffer(preferences, json, static_cast<int>(strlen(json)));
    CrashReporterFlags::Read(preferences, base::CommandLine::FromString(command_line));
    return std::make_pair(IsReportingEnabled(), IsAlternativeCrashLoggingEnabled());
  };
  // This build is a stable one: no alternative crash logging unless asked for.
  EXPECT_EQ(std::make_pair(true, false), read("", L"installer.exe"));
  EXPECT_EQ(std::make_pair(true, true),
            read("[]", L"installer.exe --with-feature:alternative-crash-logging=on"));
  EXPECT_EQ(std::make_pair(false, false),
            read(R"({"user_experience_metrics": {"reporting_enabled": false},
                     "browser": {"flags": {"alternative-crash-logging": 2}}})",
                 L"installer.exe --with-feature:alternative-crash-logging=on"));
  EXPECT_EQ(std::make_pair(true, true),
            read(R"({"user_experience_metrics": {"reporting_enabled": 1},
                     "browser": {"flags": {"alternative-crash-logging": 1}}})",
                 L"installer.exe"));
  // A later read starts afresh.
  CrashReporterFlags::Read(base::FilePath(), plain);
  EXPECT_EQ(std::make_pair(true, false),
            std::make_pair(IsReportingEnabled(), IsAlternativeCrashLoggingEnabled()));
}

}  // namespace
}  // namespace crash_reporter
