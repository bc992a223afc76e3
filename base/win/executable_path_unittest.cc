#include "base/win/executable_path.h"

#include "base/files/file_util.h"
#include "base/path_registry.h"
#include "base/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ExecutablePathTest, IsTheRunningProgramWhateverTheOverrides) {
  FilePath path;
  ASSERT_TRUE(GetExecutablePath(&path));
  EXPECT_TRUE(path.IsAbsolute()) << path;
  EXPECT_TRUE(FilePath::CompareEqualIgnoreCase(L"base_unittests.exe", path.BaseName().value()))
      << path;
  EXPECT_TRUE(PathExists(path)) << path;

  ScopedPathOverride override(FILE_EXE);
  ASSERT_TRUE(override.IsValid());
  FilePath again;
  ASSERT_TRUE(GetExecutablePath(&again));
  EXPECT_EQ(path, again);
}

}  // namespace
}  // namespace win
}  // namespace base
