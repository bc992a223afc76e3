#include "desktop/windows/installer/installer_runner_backend.h"

#include <memory>
#include <string>
#include <vector>

#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// installer.exe with |switches| and its temporary folder in a folder of its own, started at
// once; Finish waits for it and returns the log it wrote. Runs that do not depend on each
// other go side by side: each is mostly a process start.
class BackendRun {
 public:
  explicit BackendRun(const std::wstring& switches) : switches_(switches) {
    EXPECT_TRUE(temp_.CreateUniqueTempDir());
    test::ProcessOptions options;
    options.environment = {{L"TMP", temp_.GetPath().value()},
                           {L"TEMP", temp_.GetPath().value()}};
    EXPECT_TRUE(process_.Start(
        L"\"" + test::GetTestBinFolder() + L"\\installer.exe\" --v=1 " + switches, options));
  }

  std::string Finish(unsigned long* exit_code) {
    const test::ProcessResult run = process_.Wait();
    EXPECT_TRUE(run.started) << switches_;
    EXPECT_FALSE(run.timed_out) << switches_;
    *exit_code = run.exit_code;
    return test::ReadInstallerLog(temp_.GetPath());
  }

 private:
  const std::wstring switches_;
  base::ScopedTempDir temp_;
  test::TestProcess process_;
};

bool HasLine(const std::string& log, const std::string& message) {
  return log.find("] " + message + "\n") != std::string::npos;
}

TEST(InstallerRunnerBackendTest, RunsOnlyForAFrontEndItCanWatch) {
  struct {
    const wchar_t* switches;
    const char* error;
  } const cases[] = {
      {L"", "Missing information about initial process"},
      {L"--initial-proc-handle=", "Failed parsing initial process handle"},
      {L"--initial-proc-handle=0401", "Failed parsing initial process handle"},
      {L"--initial-proc-handle=040000000000000", "Failed parsing initial process handle"},
      {L"--initial-proc-handle=04000000000000zz", "Failed parsing initial process handle"},
      {L"--initial-proc-handle=0400000000000000FF", "Failed parsing initial process handle"},
      {L"--initial-pid=12a", "Failed parsing initial pid"},
      {L"--initial-pid=4000000000", "Failed opening initial process"},
  };
  std::vector<std::unique_ptr<BackendRun>> runs;
  for (const auto& run : cases)
    runs.push_back(std::make_unique<BackendRun>(std::wstring(L"--backend ") + run.switches));
  // A handle value that this process does not hold is not taken.
  BackendRun foreign_handle(L"--backend --initial-proc-handle=FCFFFF0F00000000");

  for (size_t i = 0; i < std::size(cases); ++i) {
    unsigned long exit_code = 0;
    const std::string log = runs[i]->Finish(&exit_code);
    EXPECT_EQ(1u, exit_code) << cases[i].switches;
    EXPECT_NE(std::string::npos, log.find(cases[i].error)) << cases[i].switches;
    EXPECT_FALSE(HasLine(log, "Installer backend exiting")) << cases[i].switches;
  }
  unsigned long exit_code = 0;
  const std::string log = foreign_handle.Finish(&exit_code);
  EXPECT_EQ(1u, exit_code);
  EXPECT_NE(std::string::npos, log.find("Using initial process handle FCFFFF0F00000000"));
  EXPECT_NE(std::string::npos,
            log.find("The initial process handle is not a handle of this process"));
}

TEST(InstallerRunnerBackendTest, ProtocolHandlerRegistrationRunsWithoutAFrontEnd) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  unsigned long exit_code = 0;
  const std::string log =
      BackendRun(L"--register-tavro-as-protocol-handler --copyonly=1 --installfolder=\"" +
                 folder.GetPath().Append(L"Tavro").value() + L"\"")
          .Finish(&exit_code);
  EXPECT_FALSE(HasLine(log, "Missing information about initial process"));
  EXPECT_FALSE(HasLine(log, "Failed watching initial process"));
  // It runs the installer, which needs the front end's events here and fails.
  EXPECT_TRUE(HasLine(log, "Settings already obtained. Running.") ||
              HasLine(log, "Waiting for settings to be ready"));
  EXPECT_TRUE(HasLine(log, "Installer backend exiting"));
  EXPECT_EQ(1u, exit_code);
}

}  // namespace
}  // namespace installer
