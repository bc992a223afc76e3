#include "desktop/windows/installer/package_fetcher/entry_path_set.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(EntryPathSetTest, NamesReachOneFileAsWindowsNamesThem) {
  EntryPathSet paths;
  EXPECT_TRUE(paths.Add(L"bin/app.exe", false));
  EXPECT_TRUE(paths.Add(L"bin\\app.dll", false));
  // Folders may be named again, in any spelling, before or after their files.
  EXPECT_TRUE(paths.Add(L"BIN", true));
  EXPECT_TRUE(paths.Add(L"bin. /", true));
  EXPECT_TRUE(paths.Add(L"Ünïcode/Ärger.txt", false));

  for (const wchar_t* same : {L"bin/app.exe", L"BIN\\APP.EXE", L"bin/app.exe.", L"bin/app.exe .",
                              L"bin./app.exe", L"bin/./app.exe", L"bin//app.exe",
                              L"üNÏCODE/äRGER.TXT"}) {
    EXPECT_FALSE(paths.Add(same, false)) << same;
  }
  // A file where a folder is, or a folder where a file is.
  EXPECT_FALSE(paths.Add(L"Bin", false));
  EXPECT_FALSE(paths.Add(L"bin/app.exe", true));
  EXPECT_FALSE(paths.Add(L"bin/app.exe/inner.txt", false));
  // A file named by nothing would be the destination itself.
  EXPECT_FALSE(paths.Add(L".", false));
  EXPECT_TRUE(paths.Add(L".", true));

  EXPECT_TRUE(paths.Add(L"bin/app.ex", false));
  EXPECT_TRUE(paths.Add(L"bin/app..exe", false));
}

}  // namespace
}  // namespace installer
