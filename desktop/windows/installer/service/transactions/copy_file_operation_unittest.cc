#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class CopyFileOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    source_ = temp_.GetPath().Append(L"source.bin");
    ASSERT_EQ(9, base::WriteFileFromBuffer(source_, "new bytes", 9));
  }
  base::FilePath Path(const wchar_t* relative) const { return temp_.GetPath().Append(relative); }
  static std::string Read(const base::FilePath& path) {
    std::string contents;
    EXPECT_TRUE(base::ReadFileToString(path, &contents));
    return contents;
  }

  base::ScopedTempDir temp_;
  base::FilePath source_;
};

TEST_F(CopyFileOperationTest, CopyIntoNewFoldersIsUndone) {
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());
  CopyFileOperation operation(source_, Path(L"a\\b\\copy.bin"));
  ASSERT_TRUE(operation.Do());
  EXPECT_EQ("new bytes", Read(Path(L"a\\b\\copy.bin")));
  operation.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
}

TEST_F(CopyFileOperationTest, CopyKeepsContentsTimeAndAttributesButNotReadOnly) {
  // Larger than one read, so that the copy takes several.
  std::string contents(2500 * 1000, '\0');
  for (size_t i = 0; i < contents.size(); ++i)
    contents[i] = static_cast<char>(i * 7 + i / 1000);
  const base::FilePath source = Path(L"large.bin");
  ASSERT_EQ(static_cast<int>(contents.size()),
            base::WriteFileFromBuffer(source, contents.data(), static_cast<int>(contents.size())));
  const FILETIME time = {0x12345678, 0x01d00000};
  {
    base::win::ScopedHandle file(::CreateFileW(source.value().c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &time));
  }
  ASSERT_TRUE(::SetFileAttributesW(source.value().c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  const base::FilePath destination = Path(L"out\\large.bin");
  CopyFileOperation operation(source, destination);
  ASSERT_TRUE(operation.Do());
  operation.Commit();
  EXPECT_TRUE(Read(destination) == contents);
  const DWORD attributes = ::GetFileAttributesW(destination.value().c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(::GetFileAttributesExW(destination.value().c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(0, ::CompareFileTime(&time, &data.ftLastWriteTime));
  ::SetFileAttributesW(source.value().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyFileOperationTest, CopyOverReadOnlyFileRestoresItOnRollback) {
  const base::FilePath destination = Path(L"dir\\target.bin");
  ASSERT_TRUE(base::CreateDirectory(destination.DirName()));
  ASSERT_EQ(9, base::WriteFileFromBuffer(destination, "old bytes", 9));
  ASSERT_TRUE(::SetFileAttributesW(destination.value().c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());

  CopyFileOperation operation(source_, destination);
  ASSERT_TRUE(operation.Do());
  EXPECT_EQ("new bytes", Read(destination));
  EXPECT_FALSE(::GetFileAttributesW(destination.value().c_str()) & FILE_ATTRIBUTE_READONLY);
  operation.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
  // Again, now committed: only the new file remains.
  CopyFileOperation again(source_, destination);
  ASSERT_TRUE(again.Do());
  again.Commit();
  EXPECT_EQ((std::vector<std::wstring>{L"dir", L"dir\\target.bin", L"source.bin"}),
            test::ListPaths(test::TakeFileSnapshot(temp_.GetPath())));
  EXPECT_EQ("new bytes", Read(destination));
}

TEST_F(CopyFileOperationTest, FailuresChangeNothing) {
  ASSERT_TRUE(base::CreateDirectory(Path(L"folder")));
  const test::FileSnapshot before = test::TakeFileSnapshot(temp_.GetPath());

  CopyFileOperation missing_source(Path(L"missing"), Path(L"new\\copy.bin"));
  EXPECT_FALSE(missing_source.Do());
  missing_source.Rollback();
  CopyFileOperation onto_folder(source_, Path(L"folder"));
  EXPECT_FALSE(onto_folder.Do());
  onto_folder.Rollback();
  EXPECT_EQ(before, test::TakeFileSnapshot(temp_.GetPath()));
}

}  // namespace
}  // namespace installer
