#include "desktop/windows/crash_reporter/crash_client_setup.h"

#include <windows.h>
#include <psapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/environment.h"
#include "base/files/scoped_temp_dir.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_environment.h"
#include "base/test/scoped_log_capture.h"
#include "base/win/executable_path.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/crash_reporter/crash_dump_client.h"
#include "desktop/windows/crash_reporter/crash_key_table.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

constexpr DWORD kTimeoutMs = 60000;

using base::test::ScopedEnvironment;

TEST(CrashClientSetupTest, ReadsTheReporterIdFromTheCommandLine) {
  auto pid = [](const wchar_t* command_line) {
    return GetCrashReporterPidFromCommandLine(base::CommandLine::FromString(command_line));
  };
  EXPECT_EQ(1234u, pid(L"installer.exe --crash-reporter-pid=1234"));
  // Each of these means: start a reporter.
  EXPECT_EQ(0u, pid(L"installer.exe"));
  EXPECT_EQ(0u, pid(L"installer.exe --crash-reporter-pid=0"));
  EXPECT_EQ(0u, pid(L"installer.exe --crash-reporter-pid=reporter"));
  EXPECT_EQ(0u, pid(L"installer.exe --crash-reporter-pid=-12"));
  EXPECT_EQ(0u, pid(L"installer.exe --crash-reporter-pid=4294967296"));
}

TEST(CrashClientSetupTest, TheReporterRunsThisProgramWithItsSwitchesAndTheParentId) {
  const std::unique_ptr<base::CommandLine> reporter = MakeCrashReporterCommandLine();
  const base::CommandLine& current = *base::CommandLine::ForCurrentProcess();
  EXPECT_EQ(current.GetProgram(), reporter->GetProgram());
  EXPECT_EQ(base::UintToWideString(::GetCurrentProcessId()),
            reporter->GetSwitchValueNative("crash-reporter-parent-id"));
  for (const auto& current_switch : current.GetSwitches())
    EXPECT_EQ(current_switch.second, reporter->GetSwitchValueNative(current_switch.first));
  EXPECT_EQ(current.GetSwitches().size() + 1, reporter->GetSwitches().size());
  EXPECT_EQ(current.GetArgs(), reporter->GetArgs());
}

TEST(CrashClientSetupTest, StartingAReporterEndsWhenItIsReadyOrHasEnded) {
  base::FilePath program;
  ASSERT_TRUE(base::win::GetExecutablePath(&program));
  base::CommandLine installer(program.DirName().Append(L"installer.exe"));

  // A reporter that cannot watch its parent ends at once: the start must not wait for the
  // time-out (which would give kTimedOut).
  installer.AppendSwitchASCII("crash-reporter-parent-id", "0");
  base::Process reporter;
  EXPECT_EQ(ReporterStart::kEnded, StartCrashReporter(installer, kTimeoutMs, &reporter));
  EXPECT_FALSE(reporter.IsValid());

  // The installer's reporter of this process gets ready and registers clients on its pipe.
  installer.AppendSwitchASCII("crash-reporter-parent-id",
                              base::StringPrintf("%lu", ::GetCurrentProcessId()));
  ASSERT_EQ(ReporterStart::kReady, StartCrashReporter(installer, kTimeoutMs, &reporter));
  ASSERT_TRUE(reporter.IsValid());
  const CrashKeyTableInfo keys = CrashKeyTable::GetInstance().GetInfo();
  CrashDumpClient client(MakeCrashPipeName(reporter.Pid()), reporter.Pid(), MiniDumpNormal, &keys);
  EXPECT_TRUE(client.Register());
  EXPECT_TRUE(reporter.Terminate(0));
}

// The event by which a reporter says it is ready is named after its parent, so any process
// may make it first. One that everyone may set is refused by name on both sides: no
// reporter is started to wait for it, and a reporter started anyway serves nobody.
TEST(CrashClientSetupTest, AnInitEventThatOthersMaySetIsRefused) {
  const std::wstring name = MakeReporterInitEventName(::GetCurrentProcessId());
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100002;;;WD)", SDDL_REVISION_1, &raw_descriptor,
      nullptr));
  const base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw_descriptor, FALSE};
  const base::win::ScopedHandle squatted(::CreateEventW(&attributes, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(squatted.IsValid());
  base::FilePath program;
  ASSERT_TRUE(base::win::GetExecutablePath(&program));
  base::CommandLine installer(program.DirName().Append(L"installer.exe"));
  installer.AppendSwitchASCII("crash-reporter-parent-id",
                              base::StringPrintf("%lu", ::GetCurrentProcessId()));

  {
    base::test::ScopedLogCapture log;
    base::Process reporter;
    EXPECT_EQ(ReporterStart::kFailed, StartCrashReporter(installer, kTimeoutMs, &reporter));
    EXPECT_FALSE(reporter.IsValid());
    EXPECT_LE(1, log.CountLinesContaining(base::Utf16ToUtf8(name)));
  }

  // A reporter would serve until this process ends: it ends at once instead.
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  base::LaunchOptions options;
  options.environment = {{L"TEMP", temp.GetPath().value()}, {L"TMP", temp.GetPath().value()}};
  const base::Process reporter = base::LaunchProcess(installer, options);
  ASSERT_TRUE(reporter.IsValid());
  DWORD exit_code = 0;
  EXPECT_TRUE(reporter.WaitForExitWithTimeout(kTimeoutMs, &exit_code));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(squatted.Get(), 0));
}

TEST(CrashClientSetupTest, ModuleListNamesTheLoadedModulesWithTheirPlaceAndPath) {
  // This program first, then the system's libraries in their fixed order; the browser's
  // own libraries are not loaded here.
  std::wstring expected;
  for (const wchar_t* name : {L"crash_reporter_unittests.exe", L"KernelBase.dll", L"kernel32.dll",
                              L"ntdll.dll", L"user32.dll", L"msvcrt.dll"}) {
    const HMODULE module = ::GetModuleHandleW(expected.empty() ? nullptr : name);
    MODULEINFO info = {};
    ASSERT_TRUE(::GetModuleInformation(::GetCurrentProcess(), module, &info, sizeof(info)));
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    expected += base::WideStringPrintf(
        L"%ls:%016llX:%lx:%ls::", name,
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(info.lpBaseOfDll)),
        static_cast<unsigned long>(info.SizeOfImage), std::wstring(path, length).c_str());
  }
  EXPECT_EQ(expected, BuildModuleList());
}

TEST(CrashClientSetupTest, FillsTheKeysOfThisProcessFromItsEnvironment) {
  ScopedEnvironment environment({{"TAVRO_CRASH_REPORTER_BRIXEL_TEST", std::string(70, 'b')},
                                 {"CRASH_ORIGIN", "test-origin"}});
  FillCrashKeys();
  const CrashKeyTableInfo info = CrashKeyTable::GetInstance().GetInfo();
  ASSERT_EQ(97u, info.count);
  EXPECT_STREQ(L"installer", info.entries[CRASH_KEY_PROCESS_TYPE].value);
  EXPECT_EQ(std::wstring(63, L'b'), info.entries[28].value);
  EXPECT_EQ(std::wstring(7, L'b'), info.entries[29].value);
  EXPECT_STREQ(L"", info.entries[30].value);
  EXPECT_STREQ(L"test-origin", info.entries[CRASH_KEY_ORIGIN].value);
  EXPECT_EQ(BuildModuleList().substr(0, 63), info.entries[CRASH_KEY_MODULES_FIRST].value);
}

TEST(CrashConfigTest, NamesTheBuildChannelSymbolsAndVariables) {
  EXPECT_EQ(L"20260102000123", FormatBuildId("20260102_030405", 123));
  EXPECT_EQ(L"20260000234567", FormatBuildId("2026", 1234567));
  EXPECT_EQ(14u, GetBuildId().size());
  EXPECT_EQ(L"nightly", GetReleaseChannelForStream(2, "Developer"));
  EXPECT_EQ(L"release", GetReleaseChannelForStream(4, "Stable"));
  EXPECT_EQ(L"Next", GetReleaseChannelForStream(3, "Next"));
  EXPECT_EQ(L"tests-syms", GetSymbolsPackage(L"browser_tests"));
  EXPECT_EQ(L"browser-syms", GetSymbolsPackage(L"Browser_tests"));
  EXPECT_EQ("TAVRO_CRASH_EMAIL", GetCrashEmailVariableName());
  EXPECT_EQ("TAVRO_CRASH_KEEP_LOGS", GetCrashKeepLogsVariableName());
}

TEST(CrashConfigTest, EnvironmentFlagsAreOneYesOrTrueInAnyCase) {
  std::unique_ptr<base::Environment> environment = base::Environment::Create();
  const char kFlag[] = "TAVRO_TEST_CRASH_FLAG";
  EXPECT_TRUE(GetEnvironmentFlag(environment.get(), kFlag, true));
  EXPECT_FALSE(GetEnvironmentFlag(environment.get(), kFlag, false));
  for (const char* value : {"1", "YeS", "TRUE", "0", "no", "on"}) {
    ScopedEnvironment set({{std::string(kFlag), std::string(value)}});
    const bool expected = value[0] == '1' || value[0] == 'Y' || value[0] == 'T';
    EXPECT_EQ(expected, GetEnvironmentFlag(environment.get(), kFlag, !expected)) << value;
    EXPECT_EQ(value, GetEnvironmentValue(environment.get(), kFlag));
  }
  EXPECT_EQ("", GetEnvironmentValue(environment.get(), kFlag));
}

}  // namespace
}  // namespace crash_reporter
