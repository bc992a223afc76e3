#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/win/executable_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class DeleteFileOperationTest : public test::TempFolderTest {
 protected:
  std::vector<std::wstring> List() const {
    return test::ListPaths(test::TakeFileSnapshot(temp_.GetPath()));
  }
  base::win::ScopedHandle Open(const wchar_t* relative, DWORD share) const {
    return base::win::ScopedHandle(::CreateFileW(Path(relative).value().c_str(), GENERIC_READ,
                                                 share, nullptr, OPEN_EXISTING, 0, nullptr));
  }
};

TEST_F(DeleteFileOperationTest, FileIsKeptUntilCommit) {
  Write(L"dir\\file.txt", "contents");
  Write(L"dir\\other.txt", "other");
  ASSERT_TRUE(
      ::SetFileAttributesW(Path(L"dir\\file.txt").value().c_str(), FILE_ATTRIBUTE_READONLY));
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());

  DeleteFileOperation undone(Path(L"dir\\file.txt"), true, true);
  ASSERT_TRUE(undone.Do());
  EXPECT_FALSE(base::PathExists(Path(L"dir\\file.txt")));
  undone.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));

  DeleteFileOperation committed(Path(L"dir\\file.txt"), true, true);
  ASSERT_TRUE(committed.Do());
  committed.Commit();
  EXPECT_EQ((std::vector<std::wstring>{L"dir", L"dir\\other.txt"}), List());
}

TEST_F(DeleteFileOperationTest, FileInUseIsLeftInPlace) {
  Write(L"busy.exe", "running");
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());
  {
    base::win::ScopedHandle held = Open(L"busy.exe", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(held.IsValid());
    Transaction transaction;
    EXPECT_FALSE(
        transaction.Do(std::make_unique<DeleteFileOperation>(Path(L"busy.exe"), true, true)));
    // Without the check the system still refuses to move a file open without delete
    // sharing.
    EXPECT_FALSE(
        transaction.Do(std::make_unique<DeleteFileOperation>(Path(L"busy.exe"), false, false)));
    EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
  }
  {
    // A reader that allows deletion only fails the checked form.
    base::win::ScopedHandle held =
        Open(L"busy.exe", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(held.IsValid());
    DeleteFileOperation checked(Path(L"busy.exe"), true, false);
    EXPECT_FALSE(checked.Do());
    checked.Rollback();
    EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
  }
}

// Runs in a copy of this program while the test below tries to delete that copy.
TEST(DeleteFileOperationChildTest, DISABLED_StayRunning) {
  ::Sleep(30000);
}

TEST_F(DeleteFileOperationTest, RunningExecutableIsInUse) {
  base::FilePath self;
  ASSERT_TRUE(base::win::GetExecutablePath(&self));
  const base::FilePath copy = Path(L"running.exe");
  ASSERT_TRUE(base::CopySingleFile(self, copy));
  base::LaunchOptions options;
  options.start_hidden = true;
  base::Process child =
      base::LaunchProcess(L"\"" + copy.value() +
                              L"\" --gtest_also_run_disabled_tests "
                              L"--gtest_filter=DeleteFileOperationChildTest.DISABLED_StayRunning",
                          options);
  ASSERT_TRUE(child.IsValid());
  DeleteFileOperation operation(copy, true, true);
  EXPECT_FALSE(operation.Do());
  operation.Rollback();
  EXPECT_TRUE(base::PathExists(copy));
  child.Terminate(0);
  DWORD exit_code = 0;
  EXPECT_TRUE(child.WaitForExitWithTimeout(10000, &exit_code));
}

TEST_F(DeleteFileOperationTest, RemovesEmptiedParentsUpToTheFirstNonEmptyOne) {
  Write(L"keep\\a\\b\\c\\file.txt", "file");
  Write(L"keep\\a\\sibling.txt", "sibling");
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());

  DeleteFileOperation undone(Path(L"keep\\a\\b\\c\\file.txt"), false, true);
  ASSERT_TRUE(undone.Do());
  EXPECT_FALSE(base::PathExists(Path(L"keep\\a\\b")));
  undone.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));

  DeleteFileOperation without_parents(Path(L"keep\\a\\b\\c\\file.txt"), false, false);
  ASSERT_TRUE(without_parents.Do());
  without_parents.Commit();
  EXPECT_TRUE(base::DirectoryExists(Path(L"keep\\a\\b\\c")));
}

// Uninstallation deletes the files of a folder one by one: the last deletion removes the
// folder although the earlier files are only kept aside in it.
TEST_F(DeleteFileOperationTest, FilesDeletedOneByOneEmptyTheirFolder) {
  Write(L"top\\app\\1.0\\a.dll", "a");
  Write(L"top\\app\\1.0\\b.dll", "b");
  Write(L"top\\marker", "m");
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());

  {
    Transaction transaction;
    ASSERT_TRUE(transaction.Do(
        std::make_unique<DeleteFileOperation>(Path(L"top\\app\\1.0\\a.dll"), true, true)));
    EXPECT_TRUE(base::DirectoryExists(Path(L"top\\app\\1.0")));
    ASSERT_TRUE(transaction.Do(
        std::make_unique<DeleteFileOperation>(Path(L"top\\app\\1.0\\b.dll"), true, true)));
    EXPECT_FALSE(base::PathExists(Path(L"top\\app")));
    transaction.Rollback();
    EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));

    ASSERT_TRUE(transaction.Do(
        std::make_unique<DeleteFileOperation>(Path(L"top\\app\\1.0\\a.dll"), true, true)));
    ASSERT_TRUE(transaction.Do(
        std::make_unique<DeleteFileOperation>(Path(L"top\\app\\1.0\\b.dll"), true, true)));
  }
  EXPECT_EQ((std::vector<std::wstring>{L"top", L"top\\marker"}), List());
}

TEST_F(DeleteFileOperationTest, DeletesFolderTreesAndMissingPaths) {
  Write(L"shortcuts\\one.lnk", "1");
  Write(L"shortcuts\\sub\\two.lnk", "2");
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());

  DeleteFileOperation undone(Path(L"shortcuts"), true, false);
  ASSERT_TRUE(undone.Do());
  EXPECT_FALSE(base::PathExists(Path(L"shortcuts")));
  undone.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));

  DeleteFileOperation committed(Path(L"shortcuts"), true, false);
  ASSERT_TRUE(committed.Do());
  committed.Commit();
  EXPECT_TRUE(List().empty());

  DeleteFileOperation missing(Path(L"missing\\file"), true, true);
  EXPECT_TRUE(missing.Do());
  missing.Rollback();
  EXPECT_TRUE(List().empty());
}

}  // namespace
}  // namespace installer
