#include "desktop/windows/installer/service/transactions/operation_group.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class OperationGroupTest : public test::TempFolderTest {
 protected:
  std::unique_ptr<OperationGroup> DeleteAll() const {
    auto group = std::make_unique<OperationGroup>();
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"})
      group->Add(std::make_unique<DeleteFileOperation>(Path(name), true, false));
    return group;
  }
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
