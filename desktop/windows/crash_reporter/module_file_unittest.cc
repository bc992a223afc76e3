#include "desktop/windows/crash_reporter/module_file.h"

#include <windows.h>

#include <string>

#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

TEST(ModuleFileTest, OpensOnlyPlainPathsOnLocalFixedDrives) {
  wchar_t system[MAX_PATH];
  ASSERT_NE(0u, ::GetSystemDirectoryW(system, MAX_PATH));
  const std::wstring kernel32 = std::wstring(system) + L"\\kernel32.dll";
  std::wstring unmapped = L"?:\\x.dll";
  for (wchar_t letter = L'Z'; letter >= L'D' && unmapped[0] == L'?'; --letter) {
    if (::GetDriveTypeW((std::wstring(1, letter) + L":\\").c_str()) == DRIVE_NO_ROOT_DIR)
      unmapped[0] = letter;
  }
  ASSERT_NE(L'?', unmapped[0]);

  EXPECT_TRUE(IsLocalModulePath(kernel32));
  EXPECT_TRUE(OpenModuleFile(kernel32).IsValid());
  EXPECT_TRUE(IsLocalModulePath(L"c:\\Program Files\\a b\\x.y.dll"));
  const wchar_t* const kRefused[] = {
      L"\\\\host\\share\\x.dll",  L"\\\\host@80\\x",           L"\\\\.\\pipe\\p",
      L"\\\\?\\C:\\x.dll",        L"\\??\\C:\\x.dll",          L"//host/share/x.dll",
      L"C:/windows/x.dll",        L"C:x.dll",                  L"x.dll",
      L"\\windows\\x.dll",        L"C:\\",                     L"C:\\a\\..\\x.dll",
      L"C:\\a\\.\\x.dll",         L"C:\\a\\\\x.dll",           L"C:\\a\\",
      L"C:\\x.dll.",              L"C:\\x.dll ",               L"C:\\x.dll:stream",
      L"C:\\a\\nul",              L"C:\\a\\COM1.dll",          L"C:\\a\\con .txt",
      L"C:\\a\\lpt\x00B9",        L"C:\\a*.dll",               L"C:\\a\r\nb.dll",
      L"1:\\x.dll",               L"",
  };
  for (const wchar_t* path : kRefused) {
    EXPECT_FALSE(IsLocalModulePath(path)) << path;
    EXPECT_FALSE(OpenModuleFile(path).IsValid()) << path;
  }
  EXPECT_FALSE(IsLocalModulePath(unmapped));
}

}  // namespace
}  // namespace crash_reporter
