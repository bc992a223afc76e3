#include "desktop/windows/installer/service/transactions/undo_records.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "base/files/file_util.h"
#include "base/values.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace undo_record {
namespace {

class UndoRecordsTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    test::TempFolderTest::SetUp();
    scope_ = UndoScope::ForFolder(Path(L"install"), nullptr);
    // A quick launch folder below its own known folder, as a fresh profile would have it.
    scope_.AddShortcutLocation(QuickLaunch(), Path(L"Roaming"));
    ASSERT_TRUE(base::CreateDirectory(Path(L"install")));
    ASSERT_TRUE(base::CreateDirectory(Path(L"Roaming")));
  }

  base::FilePath QuickLaunch() const {
    return Path(L"Roaming\\Microsoft\\Internet Explorer\\Quick Launch");
  }
  // The folders a run made for the quick launch shortcut, in the order it made them.
  std::vector<base::FilePath> MadeForQuickLaunch() const {
    return {Path(L"Roaming\\Microsoft"), Path(L"Roaming\\Microsoft\\Internet Explorer"),
            QuickLaunch()};
  }
  // Undoes the creation of |folders| as a journal does: the last made first.
  void UndoCreation(const std::vector<base::FilePath>& folders) {
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
      EXPECT_EQ(UndoResult::kUndone, Undo(*FolderCreated(*it), scope_)) << *it;
  }

  UndoScope scope_;
};

// A quick launch folder that a run made goes with its undo, and so do the parents it made
// for it, when empty; one that holds something since stays with what it holds.
TEST_F(UndoRecordsTest, MadeShortcutFoldersAreRemovedOnlyWhenEmpty) {
  for (const base::FilePath& folder : MadeForQuickLaunch())
    ASSERT_TRUE(base::CreateDirectory(folder));
  UndoCreation(MadeForQuickLaunch());
  EXPECT_FALSE(base::PathExists(Path(L"Roaming\\Microsoft")));
  EXPECT_TRUE(base::DirectoryExists(Path(L"Roaming")));

  for (const base::FilePath& folder : MadeForQuickLaunch())
    ASSERT_TRUE(base::CreateDirectory(folder));
  Write(L"Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\pinned.lnk", "pinned");
  UndoCreation(MadeForQuickLaunch());
  EXPECT_EQ("pinned", Read(L"Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\pinned.lnk"));
}

// A record of a folder made elsewhere outside the installation (the known folder above the
// quick launch folder included), or of a shortcut folder of another user, is refused and
// the folder stays.
TEST_F(UndoRecordsTest, OtherCreatedFoldersAreRefused) {
  for (const base::FilePath& folder : MadeForQuickLaunch())
    ASSERT_TRUE(base::CreateDirectory(folder));
  ASSERT_TRUE(base::CreateDirectory(Path(L"elsewhere")));
  std::unique_ptr<base::DictionaryValue> another_users = FolderCreated(QuickLaunch());
  another_users->SetString("user", "S-1-5-21-1-2-3-1001");
  const std::unique_ptr<base::DictionaryValue> records[] = {
      FolderCreated(Path(L"elsewhere")), FolderCreated(Path(L"Roaming")),
      FolderCreated(QuickLaunch().Append(L"..\\..\\..\\..\\elsewhere")),
      std::move(another_users)};
  for (const std::unique_ptr<base::DictionaryValue>& record : records)
    EXPECT_EQ(UndoResult::kRefused, Undo(*record, scope_));
  EXPECT_TRUE(base::DirectoryExists(Path(L"elsewhere")));
  EXPECT_TRUE(base::DirectoryExists(QuickLaunch()));
}

}  // namespace
}  // namespace undo_record
}  // namespace installer
