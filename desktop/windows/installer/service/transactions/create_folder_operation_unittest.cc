#include "desktop/windows/installer/service/transactions/create_folder_operation.h"

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class CreateFolderOperationTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }
  base::FilePath Path(const wchar_t* relative) const { return temp_.GetPath().Append(relative); }

  base::ScopedTempDir temp_;
};

TEST_F(CreateFolderOperationTest, CreatesMissingParentsAndRemovesThemAgain) {
  ASSERT_TRUE(base::CreateDirectory(Path(L"existing")));
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());

  CreateFolderOperation operation(Path(L"existing\\a\\b\\c"));
  ASSERT_TRUE(operation.Do());
  EXPECT_TRUE(base::DirectoryExists(Path(L"existing\\a\\b\\c")));
  operation.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
}

TEST_F(CreateFolderOperationTest, ExistingFolderIsSuccessAndStays) {
  ASSERT_TRUE(base::CreateDirectory(Path(L"here")));
  CreateFolderOperation operation(Path(L"here"));
  ASSERT_TRUE(operation.Do());
  operation.Rollback();
  EXPECT_TRUE(base::DirectoryExists(Path(L"here")));
}

TEST_F(CreateFolderOperationTest, KeepsFoldersInWhichSomethingAppeared) {
  CreateFolderOperation operation(Path(L"a\\b\\c"));
  ASSERT_TRUE(operation.Do());
  ASSERT_EQ(7, base::WriteFileFromBuffer(Path(L"a\\b\\foreign"), "foreign", 7));
  operation.Rollback();
  // The empty innermost folder goes; the one with the foreign file and its parent stay.
  EXPECT_FALSE(base::PathExists(Path(L"a\\b\\c")));
  EXPECT_TRUE(base::PathExists(Path(L"a\\b\\foreign")));
}

TEST_F(CreateFolderOperationTest, FileInTheWayFails) {
  ASSERT_EQ(1, base::WriteFileFromBuffer(Path(L"file"), "x", 1));
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());
  CreateFolderOperation operation(Path(L"file\\sub"));
  EXPECT_FALSE(operation.Do());
  operation.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
}

}  // namespace
}  // namespace installer
