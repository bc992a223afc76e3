#include "desktop/windows/installer/installer_runner_backend.h"

#include <string>

#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Runs installer.exe with |switches| and its temporary folder in a folder of its own;
// returns the log it wrote.
std::string RunInstallerExeForLog(const std::wstring& switches, unsigned long* exit_code) {
  base::ScopedTempDir temp;
  EXPECT_TRUE(temp.CreateUniqueTempDir());
  const test::ProcessResult run = test::RunInstallerExe(
      L"--v=1 " + switches, {{L"TMP", temp.GetPath().value()}, {L"TEMP", temp.GetPath().value()}});
  EXPECT_TRUE(run.started);
  EXPECT_FALSE(run.timed_out);
  *exit_code = run.exit_code;
  return test::ReadInstallerLog(temp.GetPath());
}

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
  for (const auto& run : cases) {
    unsigned long exit_code = 0;
    const std::string log =
        RunInstallerExeForLog(std::wstring(L"--backend ") + run.switches, &exit_code);
    EXPECT_EQ(1u, exit_code) << run.switches;
    EXPECT_NE(std::string::npos, log.find(run.error)) << run.switches;
    EXPECT_FALSE(HasLine(log, "Installer backend exiting")) << run.switches;
  }

  // A handle value that this process does not hold is not taken.
  unsigned long exit_code = 0;
  const std::string log =
      RunInstallerExeForLog(L"--backend --initial-proc-handle=FCFFFF0F00000000", &exit_code);
  EXPECT_EQ(1u, exit_code);
  EXPECT_NE(std::string::npos, log.find("Using initial process handle FCFFFF0F00000000"));
  EXPECT_NE(std::string::npos,
            log.find("The initial process handle is not a handle of this process"));
}

TEST(InstallerRunnerBackendTest, ProtocolHandlerRegistrationRunsWithoutAFrontEnd) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  unsigned long exit_code = 0;
  const std::string log = RunInstallerExeForLog(
      L"--register-tavro-as-protocol-handler --copyonly=1 --installfolder=\"" +
          folder.GetPath().Append(L"Tavro").value() + L"\"",
      &exit_code);
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
