#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class MoveFileOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    ASSERT_TRUE(base::CreateDirectory(Path(L"to")));
    ASSERT_EQ(4, base::WriteFileFromBuffer(Path(L"from.txt"), "from", 4));
    ASSERT_EQ(8, base::WriteFileFromBuffer(Path(L"to\\existing.txt"), "existing", 8));
  }
  base::FilePath Path(const wchar_t* relative) const { return temp_.GetPath().Append(relative); }

  base::ScopedTempDir temp_;
};

TEST_F(MoveFileOperationTest, MoveOverExistingFileIsUndone) {
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());
  MoveFileOperation operation(Path(L"from.txt"), Path(L"to\\existing.txt"));
  ASSERT_TRUE(operation.Do());
  EXPECT_FALSE(base::PathExists(Path(L"from.txt")));
  std::string contents;
  ASSERT_TRUE(base::ReadFileToString(Path(L"to\\existing.txt"), &contents));
  EXPECT_EQ("from", contents);
  operation.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
}

TEST_F(MoveFileOperationTest, CommitDropsTheReplacedFile) {
  MoveFileOperation operation(Path(L"from.txt"), Path(L"to\\existing.txt"));
  ASSERT_TRUE(operation.Do());
  operation.Commit();
  EXPECT_EQ((std::vector<std::wstring>{L"to", L"to\\existing.txt"}),
            test::ListPaths(test::TakeFileSnapshot(temp_.GetPath())));
}

TEST_F(MoveFileOperationTest, MissingSourceOrTargetFolderFails) {
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());
  MoveFileOperation missing(Path(L"missing.txt"), Path(L"to\\missing.txt"));
  EXPECT_FALSE(missing.Do());
  missing.Rollback();
  MoveFileOperation no_folder(Path(L"from.txt"), Path(L"nowhere\\from.txt"));
  EXPECT_FALSE(no_folder.Do());
  no_folder.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
}

}  // namespace
}  // namespace installer
