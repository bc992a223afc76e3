#include "base/files/file.h"

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    path_ = temp_dir_.GetPath().Append(L"file.bin");
  }

  ScopedTempDir temp_dir_;
  FilePath path_;
};

TEST_F(FileTest, OpenModesAndCreatedFlag) {
  {
    File missing(path_, File::FLAG_OPEN | File::FLAG_READ);
    EXPECT_FALSE(missing.IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.error_details());
  }
  {
    File file(path_, File::FLAG_CREATE_ALWAYS | File::FLAG_WRITE);
    ASSERT_TRUE(file.IsValid());
    EXPECT_TRUE(file.created());
    EXPECT_EQ(5, file.WriteAtCurrentPos("hello", 5));
  }
  {
    File file(path_, File::FLAG_CREATE | File::FLAG_WRITE);
    EXPECT_FALSE(file.IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), file.error_details());
  }
  {
    File file(path_, File::FLAG_OPEN_ALWAYS | File::FLAG_READ);
    ASSERT_TRUE(file.IsValid());
    EXPECT_FALSE(file.created());
    File::Info info;
    ASSERT_TRUE(file.GetInfo(&info));
    EXPECT_EQ(5, info.size);
  }
  {
    // Create-always truncates an existing file.
    File file(path_, File::FLAG_CREATE_ALWAYS | File::FLAG_READ | File::FLAG_WRITE);
    ASSERT_TRUE(file.IsValid());
    EXPECT_FALSE(file.created());
    File::Info info;
    ASSERT_TRUE(file.GetInfo(&info));
    EXPECT_EQ(0, info.size);
  }
  {
    File file(temp_dir_.GetPath().Append(L"new"), File::FLAG_OPEN_ALWAYS | File::FLAG_WRITE);
    EXPECT_TRUE(file.created());
  }
  // Exactly one open mode.
  File none(path_, File::FLAG_READ);
  EXPECT_FALSE(none.IsValid());
  File two(path_, File::FLAG_OPEN | File::FLAG_CREATE_ALWAYS | File::FLAG_READ);
  EXPECT_FALSE(two.IsValid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), two.error_details());
}

TEST_F(FileTest, ReadWriteSeekAndLength) {
  File file(path_, File::FLAG_CREATE | File::FLAG_READ | File::FLAG_WRITE);
  ASSERT_TRUE(file.IsValid());
  EXPECT_EQ(10, file.WriteAtCurrentPos("0123456789", 10));
  EXPECT_EQ(3, file.Write(20, "xyz", 3));  // Past the end: the gap reads as zeros.
  EXPECT_EQ(23, file.Seek(File::FROM_CURRENT, 0));

  char buffer[32] = {};
  EXPECT_EQ(4, file.Read(2, buffer, 4));
  EXPECT_EQ("2345", std::string(buffer, 4));
  EXPECT_EQ(2, file.ReadAtCurrentPos(buffer, 2));
  EXPECT_EQ("67", std::string(buffer, 2));
  EXPECT_EQ(3, file.Read(20, buffer, 10));
  EXPECT_EQ(0, file.Read(100, buffer, 10));
  EXPECT_EQ(0, file.ReadAtCurrentPos(buffer, 10));
  EXPECT_EQ(1, file.Read(12, buffer, 1));
  EXPECT_EQ('\0', buffer[0]);

  EXPECT_EQ(21, file.Seek(File::FROM_END, -2));
  EXPECT_EQ(2, file.ReadAtCurrentPos(buffer, 5));
  EXPECT_EQ("yz", std::string(buffer, 2));
  EXPECT_EQ(4, file.Seek(File::FROM_BEGIN, 4));
  EXPECT_EQ(-1, file.Seek(File::FROM_BEGIN, -1));

  EXPECT_TRUE(file.SetLength(6));
  EXPECT_EQ(4, file.Seek(File::FROM_CURRENT, 0));
  File::Info info;
  ASSERT_TRUE(file.GetInfo(&info));
  EXPECT_EQ(6, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_TRUE(info.creation_time.dwLowDateTime || info.creation_time.dwHighDateTime);
  EXPECT_TRUE(info.last_modified.dwLowDateTime || info.last_modified.dwHighDateTime);
  EXPECT_TRUE(file.SetLength(4096));
  ASSERT_TRUE(file.GetInfo(&info));
  EXPECT_EQ(4096, info.size);
  EXPECT_NE(nullptr, file.GetPlatformFile());

  file.Close();
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ(-1, file.Seek(File::FROM_BEGIN, 0));
  EXPECT_EQ(-1, file.ReadAtCurrentPos(buffer, 1));
  EXPECT_FALSE(file.GetInfo(&info));
}

TEST_F(FileTest, ExclusiveFlagsDenySharing) {
  File writer(path_, File::FLAG_CREATE_ALWAYS | File::FLAG_WRITE | File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(writer.IsValid());
  File second_writer(path_, File::FLAG_OPEN | File::FLAG_WRITE);
  EXPECT_FALSE(second_writer.IsValid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), second_writer.error_details());
  File reader(path_, File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_TRUE(reader.IsValid());
  writer.Close();
  reader.Close();

  File exclusive_reader(path_, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_READ);
  ASSERT_TRUE(exclusive_reader.IsValid());
  File second_reader(path_, File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_FALSE(second_reader.IsValid());
  File plain_writer(path_, File::FLAG_OPEN | File::FLAG_WRITE);
  EXPECT_TRUE(plain_writer.IsValid());
}

// A file held for renaming, denying writes, is the file that arrives: nobody can change or
// move it meanwhile, and it never replaces a file at its new place.
TEST_F(FileTest, RenameMovesTheHeldFileAndNothingElse) {
  ASSERT_EQ(7, WriteFileFromBuffer(path_, "checked", 7));
  File held(path_, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_WRITE |
                       File::FLAG_CAN_RENAME);
  ASSERT_TRUE(held.IsValid());
  EXPECT_FALSE(File(path_, File::FLAG_OPEN | File::FLAG_WRITE).IsValid());
  const FilePath elsewhere = temp_dir_.GetPath().Append(L"elsewhere.bin");
  EXPECT_FALSE(::MoveFileW(path_.value().c_str(), elsewhere.value().c_str()));
  EXPECT_FALSE(DeletePath(path_, false));

  const FilePath taken = temp_dir_.GetPath().Append(L"taken.bin");
  ASSERT_EQ(5, WriteFileFromBuffer(taken, "taken", 5));
  EXPECT_FALSE(held.Rename(taken));
  ASSERT_TRUE(CreateDirectory(temp_dir_.GetPath().Append(L"placed")));
  const FilePath placed = temp_dir_.GetPath().Append(L"placed").Append(L"file.bin");
  EXPECT_TRUE(held.Rename(placed));
  held.Close();

  std::string contents;
  EXPECT_TRUE(ReadFileToString(placed, &contents));
  EXPECT_EQ("checked", contents);
  EXPECT_TRUE(ReadFileToString(taken, &contents));
  EXPECT_EQ("taken", contents);
  EXPECT_FALSE(PathExists(path_));
  EXPECT_FALSE(PathExists(elsewhere));
}

TEST_F(FileTest, DeleteOnCloseRemovesTheFile) {
  {
    File file(path_, File::FLAG_CREATE_ALWAYS | File::FLAG_READ | File::FLAG_WRITE |
                         File::FLAG_TEMPORARY | File::FLAG_DELETE_ON_CLOSE);
    ASSERT_TRUE(file.IsValid());
    EXPECT_EQ(4, file.Write(0, "temp", 4));
    EXPECT_TRUE(PathExists(path_));
  }
  EXPECT_FALSE(PathExists(path_));

  File file(path_, File::FLAG_CREATE | File::FLAG_WRITE | File::FLAG_DELETE_ON_CLOSE);
  ASSERT_TRUE(file.IsValid());
  File moved(std::move(file));
  EXPECT_FALSE(file.IsValid());
  EXPECT_TRUE(PathExists(path_));
  moved.Close();
  EXPECT_FALSE(PathExists(path_));
}

}  // namespace
}  // namespace base
