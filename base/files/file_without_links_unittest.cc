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


// Folders made one below another, each checked once: a link in the name of one is refused,
// a file made where its held folder does not lie (as a link swapped in meanwhile would
// lead it) is removed again, and a file made where its folder lies stays.
TEST(FileWithoutLinksTest, MakesFoldersAndFilesBelowAHeldFolderOnlyWhereTheyLie) {
  ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const FilePath root = temp.GetPath().Append(L"root");
  const win::ScopedHandle held_root = MakeFolderWithoutLinks(root);
  ASSERT_TRUE(held_root.IsValid());
  const FilePath root_final_path = GetFinalPath(held_root.Get());

  FilePath sub_final_path;
  const win::ScopedHandle sub =
      MakeSubfolderWithoutLinks(root_final_path, root.Append(L"sub"), &sub_final_path);
  ASSERT_TRUE(sub.IsValid());
  EXPECT_TRUE(FilePath::CompareEqualIgnoreCase(root_final_path.Append(L"sub").value(),
                                               sub_final_path.value()));

  const FilePath elsewhere = temp.GetPath().Append(L"elsewhere");
  ASSERT_TRUE(CreateDirectory(elsewhere));
  test::ScopedFolderLink link;
  if (link.Make(root.Append(L"linked"), elsewhere)) {
    FilePath linked_final_path;
    EXPECT_FALSE(
        MakeSubfolderWithoutLinks(root_final_path, root.Append(L"linked"), &linked_final_path)
            .IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANT_ACCESS_FILE), ::GetLastError());
  }

  const FilePath file = root.Append(L"sub").Append(L"file.bin");
  EXPECT_FALSE(CreateNewInHeldFolder(root_final_path, file, GENERIC_WRITE, 0,
                                     FILE_ATTRIBUTE_NORMAL)
                   .IsValid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_CANT_ACCESS_FILE), ::GetLastError());
  EXPECT_FALSE(PathExists(file));

  ASSERT_EQ(1, WriteFileFromBuffer(file, "x", 1));
  const win::ScopedHandle made =
      CreateNewInHeldFolder(sub_final_path, file, GENERIC_WRITE, 0, FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(made.IsValid());
  int64_t size = -1;
  EXPECT_TRUE(GetFileSize(file, &size));
  EXPECT_EQ(0, size);
}

}  // namespace
}  // namespace base
