#include "base/files/memory_mapped_file.h"

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(MemoryMappedFileTest, MapsWholeFileEmptyFileAndFailsOnMissingFile) {
  ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const FilePath path = temp_dir.GetPath().Append(L"mapped.bin");
  std::string contents(100000, 'x');
  contents[0] = 'A';
  contents.back() = 'Z';
  ASSERT_EQ(100000, WriteFileFromBuffer(path, contents.data(), 100000));

  {
    MemoryMappedFile mapped;
    EXPECT_FALSE(mapped.IsValid());
    ASSERT_TRUE(mapped.Initialize(path));
    EXPECT_TRUE(mapped.IsValid());
    ASSERT_EQ(contents.size(), mapped.length());
    EXPECT_EQ(contents,
              std::string(reinterpret_cast<const char*>(mapped.data()), mapped.length()));
    EXPECT_FALSE(mapped.Initialize(path));  // Already mapped.
    // The file stays readable by others.
    EXPECT_EQ(1, ReadFileToBuffer(path, &contents[0], 1));
  }
  // Unmapped: the file can go.
  EXPECT_TRUE(DeletePath(path, false));
  EXPECT_FALSE(PathExists(path));

  MemoryMappedFile missing;
  EXPECT_FALSE(missing.Initialize(path));
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(nullptr, missing.data());

  const FilePath empty = temp_dir.GetPath().Append(L"empty.bin");
  ASSERT_EQ(0, WriteFileFromBuffer(empty, "", 0));
  MemoryMappedFile empty_mapping;
  EXPECT_TRUE(empty_mapping.Initialize(empty));
  EXPECT_TRUE(empty_mapping.IsValid());
  EXPECT_EQ(0u, empty_mapping.length());
  EXPECT_EQ(nullptr, empty_mapping.data());
}

}  // namespace
}  // namespace base
