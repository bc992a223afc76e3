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

}  // namespace
}  // namespace installer
