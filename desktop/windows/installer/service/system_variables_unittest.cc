#include "desktop/windows/installer/service/system_variables.h"

#include <windows.h>

#include <string>

#include "base/test/scoped_environment.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A user sets variables of their own environment, which an elevated run inherits: none of
// them decides which program a registered command names.
TEST(SystemVariablesTest, ExpandsTheSystemsFoldersAndNothingTheUserSets) {
  const base::test::ScopedEnvironment environment(
      {{"SystemRoot", "C:\\planted"}, {"windir", "C:\\planted"}, {"TAVRO_PLANTED", "C:\\planted"}});
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetSystemWindowsDirectoryW(windows, MAX_PATH));

  std::wstring expanded = L"unchanged";
  ASSERT_TRUE(ExpandSystemVariables(L"\"%SystemRoot%\\system32\\x.exe\" -a 100%% %WINDIR%",
                                    &expanded));
  EXPECT_TRUE(_wcsicmp((L"\"" + std::wstring(windows) + L"\\system32\\x.exe\" -a 100% " +
                        windows).c_str(),
                       expanded.c_str()) == 0)
      << expanded;
  ASSERT_TRUE(ExpandSystemVariables(L"%ProgramFiles%\\a 50% b", &expanded));
  EXPECT_EQ(std::wstring::npos, expanded.find(L"planted"));
  EXPECT_NE(std::wstring::npos, expanded.find(L"\\a 50% b")) << expanded;

  expanded = L"unchanged";
  EXPECT_FALSE(ExpandSystemVariables(L"%TAVRO_PLANTED%\\x.exe", &expanded));
  EXPECT_FALSE(ExpandSystemVariables(L"%SystemRoot%\\x.exe %TEMP%", &expanded));
  EXPECT_EQ(L"unchanged", expanded);
}

}  // namespace
}  // namespace installer
