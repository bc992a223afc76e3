#include "desktop/windows/installer/installer_main.h"

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/time/time.h"

#include "base/process/launch.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerMainTest, InformationalSwitchesPrintAndSucceed) {
  test::ProcessResult version = test::RunInstallerExe(L"--version");
  ASSERT_TRUE(version.started);
  EXPECT_EQ(0u, version.exit_code);
  EXPECT_EQ(ProductInfo::GetVersion(), version.output);

  test::ProcessResult internal = test::RunInstallerExe(L"/internal-version");
  EXPECT_EQ(0u, internal.exit_code);
  EXPECT_EQ(ProductInfo::GetInternalVersion(), internal.output);

  test::ProcessResult stream = test::RunInstallerExe(L"-STREAM");
  EXPECT_EQ(0u, stream.exit_code);
  EXPECT_EQ(ProductInfo::GetStream(), stream.output);
}

TEST(InstallerMainTest, FirstInformationalSwitchWins) {
  // "version" is tested first, then "internal-version", then "stream".
  EXPECT_EQ(ProductInfo::GetVersion(), test::RunInstallerExe(L"--stream --version").output);
  EXPECT_EQ(ProductInfo::GetInternalVersion(),
            test::RunInstallerExe(L"--stream --internal-version").output);
}

TEST(InstallerMainTest, VersionIsFourDottedNumbers) {
  const std::string version = ProductInfo::GetVersion();
  int parts[4] = {-1, -1, -1, -1};
  char tail = 0;
  EXPECT_EQ(4, sscanf(version.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2],
                      &parts[3], &tail));
  EXPECT_EQ(ProductInfo::GetMajorVersion(), parts[0]);
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

TEST(InstallerMainTest, RecoversTheY12InstallFolderFromTheLastArgument) {
  EXPECT_EQ(L"C:\\Program Files\\Tavro",
            RecoverInstallFolderFromArgs(
                base::CommandLine::FromString(
                    L"installer.exe --installfolder= --autoupdate --silent \"C:\\Program Files\\Tavro\""))
                .value());
  // A relative last argument, or none at all, recovers nothing.
  EXPECT_TRUE(RecoverInstallFolderFromArgs(
                  base::CommandLine::FromString(L"installer.exe --autoupdate Tavro"))
                  .empty());
  EXPECT_TRUE(RecoverInstallFolderFromArgs(
                  base::CommandLine::FromString(L"installer.exe --installfolder=C:\\x"))
                  .empty());
}

TEST(InstallerMainTest, LogFileNameHasTheFullYear) {
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  const std::wstring name = GetLogFilePath().BaseName().value();
  // "tavro_installer_YYYYMMDDhhmmss.log"
  ASSERT_EQ(std::wstring(L"tavro_installer_").size() + 14 + 4, name.size()) << name;
  EXPECT_EQ(0u, name.find(L"tavro_installer_" + std::to_wstring(now.year)));
  EXPECT_EQ(L".log", name.substr(name.size() - 4));
  EXPECT_EQ(L"Tavro Installer", GetLogFilePath().DirName().BaseName().value());
}

TEST(InstallerMainTest, HelpWinsOverTheBackendAndWritesNoLog) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  test::ProcessResult help =
      test::RunInstallerExe(L"--backend --help", {{L"TMP", temp.GetPath().value()},
                                                   {L"TEMP", temp.GetPath().value()}});
  EXPECT_EQ(0u, help.exit_code);
  EXPECT_EQ(0u, help.output.find("Tavro Installer " + ProductInfo::GetVersion()));
  // Standard output is in text mode: lines end with CR LF.
  EXPECT_NE(std::string::npos, help.output.find("  launchbrowser=[0|1]\r\n"));
  EXPECT_FALSE(base::PathExists(temp.GetPath().Append(L"Tavro Installer")));
}

TEST(InstallerMainTest, FrontEndRunLogsToTheInstallerFolderAndReportsWhatIsMissing) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  test::ProcessResult run =
      test::RunInstallerExe(L"--silent", {{L"TMP", temp.GetPath().value()},
                                          {L"TEMP", temp.GetPath().value()}});
  EXPECT_EQ(1u, run.exit_code);
  base::FileEnumerator logs(temp.GetPath().Append(L"Tavro Installer"), false,
                            base::FileEnumerator::FILES, L"tavro_installer_*.log");
  const base::FilePath log = logs.Next();
  ASSERT_FALSE(log.empty());
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(log, &text));
  EXPECT_NE(std::string::npos, text.find("Tavro installer starting - version " +
                                         ProductInfo::GetVersion() + " " +
                                         ProductInfo::GetStream()));
  EXPECT_NE(std::string::npos, text.find("] Silent:1\n"));
  EXPECT_NE(std::string::npos, text.find("] Failed reading payload\n"));
  EXPECT_NE(std::string::npos, text.find("not built yet"));
}

// An uninstallation takes its experiments from the installation's "installer_prefs.json",
// not from the command line.
TEST(InstallerMainTest, UninstallTakesTheExperimentsOfTheInstallationFolder) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath folder = temp.GetPath().Append(L"install");
  ASSERT_TRUE(base::CreateDirectory(folder));
  const base::FilePath bin(test::GetTestBinFolder());
  for (const wchar_t* name : {L"installer.exe", L"tavro_installer.dll"})
    ASSERT_TRUE(base::CopySingleFile(bin.Append(name), folder.Append(name)));
  ASSERT_EQ(4, base::WriteFileFromBuffer(folder.Append(GetBrowserExeName()), "fake", 4));

  // The log of an uninstallation with |experiments| stored and |switches| given.
  auto run_uninstall = [&](const std::string& experiments, const std::wstring& switches) {
    const std::string json = "{\"installer-experiments\": " + experiments + "}";
    base::WriteFileFromBuffer(folder.Append(L"installer_prefs.json"), json.data(),
                              static_cast<int>(json.size()));
    base::ScopedTempDir log_temp;
    if (!log_temp.CreateUniqueTempDir())
      return std::string();
    base::LaunchOptions options;
    options.environment = {{L"TMP", log_temp.GetPath().value()},
                           {L"TEMP", log_temp.GetPath().value()}};
    std::string output;
    DWORD exit_code = 0;
    base::GetAppOutputWithOptions(
        L"\"" + folder.Append(L"installer.exe").value() + L"\" --uninstall " + switches, options,
        true, &output, &exit_code);
    base::FileEnumerator logs(log_temp.GetPath().Append(L"Tavro Installer"), false,
                              base::FileEnumerator::FILES, L"tavro_installer_*.log");
    std::string text;
    base::ReadFileToString(logs.Next(), &text);
    return text;
  };

  std::string log = run_uninstall("[\"installer-experiment-test@1\"]", L"");
  EXPECT_NE(std::string::npos, log.find("] Uninstall:1\n")) << log;
  EXPECT_NE(std::string::npos, log.find("] Test experiment is enabled\n"));
  log = run_uninstall("[\"installer-experiment-test@2\"]",
                      L"--with-feature:installer-experiment-test");
  EXPECT_NE(std::string::npos, log.find("] Uninstall:1\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("Test experiment is enabled"));
}

}  // namespace
}  // namespace installer
