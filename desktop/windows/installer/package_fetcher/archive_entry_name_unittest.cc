#include "desktop/windows/installer/package_fetcher/archive_entry_name.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ArchiveEntryNameTest, AcceptsPlainRelativeNames) {
  for (const wchar_t* name : {L"a.txt", L"a/b/c.txt", L"a\\b\\c.txt", L"folder/", L"a..b/..c",
                              L".hidden", L"ünïcødé 文件.txt", L"CONSOLE.txt", L"COM10", L"LPT",
                              L"nul_file", L"my con.txt", L"a .b", L".a", L"a/ b/c"}) {
    EXPECT_TRUE(IsSafeArchiveEntryName(name)) << name;
  }
}

TEST(ArchiveEntryNameTest, RefusesNamesLeavingTheFolder) {
  for (const wchar_t* name : {L"",
                              L"..",
                              L"../x",
                              L"a/../../x",
                              L"a\\..\\..\\x",
                              L"a/.. /x",
                              L"a/.../x",
                              L"/x",
                              L"\\x",
                              L"\\\\server\\share\\x",
                              L"//server/share/x",
                              L"\\\\?\\C:\\x",
                              L"C:x",
                              L"C:\\x",
                              L"c:/x",
                              L"a.txt:stream",
                              L"a/b:c/d",
                              L"CON",
                              L"con.txt",
                              L"a/Nul/b",
                              L"PRN.",
                              L"aux .txt",
                              L"COM1",
                              L"lpt9.log",
                              L"COM\u00B9",
                              L"CONIN$",
                              L"conout$.x",
                              L"a\tb",
                              L"a<b",
                              L"a>b",
                              L"a\"b",
                              L"a|b",
                              L"a?b",
                              L"a*b"}) {
    EXPECT_FALSE(IsSafeArchiveEntryName(name)) << name;
  }
}

// Windows drops a name's trailing dots and spaces: such a name would be written as another
// one, or name the folder it is in.
TEST(ArchiveEntryNameTest, RefusesNamesEndingInDotsOrSpaces) {
  for (const wchar_t* name : {L".", L" ", L". .", L"  ", L"c.", L"a ", L"a. ", L"dir./file",
                              L"dir /file", L"a/./b", L"a/ /b", L"a\. .\b", L"a/b."}) {
    EXPECT_FALSE(IsSafeArchiveEntryName(name)) << name;
  }
}

}  // namespace
}  // namespace installer
