#include "desktop/windows/installer/staging_folder.h"

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// The copies lie in a new folder of the system's temporary folder, only where they were
// asked to go, and go with the folder.
TEST(StagingFolderTest, CopiesBelowItselfOnlyAndGoesWithEverythingInIt) {
  base::ScopedTempDir source;
  ASSERT_TRUE(source.CreateUniqueTempDir());
  ASSERT_TRUE(base::CreateDirectory(source.GetPath().Append(L"resources")));
  ASSERT_TRUE(test::WriteTestFile(source.GetPath().Append(L"resources\\about.txt"), "about"));
  ASSERT_TRUE(test::WriteTestFile(source.GetPath().Append(L"files_list"), "list"));
  base::FilePath folder;
  {
    StagingFolder staging;
    EXPECT_FALSE(staging.CopyIn(source.GetPath(), base::FilePath(L"files_list")));
    ASSERT_TRUE(staging.Create());
    folder = staging.path();
    EXPECT_TRUE(IsPathInside(folder, SystemTempFolder()));
    EXPECT_FALSE(staging.Create());
    EXPECT_TRUE(staging.CopyIn(source.GetPath(), base::FilePath(L"files_list")));
    EXPECT_TRUE(staging.CopyIn(source.GetPath(), base::FilePath(L"resources\\about.txt")));
    std::string text;
    EXPECT_TRUE(base::ReadFileToString(folder.Append(L"resources\\about.txt"), &text));
    EXPECT_EQ("about", text);
    // Nothing lands beside the folder, or anywhere else.
    for (const wchar_t* outside : {L"..\\files_list", L"resources\\..\\..\\files_list"})
      EXPECT_FALSE(staging.CopyIn(source.GetPath(), base::FilePath(outside))) << outside;
    EXPECT_FALSE(staging.CopyIn(source.GetPath(), source.GetPath().Append(L"files_list")));
    EXPECT_FALSE(base::PathExists(folder.DirName().Append(L"files_list")));
    // A file the source lacks is no copy.
    EXPECT_FALSE(staging.CopyIn(source.GetPath(), base::FilePath(L"missing.txt")));
  }
  EXPECT_FALSE(base::PathExists(folder));
}

}  // namespace
}  // namespace installer
