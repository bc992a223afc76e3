#include "desktop/windows/installer/service/transactions/transaction.h"

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Writes what happens to it into a shared journal.
class RecordingOperation : public Operation {
 public:
  RecordingOperation(std::string name, bool succeeds, std::vector<std::string>* journal)
      : name_(std::move(name)), succeeds_(succeeds), journal_(journal) {}
  bool Do() override {
    journal_->push_back("do " + name_);
    return succeeds_;
  }
  void Rollback() override { journal_->push_back("rollback " + name_); }
  void Commit() override { journal_->push_back("commit " + name_); }

 private:
  const std::string name_;
  const bool succeeds_;
  std::vector<std::string>* const journal_;
};

TEST(TransactionTest, KeepsSucceededOperationsAndUndoesThemLastFirst) {
  std::vector<std::string> journal;
  {
    Transaction transaction;
    EXPECT_TRUE(transaction.Do(std::make_unique<RecordingOperation>("a", true, &journal)));
    EXPECT_TRUE(transaction.Do(std::make_unique<RecordingOperation>("b", true, &journal)));
    // A failure undoes its own partial work and is not kept.
    EXPECT_FALSE(transaction.Do(std::make_unique<RecordingOperation>("c", false, &journal)));
    EXPECT_FALSE(transaction.Do(nullptr));
    transaction.Rollback();
    // Nothing is left to undo or commit.
    transaction.Rollback();
  }
  EXPECT_EQ(
      (std::vector<std::string>{"do a", "do b", "do c", "rollback c", "rollback b", "rollback a"}),
      journal);
}

TEST(TransactionTest, DestructionCommitsInOrder) {
  std::vector<std::string> journal;
  {
    Transaction transaction;
    EXPECT_TRUE(transaction.Do(std::make_unique<RecordingOperation>("a", true, &journal)));
    EXPECT_FALSE(transaction.Do(std::make_unique<RecordingOperation>("b", false, &journal)));
    EXPECT_TRUE(transaction.Do(std::make_unique<RecordingOperation>("c", true, &journal)));
  }
  EXPECT_EQ(
      (std::vector<std::string>{"do a", "do b", "rollback b", "do c", "commit a", "commit c"}),
      journal);
}

// An installation-like sequence of real operations that fails at its end: the rollback
// leaves the files and the registry exactly as they were.
TEST(TransactionTest, FailureInTheMiddleRollsEverythingBack) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  test::ScopedTestRegistryKey key(HKEY_CURRENT_USER, L"transaction");
  ASSERT_EQ(ERROR_SUCCESS, key.result());

  const base::FilePath package = temp.GetPath().Append(L"package");
  const base::FilePath target = temp.GetPath().Append(L"target");
  ASSERT_TRUE(base::CreateDirectory(package));
  ASSERT_TRUE(base::CreateDirectory(target.Append(L"old")));
  ASSERT_EQ(3, base::WriteFileFromBuffer(package.Append(L"a.dll"), "new", 3));
  ASSERT_EQ(3, base::WriteFileFromBuffer(target.Append(L"a.dll"), "old", 3));
  ASSERT_EQ(4, base::WriteFileFromBuffer(target.Append(L"old\\x.txt"), "gone", 4));
  ASSERT_EQ(4, base::WriteFileFromBuffer(target.Append(L"status.xml"), "<s/>", 4));
  {
    base::win::RegistryKey existing;
    ASSERT_EQ(ERROR_SUCCESS, existing.Create(HKEY_CURRENT_USER, (key.path() + L"\\Doomed").c_str(),
                                             KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, existing.WriteValue(L"v", DWORD{7}));
  }
  const test::FileSnapshot files_before = test::TakeFileSnapshot(temp.GetPath());
  const test::RegistrySnapshot registry_before = key.Snapshot();

  Transaction transaction;
  ASSERT_TRUE(transaction.Do(std::make_unique<CreateFolderOperation>(target.Append(L"1.0\\sub"))));
  ASSERT_TRUE(transaction.Do(
      std::make_unique<CopyFileOperation>(package.Append(L"a.dll"), target.Append(L"a.dll"))));
  ASSERT_TRUE(transaction.Do(std::make_unique<CopyFileOperation>(
      package.Append(L"a.dll"), target.Append(L"1.0\\deep\\er\\a.dll"))));
  ASSERT_TRUE(transaction.Do(
      std::make_unique<DeleteFileOperation>(target.Append(L"old\\x.txt"), true, true)));
  ASSERT_TRUE(transaction.Do(std::make_unique<MoveFileOperation>(
      target.Append(L"status.xml"), target.Append(L"1.0\\status.xml"))));
  ASSERT_TRUE(transaction.Do(std::make_unique<ChangeRegistryValueOperation>(
      HKEY_CURRENT_USER, key.path() + L"\\New\\Key", L"Path",
      ChangeRegistryValueOperation::TextData(L"C:\\x"), REG_SZ, 0)));
  ASSERT_TRUE(transaction.Do(std::make_unique<DeleteRegistryKeyOperation>(
      HKEY_CURRENT_USER, key.path() + L"\\Doomed", 0)));
  EXPECT_NE(files_before, test::TakeFileSnapshot(temp.GetPath()));
  EXPECT_NE(registry_before, key.Snapshot());

  EXPECT_FALSE(transaction.Do(std::make_unique<CopyFileOperation>(
      package.Append(L"missing.dll"), target.Append(L"1.0\\missing.dll"))));
  transaction.Rollback();
  EXPECT_EQ(files_before, test::TakeFileSnapshot(temp.GetPath()));
  EXPECT_EQ(registry_before, key.Snapshot());
}

TEST(TransactionTest, CommitDropsWhatWasKeptAside) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath source = temp.GetPath().Append(L"source.txt");
  const base::FilePath target = temp.GetPath().Append(L"dir\\target.txt");
  const base::FilePath doomed = temp.GetPath().Append(L"doomed\\file.txt");
  ASSERT_TRUE(base::CreateDirectory(target.DirName()));
  ASSERT_TRUE(base::CreateDirectory(doomed.DirName()));
  ASSERT_EQ(3, base::WriteFileFromBuffer(source, "new", 3));
  ASSERT_EQ(3, base::WriteFileFromBuffer(target, "old", 3));
  ASSERT_EQ(1, base::WriteFileFromBuffer(doomed, "x", 1));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.Do(std::make_unique<CopyFileOperation>(source, target)));
    ASSERT_TRUE(transaction.Do(std::make_unique<DeleteFileOperation>(doomed, false, true)));
  }
  // The replaced file, the deleted one and its emptied folder are gone for good.
  EXPECT_EQ((std::vector<std::wstring>{L"dir", L"dir\\target.txt", L"source.txt"}),
            test::ListPaths(test::TakeFileSnapshot(temp.GetPath())));
  std::string contents;
  ASSERT_TRUE(base::ReadFileToString(target, &contents));
  EXPECT_EQ("new", contents);
}

}  // namespace
}  // namespace installer
