#include "desktop/windows/installer/service/transactions/preserve_file_operation.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using PreserveFileOperationTest = test::TempFolderTest;

TEST_F(PreserveFileOperationTest, FileComesBackAfterItWasRewritten) {
  Write(L"prefs.json", "before");
  ASSERT_TRUE(::SetFileAttributesW(Path(L"prefs.json").value().c_str(), FILE_ATTRIBUTE_HIDDEN));
  const test::FileSnapshot before = Snapshot();

  PreserveFileOperation kept(Path(L"prefs.json"));
  ASSERT_TRUE(kept.Do());
  // The file is still there for the code that rewrites it.
  EXPECT_EQ("before", Read(L"prefs.json"));
  Write(L"prefs.json", "after");
  kept.Rollback();
  EXPECT_EQ(before, Snapshot());

  PreserveFileOperation committed(Path(L"prefs.json"));
  ASSERT_TRUE(committed.Do());
  Write(L"prefs.json", "after");
  committed.Commit();
  EXPECT_EQ((std::vector<std::wstring>{L"prefs.json"}), test::ListPaths(Snapshot()));
  EXPECT_EQ("after", Read(L"prefs.json"));

  // A file that was not there is removed again.
  PreserveFileOperation missing(Path(L"new.json"));
  ASSERT_TRUE(missing.Do());
  Write(L"new.json", "written");
  missing.Rollback();
  EXPECT_EQ("(missing)", Read(L"new.json"));

  // A file the operation could not keep (nobody may read it) stays as it is.
  {
    const base::win::ScopedHandle in_use(::CreateFileW(
        Path(L"prefs.json").value().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
        nullptr));
    ASSERT_TRUE(in_use.IsValid());
    PreserveFileOperation refused(Path(L"prefs.json"));
    EXPECT_FALSE(refused.Do());
    refused.Rollback();
  }
  EXPECT_EQ("after", Read(L"prefs.json"));
}

}  // namespace
}  // namespace installer
