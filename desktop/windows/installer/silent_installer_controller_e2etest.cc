// A silent installation from the autoupdate server, end to end: the real installer.exe under
// Wine, the example package on a local server, and what a user (or the server) sees after.

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/test/content_hash.h"
#include "desktop/windows/installer/test/installer_file.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/server_install_e2e_test.h"
#include "desktop/windows/installer/test/snapshot_difference.h"
#include "desktop/windows/installer/test/test_host.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

std::string ReadFile(const base::FilePath& path) {
  std::string contents;
  EXPECT_TRUE(base::ReadFileToString(path, &contents)) << path;
  return contents;
}

base::FilePath BinFile(const wchar_t* name) {
  return base::FilePath(GetTestBinFolder()).Append(name);
}

// Every test leaves the registry as it found it: an installation is uninstalled again.
class SilentInstallE2eTest : public ServerInstallE2eTest {
 protected:
  ProcessResult RunSilentInstall(const std::wstring& extra_arguments = std::wstring()) {
    return RunSilentInstall(host(), MakeProcessOptions(), extra_arguments);
  }

  ProcessResult RunSilentInstall(const base::FilePath& installer,
                                 const ProcessOptions& options,
                                 const std::wstring& extra_arguments) {
    return RunProcess(L"\"" + installer.value() + L"\" --silent --installfolder=\"" +
                          install_folder().value() + L"\" " + extra_arguments,
                      options);
  }

  // The fetch records of the last report.
  std::vector<const base::DictionaryValue*> Fetches(const base::DictionaryValue& report) {
    std::vector<const base::DictionaryValue*> fetches;
    const base::ListValue* list = nullptr;
    if (report.GetList("fetches", &list)) {
      for (size_t i = 0; i < list->GetSize(); ++i) {
        const base::DictionaryValue* fetch = nullptr;
        if (list->GetDictionary(i, &fetch))
          fetches.push_back(fetch);
      }
    }
    return fetches;
  }

  // A run whose every fetch failed with |reason|: nothing installed, nothing left behind,
  // and the server told why.
  void ExpectFetchFailure(const ProcessResult& run, const std::string& reason) {
    EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
    EXPECT_EQ(1u, run.exit_code) << run.Describe() << ReadLogs();
    EXPECT_FALSE(base::PathExists(install_folder()));
    ExpectRegistryUnchanged();
    ExpectDownloadFolderClean();

    const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
    ASSERT_TRUE(report) << "no statistics reached the server";
    int success = -1;
    EXPECT_TRUE(report->GetInteger("installation_success", &success));
    EXPECT_EQ(0, success);
    std::string failure;
    EXPECT_TRUE(report->GetString("failure_reason", &failure));
    EXPECT_EQ("Fetcher error", failure);
    const std::vector<const base::DictionaryValue*> fetches = Fetches(*report);
    ASSERT_EQ(3u, fetches.size()) << ReadLogs();
    for (const base::DictionaryValue* fetch : fetches) {
      std::string result;
      std::string fetch_failure;
      EXPECT_TRUE(fetch->GetString("result", &result));
      EXPECT_EQ("download_failed", result);
      EXPECT_TRUE(fetch->GetString("failure_reason", &fetch_failure));
      EXPECT_EQ(0u, fetch_failure.find(reason)) << fetch_failure;
    }
  }

  // A reply naming the server's package with |checksum|.
  std::string ReplyWithChecksum(const std::string& checksum) {
    return "{\"installer\": \"" + base::Utf16ToUtf8(server().GetPackageUrl()) +
           "\", \"installer_checksum\": \"" + checksum + "\"}";
  }

};

TEST_F(SilentInstallE2eTest, InstallsThePackageFromTheServer) {
  const ProcessResult run = RunSilentInstall();
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();

  // The browser is installed, registered and recorded.
  const ExamplePackage example = ExamplePackage::Current();
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"installation_status.xml")));
  const base::FilePath version_folder = install_folder().AppendASCII(example.version());
  for (const std::string& entry : example.ReadFilesList()) {
    EXPECT_EQ(ReadFile(example.package_folder().Append(base::Utf8ToUtf16(entry))),
              ReadFile(version_folder.Append(base::Utf8ToUtf16(entry))))
        << entry;
  }
  EXPECT_NE(std::wstring(), FindUninstallEntry(install_folder()));
  ExpectDownloadFolderClean();

  // One request for the address, one download, and the statistics of the run.
  EXPECT_EQ(1u, server().GetDownloadUrlRequests().size());
  EXPECT_EQ(1, server().GetPackageDownloadCount());
  ASSERT_EQ(1u, server().GetStatsReports().size());
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  ASSERT_TRUE(report);
  int success = -1;
  EXPECT_TRUE(report->GetInteger("installation_success", &success));
  EXPECT_EQ(1, success);
  std::string download_url;
  EXPECT_TRUE(report->GetString("download_url", &download_url));
  EXPECT_EQ(base::Utf16ToUtf8(server().GetPackageUrl()), download_url);
  const std::vector<const base::DictionaryValue*> fetches = Fetches(*report);
  ASSERT_EQ(1u, fetches.size());
  std::string result;
  EXPECT_TRUE(fetches[0]->GetString("result", &result));
  EXPECT_EQ("package_ready", result);
  std::string payload_type;
  EXPECT_TRUE(report->GetString("payload_type", &payload_type));
  EXPECT_EQ("none", payload_type);

  Uninstall();
}

TEST_F(SilentInstallE2eTest, FullPackageInThePayloadIsInstalledWithoutADownload) {
  base::FilePath installer;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"full"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &installer));
  ASSERT_TRUE(AppendPayload(installer, ReadFile(ExamplePackage::Current().archive())));

  const ProcessResult run = RunSilentInstall(installer, MakeProcessOptions(), L"");
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_NE(std::wstring(), FindUninstallEntry(install_folder()));
  ExpectDownloadFolderClean();

  // The server heard of the run only through its statistics and the preference overrides.
  EXPECT_TRUE(server().GetDownloadUrlRequests().empty());
  EXPECT_EQ(0, server().GetPackageDownloadCount());
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  ASSERT_TRUE(report);
  std::string payload_type;
  EXPECT_TRUE(report->GetString("payload_type", &payload_type));
  EXPECT_EQ("full_package", payload_type);
  EXPECT_FALSE(report->HasKey("download_url"));

  Uninstall();
}

TEST_F(SilentInstallE2eTest, InterruptedDownloadIsResumedAndAFailingServerRetried) {
  std::string package;
  ASSERT_TRUE(base::ReadFileToString(ExamplePackage::Current().package_installer(), &package));
  const int64_t cut = static_cast<int64_t>(package.size() / 2);
  server().CutPackageDownloads(cut);
  server().FailDownloadUrlRequests(2, 503);

  const ProcessResult run = RunSilentInstall();
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));

  EXPECT_EQ(3u, server().GetDownloadUrlRequests().size());
  // The second request for the package asked only for what the first one did not bring.
  const std::string package_url = base::Utf16ToUtf8(server().GetPackageUrl());
  const std::string package_path = package_url.substr(package_url.find('/', sizeof("http://")));
  std::vector<TestHttpServer::Request> package_requests;
  for (const TestHttpServer::Request& request : server().http().GetRequests()) {
    if (request.path == package_path)
      package_requests.push_back(request);
  }
  ASSERT_EQ(2u, package_requests.size());
  EXPECT_EQ(0u, package_requests[0].headers.count("range"));
  EXPECT_EQ(base::StringPrintf("bytes=%lld-", static_cast<long long>(cut)),
            package_requests[1].headers["range"]);

  // One fetch: the retries were the downloader's own.
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  ASSERT_TRUE(report);
  EXPECT_EQ(1u, Fetches(*report).size());
  int success = -1;
  EXPECT_TRUE(report->GetInteger("installation_success", &success));
  EXPECT_EQ(1, success);

  Uninstall();
}

TEST_F(SilentInstallE2eTest, WrongChecksumsFailEveryFetch) {
  server().SetWrongPackageChecksum(true);
  ExpectFetchFailure(RunSilentInstall(), "Checksum incorrect for the downloaded package");
}

TEST_F(SilentInstallE2eTest, UpperCaseChecksumFailsEveryFetch) {
  server().SetDownloadUrlReply(ReplyWithChecksum(
      base::ToUpperAscii(Sha256Hex(ReadFile(ExamplePackage::Current().package_installer())))));
  ExpectFetchFailure(RunSilentInstall(), "Checksum incorrect for the downloaded package");
}

TEST_F(SilentInstallE2eTest, ASignedInstallerRefusesUnsignedAndWronglySignedPackages) {
  base::FilePath signed_installer;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"signed"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &signed_installer));
  ASSERT_TRUE(AddCertificateTable(signed_installer));

  for (const wchar_t* package : {L"installer.exe", L"signed_by_other.exe"}) {
    SCOPED_TRACE(package);
    ASSERT_TRUE(server().SetPackage(BinFile(package)));
    ExpectFetchFailure(RunSilentInstall(signed_installer, MakeProcessOptions(), L""),
                       "Signature incorrect for the downloaded package");
  }
}

TEST_F(SilentInstallE2eTest, PackagesOfAnOlderVersionOrAnotherStreamAreRefused) {
  // The example's stub stands in for a package installer that says what the test wants.
  ASSERT_TRUE(server().SetPackage(ExamplePackage::Current().package_folder().Append(L"tavro.exe")));
  const std::pair<std::wstring, std::wstring> identities[][2] = {
      {{L"TAVRO_STUB_INTERNAL_VERSION", L"1.0"}, {L"TAVRO_STUB_STREAM", L""}},
      {{L"TAVRO_STUB_INTERNAL_VERSION",
        base::Utf8ToUtf16(ExamplePackage::Current().internal_version())},
       {L"TAVRO_STUB_STREAM", ProductInfo::GetStream() == "Nightly" ? L"Stable" : L"Nightly"}},
  };
  for (const auto& identity : identities) {
    SCOPED_TRACE(identity[0].second);
    ProcessOptions options = MakeProcessOptions();
    options.environment.push_back(identity[0]);
    options.environment.push_back(identity[1]);
    ExpectFetchFailure(RunSilentInstall(host(), options, L""),
                       "Downloaded package failed version check");
  }
}

TEST_F(SilentInstallE2eTest, UnusableRepliesFailEveryFetch) {
  const std::string replies[] = {
      "{\"installer\": \"" + base::Utf16ToUtf8(server().GetPackageUrl()) + "\"}",
      "{\"installer\": \"" + base::Utf16ToUtf8(server().GetPackageUrl()) + "\", ",
  };
  for (const std::string& reply : replies) {
    SCOPED_TRACE(reply);
    server().SetDownloadUrlReply(reply);
    ExpectFetchFailure(RunSilentInstall(), "Failed parsing json reply");
  }
  EXPECT_EQ(0, server().GetPackageDownloadCount());
}

TEST_F(SilentInstallE2eTest, RedirectOutsideTheAllowedHostsFailsEveryFetch) {
  server().RedirectDownloadUrlRequests(
      base::StringPrintf("http://127.0.0.2:%d/divedazaveve/", server().http().port()));
  ExpectFetchFailure(RunSilentInstall(),
                     "Failed fetching the download URL\nDomain disallowed 127.0.0.2");
  EXPECT_EQ(0, server().GetPackageDownloadCount());
}

TEST_F(SilentInstallE2eTest, AServerThatNeverAnswersFailsInBoundedTime) {
  // Short network time-outs, as the product configuration of a test build may set them.
  base::FilePath impatient;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"impatient"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &impatient,
                           {{"network.timeout_ms", "1000"},
                            {"network.max_retries", "1"},
                            {"network.retry_delay_ms", "100"}}));
  server().StallPackageDownloads();
  ProcessOptions options = MakeProcessOptions();
  options.timeout = base::TimeDelta::FromSeconds(90);
  ExpectFetchFailure(RunSilentInstall(impatient, options, L""),
                     "Failed downloading the Tavro package\n");
  EXPECT_EQ(6, server().GetPackageDownloadCount());
}

TEST_F(SilentInstallE2eTest, ThreeFailedFetchesEndTheRun) {
  server().FailDownloadUrlRequests(1000, 404);
  ExpectFetchFailure(RunSilentInstall(), "Failed fetching the download URL\n");
  EXPECT_EQ(3u, server().GetDownloadUrlRequests().size());
}

}  // namespace
}  // namespace test
}  // namespace installer
