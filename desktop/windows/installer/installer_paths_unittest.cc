#include "desktop/windows/installer/installer_paths.h"

#include <windows.h>

#include <string>

#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/path_registry.h"
#include "base/test/folder_link.h"
#include "base/test/scoped_path_override.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

const wchar_t kFolderName[] = L"Tavro Installer";

base::FilePath InstallerExe() {
  return base::FilePath(test::GetTestBinFolder()).Append(L"installer.exe");
}

bool IsEmptyFolder(const base::FilePath& folder) {
  base::FileEnumerator enumerator(folder, false,
                                  base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  return enumerator.Next().empty();
}

TEST(InstallerPathsTest, PreparesFolderAndRemovesTheProbeCopy) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  base::FilePath folder = temp.GetPath().Append(L"nested");
  ASSERT_TRUE(PrepareInstallerFolder(kFolderName, InstallerExe(), &folder));
  EXPECT_EQ(temp.GetPath().Append(L"nested").Append(kFolderName), folder);
  EXPECT_TRUE(base::DirectoryExists(folder));
  EXPECT_TRUE(IsEmptyFolder(folder));

  // Without a probe the folder is only made.
  base::FilePath plain = temp.GetPath();
  EXPECT_TRUE(PrepareInstallerFolder(L"plain", base::FilePath(), &plain));
  EXPECT_TRUE(base::DirectoryExists(plain));
}

// Front ends that start together try the same folder: a copy another one runs there is no
// obstacle, and stays.
TEST(InstallerPathsTest, AFolderThatAnotherInstallerTriesIsUsableToo) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath shared = temp.GetPath().Append(kFolderName);
  ASSERT_TRUE(base::CreateDirectory(shared));
  // Held as a running program's file is: no writing, no deleting.
  const base::FilePath others_copy = shared.Append(InstallerExe().BaseName());
  ASSERT_TRUE(base::CopySingleFile(InstallerExe(), others_copy));
  const base::File held(others_copy, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                         base::File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(held.IsValid());

  base::FilePath folder = temp.GetPath();
  EXPECT_TRUE(PrepareInstallerFolder(kFolderName, InstallerExe(), &folder));
  EXPECT_EQ(shared, folder);
  base::FileEnumerator entries(shared, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  EXPECT_EQ(others_copy, entries.Next());
  EXPECT_TRUE(entries.Next().empty());
}

// The probe copy lies in a folder its user may change while an elevated installer runs it:
// it runs only as held, and only when it is the same bytes as the installer.
TEST(InstallerPathsTest, TheProbeCopyIsHeldOnlyWhenItIsTheInstaller) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  std::string bytes;
  ASSERT_TRUE(base::ReadFileToString(InstallerExe(), &bytes));
  const base::FilePath copy = temp.GetPath().Append(L"probe.exe");

  std::string changed = bytes;
  changed[changed.size() / 2] ^= 1;
  for (const std::string& other : {changed, bytes.substr(0, bytes.size() - 1), bytes + "x"}) {
    ASSERT_EQ(static_cast<int>(other.size()),
              base::WriteFileFromBuffer(copy, other.data(), static_cast<int>(other.size())));
    EXPECT_FALSE(HoldIfCopyOf(copy, InstallerExe()).IsValid());
  }

  ASSERT_EQ(static_cast<int>(bytes.size()),
            base::WriteFileFromBuffer(copy, bytes.data(), static_cast<int>(bytes.size())));
  const base::win::ScopedHandle held = HoldIfCopyOf(copy, InstallerExe());
  ASSERT_TRUE(held.IsValid());
  const base::win::ScopedHandle writer(::CreateFileW(
      copy.value().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer.IsValid());
  const base::FilePath moved = temp.GetPath().Append(L"moved.exe");
  EXPECT_FALSE(::MoveFileW(copy.value().c_str(), moved.value().c_str()));
  EXPECT_FALSE(::DeleteFileW(copy.value().c_str()));
}

// A link in place of the working folder leads nowhere: the candidate is refused, and
// nothing (no probe copy) is made where the link leads.
TEST(InstallerPathsTest, AWorkingFolderThatIsALinkIsRefused) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath elsewhere = temp.GetPath().Append(L"elsewhere");
  ASSERT_TRUE(base::CreateDirectory(elsewhere));
  base::test::ScopedFolderLink link;
  if (!link.Make(temp.GetPath().Append(kFolderName), elsewhere))
    GTEST_SKIP() << "Folder links cannot be made here";

  for (const base::FilePath& probe : {base::FilePath(), InstallerExe()}) {
    base::FilePath folder = temp.GetPath();
    EXPECT_FALSE(PrepareInstallerFolder(kFolderName, probe, &folder));
    EXPECT_EQ(temp.GetPath(), folder);
  }
  base::FileEnumerator made(elsewhere, false,
                            base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  EXPECT_TRUE(made.Next().empty());
}

TEST(InstallerPathsTest, FolderThatCannotRunTheProbeIsRemoved) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  // Not an executable: starting it fails wherever it is copied.
  const base::FilePath bad_probe = temp.GetPath().Append(L"probe.exe");
  ASSERT_EQ(4, base::WriteFileFromBuffer(bad_probe, "text", 4));

  base::FilePath folder = temp.GetPath();
  EXPECT_FALSE(CanRunExecutableIn(folder, bad_probe.DirName().Append(L"missing.exe")));
  EXPECT_FALSE(PrepareInstallerFolder(kFolderName, bad_probe, &folder));
  EXPECT_FALSE(base::PathExists(temp.GetPath().Append(kFolderName)));
  // A failure hands out no path.
  EXPECT_EQ(temp.GetPath(), folder);
}

TEST(InstallerPathsTest, TempInstallerFolderTriesEachCandidate) {
  base::ScopedPathOverride temp_dir(base::DIR_TEMP);
  base::ScopedPathOverride home_dir(base::DIR_HOME);
  base::ScopedPathOverride exe_dir(base::DIR_EXE);
  base::FilePath temp_root, home_root, exe_root;
  ASSERT_TRUE(base::PathRegistry::Get(base::DIR_TEMP, &temp_root));
  ASSERT_TRUE(base::PathRegistry::Get(base::DIR_HOME, &home_root));
  ASSERT_TRUE(base::PathRegistry::Get(base::DIR_EXE, &exe_root));

  base::FilePath folder;
  ASSERT_TRUE(GetTempInstallerFolder(kFolderName, InstallerExe(), &folder));
  EXPECT_EQ(temp_root.Append(kFolderName), folder);

  // No usable candidate: every folder made on the way is removed again.
  const base::FilePath bad_probe = exe_root.Append(L"probe.exe");
  ASSERT_EQ(4, base::WriteFileFromBuffer(bad_probe, "text", 4));
  ASSERT_TRUE(base::DeletePath(temp_root.Append(kFolderName), true));
  const base::FilePath untouched(L"C:\\untouched");
  folder = untouched;
  EXPECT_FALSE(GetTempInstallerFolder(kFolderName, bad_probe, &folder));
  EXPECT_EQ(untouched.value(), folder.value());
  EXPECT_FALSE(GetInstallerFolderAt(kFolderName, bad_probe, &folder, base::DIR_TEMP));
  EXPECT_EQ(untouched.value(), folder.value());
  EXPECT_FALSE(base::PathExists(temp_root.Append(kFolderName)));
  EXPECT_FALSE(base::PathExists(home_root.Append(kFolderName)));
  EXPECT_FALSE(base::PathExists(exe_root.Append(kFolderName)));

  // A temporary folder that cannot hold the installer folder: the next candidate is used.
  ASSERT_EQ(1, base::WriteFileFromBuffer(temp_root.Append(kFolderName), "x", 1));
  ASSERT_TRUE(GetTempInstallerFolder(kFolderName, InstallerExe(), &folder));
  EXPECT_NE(temp_root.Append(kFolderName), folder);
  EXPECT_TRUE(base::DirectoryExists(folder));
  base::DeletePath(folder, true);
}

}  // namespace
}  // namespace installer
