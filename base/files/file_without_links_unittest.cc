#include "base/files/file_without_links.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/test/folder_link.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// A link in place of a folder of the path, itself or one above, keeps the file from being
// opened or made where the link leads; the same path without the link opens a file that
// nobody can delete or rename while it is held.
TEST(FileWithoutLinksTest, OpensNothingThroughALinkInThePath) {
  ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const FilePath target = temp.GetPath().Append(L"target");
  ASSERT_TRUE(CreateDirectory(target.Append(L"below")));
  const FilePath link = temp.GetPath().Append(L"link");
  test::ScopedFolderLink folder_link;
  if (!folder_link.Make(link, target))
    GTEST_SKIP() << "Folder links cannot be made here";

  EXPECT_FALSE(HoldFolderWithoutLinks(link).IsValid());
  EXPECT_FALSE(HoldFolderWithoutLinks(link.Append(L"below")).IsValid());
  EXPECT_FALSE(OpenForAppendingWithoutLinks(link.Append(L"run.log")).IsValid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_CANT_ACCESS_FILE), ::GetLastError());
  EXPECT_FALSE(OpenForAppendingWithoutLinks(link.Append(L"below").Append(L"run.log")).IsValid());
  EXPECT_FALSE(PathExists(target.Append(L"run.log")));
  EXPECT_FALSE(PathExists(target.Append(L"below").Append(L"run.log")));

  const FilePath log = target.Append(L"below").Append(L"run.log");
  const win::ScopedHandle file = OpenForAppendingWithoutLinks(log);
  ASSERT_TRUE(file.IsValid());
  DWORD written = 0;
  EXPECT_TRUE(::WriteFile(file.Get(), "line\n", 5, &written, nullptr));
  EXPECT_FALSE(::DeleteFileW(log.value().c_str()));
  EXPECT_FALSE(::MoveFileW(log.value().c_str(), target.Append(L"moved.log").value().c_str()));
  // Others may still read it and append to it.
  const win::ScopedHandle reader(::CreateFileW(log.value().c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(reader.IsValid());
}

// A file made anew takes the place of whatever held its name (a file of other names, say),
// and what that led to stays as it was.
TEST(FileWithoutLinksTest, ACopyReplacesAnotherNameOfAFileAndLeavesTheFile) {
  ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const FilePath source = temp.GetPath().Append(L"source.txt");
  ASSERT_EQ(4, WriteFileFromBuffer(source, "kept", 4));
  const FilePath target = temp.GetPath().Append(L"target.txt");
  ASSERT_EQ(1, WriteFileFromBuffer(target, "x", 1));
  const FilePath copy = temp.GetPath().Append(L"copy.txt");
  ASSERT_TRUE(::CreateHardLinkW(copy.value().c_str(), target.value().c_str(), nullptr));

  EXPECT_FALSE(OpenForAppendingWithoutLinks(copy).IsValid());
  EXPECT_TRUE(CopyToNewFileWithoutLinks(source, copy));
  std::string text;
  ASSERT_TRUE(ReadFileToString(target, &text));
  EXPECT_EQ("x", text);
  ASSERT_TRUE(ReadFileToString(copy, &text));
  EXPECT_EQ("kept", text);
}

}  // namespace
}  // namespace base
