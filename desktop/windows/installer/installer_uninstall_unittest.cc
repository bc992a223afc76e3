#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/installer.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerReinstallCommandTest, SplitsTheProgramFromItsParameters) {
  const struct {
    const wchar_t* command;
    bool valid;
    const wchar_t* program;
    const wchar_t* parameters;
  } cases[] = {
      {L"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -reinstall now", true,
       L"C:\\Program Files\\Internet Explorer\\iexplore.exe", L"-reinstall now"},
      // No blank after the quote, or several: the rest, trimmed.
      {L"\"C:\\ie4uinit.exe\"-reinstall", true, L"C:\\ie4uinit.exe", L"-reinstall"},
      {L"  \"C:\\ie4uinit.exe\"   -reinstall  ", true, L"C:\\ie4uinit.exe", L"-reinstall"},
      {L"\"C:\\ie4uinit.exe\"", true, L"C:\\ie4uinit.exe", L""},
      {L"C:\\Windows\\ie4uinit.exe -reinstall -x", true, L"C:\\Windows\\ie4uinit.exe",
       L"-reinstall -x"},
      {L"ie4uinit.exe", true, L"ie4uinit.exe", L""},
      // A quote that never closes, an empty program, nothing at all.
      {L"\"C:\\Program Files\\never closed.exe -reinstall", false, L"", L""},
      {L"\"", false, L"", L""},
      {L"\"\" -reinstall", false, L"", L""},
      {L"   ", false, L"", L""},
  };
  for (const auto& entry : cases) {
    std::wstring program = L"unchanged";
    std::wstring parameters;
    EXPECT_EQ(entry.valid, Installer::ParseReinstallCommand(entry.command, &program, &parameters))
        << entry.command;
    if (entry.valid) {
      EXPECT_EQ(entry.program, program) << entry.command;
      EXPECT_EQ(entry.parameters, parameters) << entry.command;
    }
  }
}

TEST(InstallerCleanupBatchTest, WaitsOnlyForTheProcessesThereAreAndDeletesOnlyWhatIsLeft) {
  const base::FilePath folder(L"C:\\Program Files\\Tavro");
  // Only this installer, and everything deleted already: the batch only deletes itself.
  EXPECT_EQ(
      "SET PID1_RUNNING=TRUE\n"
      ":again\n"
      "IF %PID1_RUNNING%==TRUE (\n"
      "TASKLIST /FI \"PID eq 17\" | FIND /c /i \".exe\"\n"
      "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\n"
      ")\n"
      "ping -n 2 127.0.0.1\n"
      "IF %PID1_RUNNING%==TRUE GOTO :again\n"
      "del %0\n",
      Installer::MakeCleanupBatch({17, 0, 0}, folder, {}));

  // A second installer keeps its number without a front end; two files in one folder name
  // it once; a file outside the install folder removes no folder.
  EXPECT_EQ(
      "SET PID1_RUNNING=TRUE\n"
      "SET PID3_RUNNING=TRUE\n"
      ":again\n"
      "IF %PID1_RUNNING%==TRUE (\n"
      "TASKLIST /FI \"PID eq 17\" | FIND /c /i \".exe\"\n"
      "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\n"
      ")\n"
      "IF %PID3_RUNNING%==TRUE (\n"
      "TASKLIST /FI \"PID eq 4294967295\" | FIND /c /i \".exe\"\n"
      "IF ERRORLEVEL 1 SET PID3_RUNNING=FALSE\n"
      ")\n"
      "ping -n 2 127.0.0.1\n"
      "IF %PID1_RUNNING%==TRUE GOTO :again\n"
      "IF %PID3_RUNNING%==TRUE GOTO :again\n"
      "del \"C:\\Program Files\\Tavro\\1.0\\a\\x.dll\"\n"
      "del \"C:\\Program Files\\Tavro\\1.0\\a\\y.dll\"\n"
      "del \"C:\\Program Files\\Tavro\\launcher.exe\"\n"
      "del \"D:\\Elsewhere\\z.txt\"\n"
      "rmdir \"C:\\Program Files\\Tavro\\1.0\\a\"\n"
      "rmdir \"C:\\Program Files\\Tavro\\1.0\"\n"
      "rmdir \"C:\\Program Files\\Tavro\"\n"
      "del %0\n",
      Installer::MakeCleanupBatch({17, 0, 0xFFFFFFFF}, folder,
                                  {base::FilePath(L"C:\\Program Files\\Tavro\\1.0\\a\\x.dll"),
                                   base::FilePath(L"C:\\Program Files\\Tavro\\1.0\\a\\y.dll"),
                                   base::FilePath(L"C:\\Program Files\\Tavro\\launcher.exe"),
                                   base::FilePath(L"D:\\Elsewhere\\z.txt")}));
}

}  // namespace
}  // namespace installer
