#include "desktop/windows/installer/service/transactions/operation_group.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class OperationGroupTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }
  base::FilePath Path(const wchar_t* name) const { return temp_.GetPath().Append(name); }
  void Write(const wchar_t* name, const std::string& contents) {
    ASSERT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(Path(name), contents.data(),
                                        static_cast<int>(contents.size())));
  }
  std::string Read(const wchar_t* name) const {
    std::string contents;
    return base::ReadFileToString(Path(name), &contents) ? contents : "(missing)";
  }
  test::FileSnapshot Snapshot() const { return test::TakeFileSnapshot(temp_.GetPath()); }
  std::unique_ptr<OperationGroup> DeleteAll() const {
    auto group = std::make_unique<OperationGroup>();
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"})
      group->Add(std::make_unique<DeleteFileOperation>(Path(name), true, false));
    return group;
  }

  base::ScopedTempDir temp_;
};

TEST_F(OperationGroupTest, GroupIsDoneWholeOrNotAtAll) {
  for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"})
    Write(name, "contents");
  const test::FileSnapshot before = Snapshot();

  // The second deletion fails: the first is undone with it, the third never starts.
  {
    const base::win::ScopedHandle in_use(::CreateFileW(
        Path(L"b.txt").value().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(in_use.IsValid());
    Transaction transaction;
    EXPECT_FALSE(transaction.Do(DeleteAll()));
  }
  EXPECT_EQ(before, Snapshot());

  // Done whole, undone whole by the transaction that holds it.
  Transaction transaction;
  ASSERT_TRUE(transaction.Do(DeleteAll()));
  EXPECT_EQ("(missing)", Read(L"c.txt"));
  transaction.Rollback();
  EXPECT_EQ(before, Snapshot());

  // Committed: nothing kept aside remains.
  {
    Transaction committed;
    ASSERT_TRUE(committed.Do(DeleteAll()));
  }
  EXPECT_TRUE(test::ListPaths(Snapshot()).empty());
}

}  // namespace
}  // namespace installer
