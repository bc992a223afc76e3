#include "desktop/windows/installer/service/transactions/install_program_operation.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/environment.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/time/time.h"
#include "base/win/executable_path.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Where the grandchild below writes its process id.
constexpr char kGrandchildIdFileVariable[] = "TAVRO_TEST_GRANDCHILD_ID_FILE";

// Runs as a process that the "component installer" below started: notes its process id and
// stays running until it is ended (a minute at most).
TEST(InstallProgramChildTest, DISABLED_StayRunning) {
  if (!base::test::IsChildTest())
    return;
  std::string id_file;
  ASSERT_TRUE(base::Environment::Create()->GetVar(kGrandchildIdFileVariable, &id_file));
  const std::string id = std::to_string(::GetCurrentProcessId());
  ASSERT_EQ(static_cast<int>(id.size()),
            base::WriteFileFromBuffer(base::FilePath(base::Utf8ToUtf16(id_file)), id.data(),
                                      static_cast<int>(id.size())));
  ::Sleep(60000);
}

// Runs as the "component installer": starts the process above and waits for it, as an
// installer waits for what it started.
TEST(InstallProgramChildTest, DISABLED_StartAndWait) {
  if (!base::test::IsChildTest())
    return;
  base::LaunchOptions options;
  options.wait = true;
  base::test::StartChildTest("InstallProgramChildTest.DISABLED_StayRunning", options);
}

// Runs as a program that fails.
TEST(InstallProgramChildTest, DISABLED_ExitWith7) {
  if (base::test::IsChildTest())
    ::ExitProcess(7);
}

// Runs |test_name| of this program through the operation: the child's guard goes into
// this process's environment, which the operation's program inherits.
class InstallProgramOperationTest : public test::TempFolderTest {
 protected:
  void TearDown() override {
    for (const auto& [name, value] : changed_)
      ::SetEnvironmentVariableW(name.c_str(), nullptr);
    test::TempFolderTest::TearDown();
  }

  base::CommandLine ChildTest(const char* test_name) {
    for (const auto& [name, value] : base::test::GetChildTestEnvironment(test_name))
      SetVariable(name, value);
    return base::CommandLine::FromString(base::test::GetChildTestCommandLine(test_name));
  }
  void SetVariable(const std::wstring& name, const std::wstring& value) {
    EXPECT_TRUE(::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str()));
    changed_.emplace_back(name, value);
  }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> changed_;
};

// A program over its limit is ended with what it started: nothing of it goes on writing
// into the component's folder, which its undo removes.
TEST_F(InstallProgramOperationTest, ProgramOverItsLimitIsEndedWithWhatItStarted) {
  const base::FilePath id_file = Path(L"grandchild_id.txt");
  SetVariable(base::Utf8ToUtf16(kGrandchildIdFileVariable), id_file.value());
  const base::FilePath folder = Path(L"component");

  // The limit leaves the grandchild time to start, even on a loaded machine.
  InstallProgramOperation operation(ChildTest("InstallProgramChildTest.DISABLED_StartAndWait"),
                                    base::CommandLine(folder.Append(L"uninstaller.exe")), folder,
                                    base::TimeDelta::FromSeconds(10));
  EXPECT_FALSE(operation.Do());
  operation.Rollback();
  EXPECT_FALSE(base::PathExists(folder));

  std::string text;
  unsigned id = 0;
  ASSERT_TRUE(base::ReadFileToString(id_file, &text)) << "the grandchild never started";
  ASSERT_TRUE(base::StringToUint(text, &id)) << text;
  const base::Process process(
      ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                    static_cast<DWORD>(id)));
  if (!process.IsValid())
    return;  // Gone already.
  wchar_t image[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  base::FilePath self;
  ASSERT_TRUE(::QueryFullProcessImageNameW(process.Handle(), 0, image, &length));
  ASSERT_TRUE(base::win::GetExecutablePath(&self));
  if (!base::FilePath::CompareEqualIgnoreCase(
          base::FilePath(std::wstring(image, length)).BaseName().value(),
          self.BaseName().value())) {
    return;  // Its id went to another process.
  }
  // Left running, it would run for a minute.
  const bool ended = ::WaitForSingleObject(process.Handle(), 20000) == WAIT_OBJECT_0;
  EXPECT_TRUE(ended) << "what the program started is still running";
  if (!ended)
    process.Terminate(1);
}

// A program that ends in time succeeds whatever its exit code, which the caller reads.
TEST_F(InstallProgramOperationTest, ProgramThatEndsInTimeGivesItsExitCode) {
  const base::CommandLine exits_with_7 = ChildTest("InstallProgramChildTest.DISABLED_ExitWith7");
  InstallProgramOperation operation(exits_with_7, exits_with_7, Path(L"component"),
                                    base::TimeDelta::FromSeconds(60));
  ASSERT_TRUE(operation.Do());
  EXPECT_EQ(7u, operation.exit_code());
}

}  // namespace
}  // namespace installer
