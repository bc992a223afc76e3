#include "base/test/child_test_process.h"

#include "base/environment.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/executable_path.h"
#include "gtest/gtest.h"

namespace base {
namespace test {

namespace {

constexpr char kChildTestVariable[] = "TAVRO_TEST_CHILD";

LONG WINAPI EndProcessFilter(EXCEPTION_POINTERS* info) {
  return EXCEPTION_EXECUTE_HANDLER;
}

// The command line of the child that runs |test_name|, with the child guard added to
// |options|; empty when this program's path is unknown.
std::wstring PrepareChildTest(const char* test_name, LaunchOptions* options) {
  const auto changes = GetChildTestEnvironment(test_name);
  options->environment.insert(options->environment.end(), changes.begin(), changes.end());
  return GetChildTestCommandLine(test_name);
}

}  // namespace

std::wstring GetChildTestCommandLine(const char* test_name) {
  FilePath program;
  if (!win::GetExecutablePath(&program))
    return std::wstring();
  return L"\"" + program.value() + L"\" --gtest_filter=" + Utf8ToUtf16(test_name) +
         L" --gtest_also_run_disabled_tests";
}

std::vector<std::pair<std::wstring, std::wstring>> GetChildTestEnvironment(
    const char* test_name) {
  return {{Utf8ToUtf16(kChildTestVariable), Utf8ToUtf16(test_name)},
          {L"GTEST_TOTAL_SHARDS", std::wstring()},
          {L"GTEST_SHARD_INDEX", std::wstring()}};
}

ChildTestResult RunChildTest(const char* test_name, LaunchOptions options) {
  const std::wstring command_line = PrepareChildTest(test_name, &options);
  if (command_line.empty())
    return ChildTestResult();
  ChildTestResult result;
  result.started = GetAppOutputWithOptions(command_line, options, true, &result.output,
                                           &result.exit_code);
  return result;
}

Process StartChildTest(const char* test_name, LaunchOptions options) {
  const std::wstring command_line = PrepareChildTest(test_name, &options);
  if (command_line.empty())
    return Process();
  return LaunchProcess(command_line, options);
}

bool IsChildTest() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string value;
  return test && Environment::Create()->GetVar(kChildTestVariable, &value) &&
         value == std::string(test->test_suite_name()) + "." + test->name();
}

void EndProcessOnCrash() {
  ::SetUnhandledExceptionFilter(&EndProcessFilter);
}

}  // namespace test
}  // namespace base
