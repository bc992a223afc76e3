#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_EXAMPLE_PACKAGE_STUB_NAMES_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_EXAMPLE_PACKAGE_STUB_NAMES_H_

#include <string>

// Names shared by the stub program and the tests that steer it. Header only: the stub
// links nothing of the project.
namespace installer {
namespace test {

constexpr wchar_t kStubLogFolderVariable[] = L"TAVRO_STUB_LOG_DIR";
constexpr wchar_t kStubLogFileName[] = L"stub_invocations.log";
// Followed by the stub's name (StubName).
constexpr wchar_t kStubExitCodeVariablePrefix[] = L"TAVRO_STUB_EXIT_CODE_";
constexpr wchar_t kStubHoldVariablePrefix[] = L"TAVRO_STUB_HOLD_";
// When set, every stub answers "internal-version" and "stream" with their values: a stub
// served as the package installer then claims the identity a test chooses.
constexpr wchar_t kStubInternalVersionVariable[] = L"TAVRO_STUB_INTERNAL_VERSION";
constexpr wchar_t kStubStreamVariable[] = L"TAVRO_STUB_STREAM";
// When set to a file's path, a stub asked for its "internal-version" first tries to put
// that file in its own place (renaming itself to "<its path>.replaced"), as any process of
// the user could do to a downloaded package between its checks.
constexpr wchar_t kStubReplaceSelfVariable[] = L"TAVRO_STUB_REPLACE_SELF_WITH";
// When set, the pin helper pins as the shell would: it copies the shortcut it is given into
// the folder this names (the taskbar pins folder of a test).
constexpr wchar_t kStubPinFolderVariable[] = L"TAVRO_STUB_PIN_FOLDER";

// The name of the stub running as |file_name| in those variables: the file name without
// extension, in upper case, other characters than letters and digits turned into '_'
// ("tavro.exe" -> "TAVRO", "suite_installer.exe" -> "SUITE_INSTALLER").
inline std::wstring StubName(const std::wstring& file_name) {
  std::wstring name = file_name.substr(0, file_name.find_last_of(L'.'));
  for (wchar_t& c : name) {
    if (c >= L'a' && c <= L'z')
      c = static_cast<wchar_t>(c - L'a' + L'A');
    else if (!(c >= L'A' && c <= L'Z') && !(c >= L'0' && c <= L'9'))
      c = L'_';
  }
  return name;
}

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_EXAMPLE_PACKAGE_STUB_NAMES_H_
