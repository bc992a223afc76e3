#include "desktop/windows/installer/service/elevated_run.h"

#include <windows.h>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/test/folder_link.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

bool IsEmptyFolder(const base::FilePath& folder) {
  base::FileEnumerator entries(folder, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  return entries.Next().empty();
}

TEST(ElevatedRunTest, KnowsTheRunsTheInstallerStartsElevated) {
  EXPECT_TRUE(IsElevatedRun(base::CommandLine::FromString(L"installer.exe --backend --run-elevated")));
  EXPECT_TRUE(IsElevatedRun(
      base::CommandLine::FromString(L"installer.exe --set-folder-permission=C:\\x --parent-pid=4")));
  EXPECT_FALSE(IsElevatedRun(base::CommandLine::FromString(L"installer.exe --backend --silent")));
}

// The folder a user made first, or a link put in its place, is not written into: a folder of
// the run's own is made beside it instead, and nothing lands where the link leads.
TEST(ElevatedRunTest, WritesNeitherIntoAFolderTheUserMadeNorThroughALink) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath fresh_parent = temp.GetPath().Append(L"fresh");
  const base::FilePath planted_parent = temp.GetPath().Append(L"planted");
  const base::FilePath linked_parent = temp.GetPath().Append(L"linked");
  const base::FilePath elsewhere = temp.GetPath().Append(L"elsewhere");
  for (const base::FilePath& folder : {fresh_parent, planted_parent, linked_parent, elsewhere})
    ASSERT_TRUE(base::CreateDirectory(folder));

  base::FilePath folder;
  ASSERT_TRUE(OpenElevatedLogFolder(fresh_parent, L"Tavro Installer", &folder));
  EXPECT_EQ(fresh_parent.Append(L"Tavro Installer"), folder);

  const base::FilePath planted = planted_parent.Append(L"Tavro Installer");
  ASSERT_TRUE(base::CreateDirectory(planted));
  ASSERT_TRUE(OpenElevatedLogFolder(planted_parent, L"Tavro Installer", &folder));
  EXPECT_NE(planted, folder);
  EXPECT_EQ(planted_parent, folder.DirName());
  EXPECT_EQ(0u, folder.BaseName().value().find(L"Tavro Installer "));

  base::test::ScopedFolderLink link;
  if (!link.Make(linked_parent.Append(L"Tavro Installer"), elsewhere))
    GTEST_SKIP() << "Folder links cannot be made here";
  ASSERT_TRUE(OpenElevatedLogFolder(linked_parent, L"Tavro Installer", &folder));
  EXPECT_NE(linked_parent.Append(L"Tavro Installer"), folder);
  EXPECT_EQ(linked_parent, folder.DirName());
  ASSERT_TRUE(base::WriteFileFromBuffer(folder.Append(L"x.log"), "x", 1) == 1);
  EXPECT_TRUE(IsEmptyFolder(elsewhere));
}

}  // namespace
}  // namespace installer
