#include "desktop/windows/crash_reporter/crash_client_setup.h"

#include <windows.h>
#include <psapi.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/environment.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/win/executable_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/crash_reporter/crash_key_table.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

constexpr DWORD kTimeoutMs = 60000;

// Sets environment variables of this process for the rest of the scope (children inherit
// them), and removes them afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) { Set(name, value); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    for (const std::string& name : names_)
      environment_->UnSetVar(name);
  }

  void Set(const char* name, const std::string& value) {
    environment_->SetVar(name, value);
    names_.push_back(name);
  }

 private:
  std::unique_ptr<base::Environment> environment_ = base::Environment::Create();
  std::vector<std::string> names_;
};

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

// Stands for a reporter that gets ready: it sets its parent's init event and serves until
// it is ended.
TEST(CrashClientSetupTest, DISABLED_ReporterThatGetsReady) {
  if (!base::test::IsChildTest())
    return;
  base::CommandLine::InitForCurrentProcess();
  unsigned parent_pid = 0;
  base::StringToUint(
      base::CommandLine::ForCurrentProcess()->GetSwitchValueNative("crash-reporter-parent-id"),
      &parent_pid);
  base::win::ScopedHandle ready(
      ::OpenEventW(EVENT_MODIFY_STATE, FALSE, MakeReporterInitEventName(parent_pid).c_str()));
  if (ready.IsValid() && ::SetEvent(ready.Get()))
    ::Sleep(kTimeoutMs);
}

TEST(CrashClientSetupTest, StartingAReporterEndsWhenItIsReadyOrHasEnded) {
  // The installer's reporter role, which this build does not have yet, ends at once: the
  // start must not wait for the time-out (a time-out would give kTimedOut).
  base::FilePath program;
  ASSERT_TRUE(base::win::GetExecutablePath(&program));
  base::CommandLine installer(program.DirName().Append(L"installer.exe"));
  installer.AppendSwitchASCII("crash-reporter-parent-id",
                              base::StringPrintf("%lu", ::GetCurrentProcessId()));
  DWORD reporter_pid = 0;
  EXPECT_EQ(ReporterStart::kEnded, StartCrashReporter(installer, kTimeoutMs, &reporter_pid));
  EXPECT_EQ(0u, reporter_pid);

  // A reporter that signals its readiness.
  const char kChild[] = "CrashClientSetupTest.DISABLED_ReporterThatGetsReady";
  ScopedEnvironment child_guard("TAVRO_TEST_CHILD", kChild);
  base::CommandLine ready_reporter(program);
  ready_reporter.AppendSwitchASCII("gtest_filter", kChild);
  ready_reporter.AppendSwitch("gtest_also_run_disabled_tests");
  ready_reporter.AppendSwitchASCII("crash-reporter-parent-id",
                                   base::StringPrintf("%lu", ::GetCurrentProcessId()));
  EXPECT_EQ(ReporterStart::kReady, StartCrashReporter(ready_reporter, kTimeoutMs, &reporter_pid));
  base::Process reporter = base::Process::Open(reporter_pid, PROCESS_TERMINATE | SYNCHRONIZE);
  ASSERT_TRUE(reporter.IsValid());
  EXPECT_TRUE(reporter.Terminate(0));
}

TEST(CrashClientSetupTest, ModuleListNamesTheLoadedModulesWithTheirPlaceAndPath) {
  const std::wstring list = BuildModuleList();
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(L"::", list.substr(list.size() - 2));
  std::vector<std::wstring> names;
  size_t position = 0;
  while (position < list.size()) {
    const size_t end = list.find(L"::", position);
    ASSERT_NE(std::wstring::npos, end);
    const std::wstring entry = list.substr(position, end - position);
    position = end + 2;
    // name:base:size:path, where the path has a colon of its own.
    const size_t first = entry.find(L':');
    const size_t second = entry.find(L':', first + 1);
    const size_t third = entry.find(L':', second + 1);
    ASSERT_NE(std::wstring::npos, third) << entry;
    const std::wstring name = entry.substr(0, first);
    names.push_back(name);
    const HMODULE module = ::GetModuleHandleW(names.size() == 1 ? nullptr : name.c_str());
    ASSERT_TRUE(module) << entry;
    MODULEINFO info = {};
    ASSERT_TRUE(::GetModuleInformation(::GetCurrentProcess(), module, &info, sizeof(info)));
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    EXPECT_EQ(base::WideStringPrintf(
                  L"%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(info.lpBaseOfDll))),
              entry.substr(first + 1, second - first - 1));
    EXPECT_EQ(base::WideStringPrintf(L"%lx", static_cast<unsigned long>(info.SizeOfImage)),
              entry.substr(second + 1, third - second - 1));
    EXPECT_EQ(std::wstring(path, length), entry.substr(third + 1));
  }
  // This program first, then the system's libraries in their fixed order; the browser's
  // own libraries are not loaded here.
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(L"crash_reporter_unittests.exe", names[0]);
  EXPECT_EQ(L"kernel32.dll", names[names.size() - 4]);
  EXPECT_EQ(L"ntdll.dll", names[names.size() - 3]);
  EXPECT_EQ(L"user32.dll", names[names.size() - 2]);
  EXPECT_EQ(L"msvcrt.dll", names[names.size() - 1]);
}

TEST(CrashClientSetupTest, FillsTheKeysOfThisProcessFromItsEnvironment) {
  ScopedEnvironment environment("TAVRO_CRASH_REPORTER_BRIXEL_TEST", std::string(70, 'b'));
  environment.Set("CRASH_ORIGIN", "test-origin");
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

TEST(CrashConfigTest, BuildIdIsEightDateCharactersAndSixDigits) {
  EXPECT_EQ(L"20260102000123", FormatBuildId("20260102_030405", 123));
  EXPECT_EQ(L"20260000234567", FormatBuildId("2026", 1234567));
  EXPECT_EQ(14u, GetBuildId().size());
}

TEST(CrashConfigTest, NamesTheChannelSymbolsAndVariablesOfTheBuild) {
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
  for (const char* value : {"1", "yes", "YeS", "TRUE", "true"}) {
    ScopedEnvironment set(kFlag, value);
    EXPECT_TRUE(GetEnvironmentFlag(environment.get(), kFlag, false)) << value;
    EXPECT_EQ(value, GetEnvironmentValue(environment.get(), kFlag));
  }
  for (const char* value : {"0", "no", "on", "2"}) {
    ScopedEnvironment set(kFlag, value);
    EXPECT_FALSE(GetEnvironmentFlag(environment.get(), kFlag, true)) << value;
  }
  EXPECT_EQ("", GetEnvironmentValue(environment.get(), kFlag));
}

}  // namespace
}  // namespace crash_reporter
