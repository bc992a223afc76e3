#include "desktop/windows/installer/taskbar_pin_helper.h"

#include <set>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/path_registry.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_environment.h"
#include "base/test/scoped_path_override.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Seen from a signed installer, the package's pin helper runs, under the shell's name, only
// when it carries the product's signature: not unsigned, not signed by someone else. This
// process is elevated (as every Wine process): the helper runs from a protected folder of
// its own, and no copy of it stays there or in the package folder.
TEST(TaskbarPinHelperTest, RunsOnlyASignedHelperAndKeepsNoCopy) {
  const test::ExamplePackage example = test::ExamplePackage::Current();
  const base::ScopedPathOverride signed_installer(base::FILE_EXE, example.package_installer(), true,
                                                  false);
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath stub_logs = temp.GetPath().Append(L"stubs");
  const base::FilePath pins = temp.GetPath().Append(L"pins");
  const base::FilePath package = temp.GetPath().Append(L"package");
  ASSERT_TRUE(base::CreateDirectory(stub_logs) && base::CreateDirectory(pins) &&
              base::CreateDirectory(package));
  const base::test::ScopedEnvironment environment(
      {{base::Utf16ToUtf8(test::kStubLogFolderVariable), stub_logs.ToUtf8()},
       {base::Utf16ToUtf8(test::kStubPinFolderVariable), pins.ToUtf8()}});
  const base::FilePath shortcut = temp.GetPath().Append(L"Tavro.lnk");
  ASSERT_TRUE(test::WriteTestFile(shortcut, "shortcut"));
  const base::FilePath helper = package.Append(L"installer_helper_64.exe");
  const std::set<base::FilePath> folders_before = test::ListSystemTempFolders(L"tavro_pin_*");

  const struct {
    const wchar_t* name;
    base::FilePath source;
  } refused[] = {
      {L"unsigned", example.package_folder().Append(L"installer_helper_64.exe")},
      {L"another signer's",
       base::FilePath(test::GetTestBinFolder()).Append(L"signed_by_other.exe")},
  };
  for (const auto& entry : refused) {
    ASSERT_TRUE(base::CopySingleFile(entry.source, helper));
    EXPECT_FALSE(RunTaskbarPinHelper(package, helper, shortcut)) << entry.name;
  }
  EXPECT_TRUE(test::ReadStubInvocations(stub_logs).empty());
  EXPECT_FALSE(base::PathExists(pins.Append(L"Tavro.lnk")));

  // The product's own signature: it pins.
  ASSERT_TRUE(
      base::CopySingleFile(example.component_folder().Append(L"suite_installer.exe"), helper));
  EXPECT_TRUE(RunTaskbarPinHelper(package, helper, shortcut));
  const std::vector<test::StubInvocation> runs = test::ReadStubInvocations(stub_logs);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"explorer.exe", runs[0].program);
  EXPECT_NE(package, runs[0].GetCommandLine().GetProgram().DirName());
  EXPECT_TRUE(base::PathExists(pins.Append(L"Tavro.lnk")));

  EXPECT_FALSE(base::PathExists(package.Append(L"explorer.exe")));
  EXPECT_EQ(folders_before, test::ListSystemTempFolders(L"tavro_pin_*"));
}

}  // namespace
}  // namespace installer
