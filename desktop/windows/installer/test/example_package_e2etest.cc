#include "desktop/windows/installer/test/example_package.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/version.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/signature.h"
#include "desktop/windows/installer/test/installer_e2e_test.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/test_host.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

// What the package folder holds besides the files of its two lists.
const wchar_t* const kPackageOnlyFiles[] = {
    L"files_list",   L"root_files_list",      L"installer_prefs_include.json",
    L"launcher.exe", L"installer_helper.exe", L"installer_helper_64.exe"};

TEST(ExamplePackageTest, BothVersionsAreSignedFullPackagesWhoseListsMatchTheirFiles) {
  for (const ExamplePackage& package : {ExamplePackage::Current(), ExamplePackage::Next()}) {
    SCOPED_TRACE(package.version());
    ASSERT_TRUE(package.IsBuilt());

    const PayloadReader reader(package.package_installer());
    EXPECT_EQ(PayloadType::kFullPackage, reader.type());
    std::string archive;
    ASSERT_TRUE(base::ReadFileToString(package.archive(), &archive));
    EXPECT_EQ(archive, reader.GetPayload());
    EXPECT_TRUE(VerifySigner(package.package_installer()));
    EXPECT_TRUE(VerifySigner(package.suite_archive()));
    EXPECT_TRUE(VerifySigner(package.component_folder().Append(L"suite_installer.exe")));

    // Every file of the package is in exactly one list or is one of the package's own.
    std::vector<std::wstring> expected;
    for (const std::string& entry : package.ReadFilesList())
      expected.push_back(base::Utf8ToUtf16(entry));
    for (const std::string& entry : package.ReadRootFilesList())
      expected.push_back(base::Utf8ToUtf16(entry));
    expected.insert(expected.end(), std::begin(kPackageOnlyFiles), std::end(kPackageOnlyFiles));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, TreeSnapshot::Capture(package.package_folder()).GetFilePaths());
  }
  EXPECT_EQ(ProductInfo::GetVersion(), ExamplePackage::Current().version());
  EXPECT_LT(base::Version(ExamplePackage::Current().version())
                .CompareTo(base::Version(ExamplePackage::Next().version())),
            0);
  EXPECT_LT(base::Version(ExamplePackage::Current().internal_version())
                .CompareTo(base::Version(ExamplePackage::Next().internal_version())),
            0);
}

using ExamplePackageE2eTest = InstallerE2eTest;

TEST_F(ExamplePackageE2eTest, UnpackedPackageRunsAsThePackagesInstaller) {
  // Each version's installers are that version: the package's own, and the package
  // installer alone in a folder, as the package fetcher runs it.
  for (const ExamplePackage& example : {ExamplePackage::Current(), ExamplePackage::Next()}) {
    const base::FilePath folder = work_folder().AppendASCII(example.version());
    base::FilePath copy;
    ASSERT_TRUE(example.CopyTo(folder, &copy));
    const base::FilePath alone = folder.Append(L"download").Append(L"tavro_installer_1.exe");
    ASSERT_TRUE(base::CreateDirectory(alone.DirName()));
    ASSERT_TRUE(base::CopySingleFile(example.package_installer(), alone));
    for (const base::FilePath& installer : {copy.Append(L"installer.exe"), alone}) {
      const ProcessResult version =
          RunProcess(L"\"" + installer.value() + L"\" --version", MakeProcessOptions());
      ASSERT_TRUE(version.Succeeded()) << version.Describe();
      EXPECT_EQ(example.version(), version.output);
    }
  }

  base::FilePath package;
  ASSERT_TRUE(ExamplePackage::Current().CopyTo(work_folder(), &package));
  const base::FilePath install = work_folder().Append(L"install");
  RunProcess(L"\"" + package.Append(L"installer.exe").value() +
                 L"\" --silent --copyonly=1 --installfolder=\"" + install.value() + L"\"",
             MakeProcessOptions());
  const std::string log = ReadInstallerLog(temp_folder());
  EXPECT_NE(std::string::npos, log.find("] Inside package1\n")) << ReadLogs();
}

TEST_F(ExamplePackageE2eTest, TestHostRunsWithTheTestServerInItsConfiguration) {
  EXPECT_NE(std::string::npos,
            ReadProductConfig(host()).find("\"autoupdate\":\"" + server().GetBaseUrl() + "\""))
      << ReadProductConfig(host());
  const ProcessResult version = RunHost(L"--version");
  ASSERT_TRUE(version.Succeeded()) << version.Describe();
  EXPECT_EQ(ProductInfo::GetVersion(), version.output);
}

TEST_F(ExamplePackageE2eTest, StubsRecordTheirRunsAndDoWhatTheirNameSays) {
  base::FilePath package;
  ASSERT_TRUE(ExamplePackage::Current().CopyTo(work_folder(), &package));
  ProcessOptions options = MakeProcessOptions();
  options.current_directory = work_folder();

  // The browser records its command line and working folder, and exits as told.
  const base::FilePath browser = package.Append(L"tavro.exe");
  EXPECT_TRUE(RunProcess(L"\"" + browser.value() + L"\" --flag=\"a b\" x", options).Succeeded());
  options.environment.push_back(StubExitCodeEnvironment(L"tavro.exe", 7));
  EXPECT_EQ(7u, RunProcess(L"\"" + browser.value() + L"\"", options).exit_code);
  const std::vector<StubInvocation> runs = ReadStubInvocations(L"tavro.exe");
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ(L"a b", runs[0].GetCommandLine().GetSwitchValueNative("flag"));
  EXPECT_EQ(work_folder().value(), runs[0].working_folder.StripTrailingSeparators().value());

  // The component installer installs itself into its folder, answers its version and
  // uninstalls.
  options = MakeProcessOptions();
  const base::FilePath component = work_folder().Append(L"install").Append(L"suite");
  ASSERT_TRUE(base::CreateDirectory(component.DirName()));
  base::CommandLine install(work_folder().Append(L"suite").Append(L"suite_installer.exe"));
  install.AppendSwitchPath("installfolder", component);
  install.AppendSwitchASCII("copyonly", "0");
  install.AppendSwitchASCII("allusers", "0");
  ASSERT_TRUE(RunProcess(install, options).Succeeded());
  const base::FilePath installed = component.Append(L"suite_installer.exe");
  EXPECT_TRUE(base::PathExists(installed));
  EXPECT_TRUE(base::PathExists(component.Append(L"component.txt")));
  const ProcessResult version =
      RunProcess(L"\"" + installed.value() + L"\" --internal-version", options);
  EXPECT_EQ(ExamplePackage::Current().internal_version(), version.output);
  EXPECT_TRUE(
      RunProcess(L"\"" + installed.value() + L"\" --uninstall --copyonly=0 --allusers=0", options)
          .Succeeded());
  EXPECT_FALSE(base::PathExists(component.Append(L"component.txt")));

  // The self-extracting archive writes the component installer beside itself.
  const base::FilePath download = work_folder().Append(L"download");
  ASSERT_TRUE(base::CreateDirectory(download));
  ASSERT_TRUE(base::CopySingleFile(ExamplePackage::Current().suite_archive(),
                                   download.Append(L"suite_sfx.exe")));
  EXPECT_TRUE(
      RunProcess(L"\"" + download.Append(L"suite_sfx.exe").value() + L"\"", options).Succeeded());
  EXPECT_TRUE(base::PathExists(download.Append(L"suite_installer.exe")));

  // A held launcher stays running until released.
  StubHold hold(L"launcher.exe");
  ASSERT_TRUE(hold.IsValid());
  options.environment.push_back(hold.GetEnvironment());
  TestProcess launcher;
  ASSERT_TRUE(launcher.Start(L"\"" + package.Append(L"launcher.exe").value() + L"\"", options));
  ASSERT_TRUE(WaitForStubInvocations(stub_log_folder(), L"launcher.exe", 1,
                                     base::TimeDelta::FromSeconds(60)));
  EXPECT_TRUE(launcher.IsRunning());
  hold.Release();
  EXPECT_TRUE(launcher.Wait().Succeeded());
}

}  // namespace
}  // namespace test
}  // namespace installer
