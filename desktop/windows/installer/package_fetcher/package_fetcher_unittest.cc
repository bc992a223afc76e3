#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/folder_link.h"
#include "base/test/run_until.h"
#include "base/values.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/package_fetcher/server_addresses.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/test/autoupdate_server.h"
#include "desktop/windows/installer/test/content_hash.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_ui_callback_runner.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::AutoupdateServer;
using test::ExamplePackage;
using test::TreeSnapshot;

constexpr base::TimeDelta kFetchDeadline = base::TimeDelta::FromSeconds(60);

base::FilePath BinFile(const wchar_t* name) {
  return base::FilePath(test::GetTestBinFolder()).Append(name);
}

std::string ReadFile(const base::FilePath& path) {
  std::string contents;
  EXPECT_TRUE(base::ReadFileToString(path, &contents)) << path;
  return contents;
}

bool IsFinalStatus(int32_t status) {
  return status >= FETCHER_PACKAGE_READY;
}

// A fetcher against a local autoupdate server that serves this build's example package,
// with the controller's side played by the test.
class PackageFetcherTest : public testing::Test, public PackageFetcher::Delegate {
 protected:
  PackageFetcherTest() : stats_(nullptr), command_line_(base::FilePath(L"installer.exe")) {}

  void SetUp() override {
    ASSERT_TRUE(ExamplePackage::Current().IsBuilt());
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    download_folder_ = temp_.GetPath().Append(L"Tavro Installer");
    ASSERT_TRUE(base::CreateDirectory(download_folder_));
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(server_.SetPackage(ExamplePackage::Current().package_installer()));
    command_line_.AppendSwitchNative("internal-package-server", server_.GetDownloadUrlRequestUrl());
    // The package's stub programs record their runs outside the folders the test compares.
    const std::pair<std::wstring, std::wstring> stub_log =
        test::StubLogEnvironment(temp_.GetPath());
    stub_log_variable_ = stub_log.first;
    ASSERT_TRUE(::SetEnvironmentVariableW(stub_log.first.c_str(), stub_log.second.c_str()));
  }

  void TearDown() override {
    fetcher_.reset();
    ::SetEnvironmentVariableW(stub_log_variable_.c_str(), nullptr);
  }

  // PackageFetcher::Delegate:
  void SetTotalProgress(int32_t total) override {}
  void SetCurrentProgress(int32_t current) override {}
  void NotifyStalled() override {}
  void NotifyStatusChanged(int32_t status) override { statuses_.push_back(status); }

  void MakeFetcher(const PayloadReader* payload_reader, bool suite = false) {
    fetcher_ = std::make_unique<PackageFetcher>(download_folder_, &stats_, &ui_runner_, this,
                                                payload_reader, false, suite, &command_line_);
  }

  // Starts (or retries) a fetch and runs the loop until it ends; its final status.
  int32_t RunFetch(bool retry = false) {
    const size_t before = statuses_.size();
    if (retry)
      EXPECT_TRUE(fetcher_->Retry());
    else
      fetcher_->Start();
    EXPECT_TRUE(base::test::RunUntil(
        [&]() { return statuses_.size() > before && IsFinalStatus(statuses_.back()); },
        kFetchDeadline))
        << "the fetch did not end";
    return statuses_.empty() ? -1 : statuses_.back();
  }

  std::unique_ptr<base::DictionaryValue> ReadStats() {
    return base::DictionaryValue::From(base::JsonReader::Read(stats_.ToJson()));
  }

  // A copy of record |index| of the list "fetches" (empty when there is none).
  std::unique_ptr<base::DictionaryValue> FetchRecord(size_t index) {
    const std::unique_ptr<base::DictionaryValue> stats = ReadStats();
    const base::ListValue* fetches = nullptr;
    const base::DictionaryValue* record = nullptr;
    if (stats && stats->GetList("fetches", &fetches) && fetches->GetDictionary(index, &record))
      return base::DictionaryValue::From(record->CreateDeepCopy());
    return std::make_unique<base::DictionaryValue>();
  }

  std::string FetchRecordString(size_t index, const char* key) {
    std::string value;
    FetchRecord(index)->GetString(key, &value);
    return value;
  }

  base::FilePath extraction_folder() const { return fetcher_->GetExtractionFolder(); }

  // Ends what the fetch made for the process, as the installer's run does (the preference
  // pool); without it a later test of the program would be handed this test's.
  base::ExitCallbackRegistry exit_callbacks_;
  base::MessageLoop loop_;
  base::ScopedTempDir temp_;
  base::FilePath download_folder_;
  AutoupdateServer server_;
  Stats stats_;
  test::TestUICallbackRunner ui_runner_;
  base::CommandLine command_line_;
  std::wstring stub_log_variable_;
  std::vector<int32_t> statuses_;
  std::unique_ptr<PackageFetcher> fetcher_;
};

TEST_F(PackageFetcherTest, DownloadsChecksAndUnpacksThePackageFromTheServer) {
  server_.SetWelcomeUrl("https://www.tavro.example/welcome/?from=server");
  const PayloadReader payload(BinFile(L"payload_fixtures\\signed_tracking_covered.exe"));
  ASSERT_EQ(PayloadType::kTrackingData, payload.type());
  MakeFetcher(&payload);

  EXPECT_EQ(FETCHER_PACKAGE_READY, RunFetch());
  EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 5}), statuses_);

  // The tracking data went to the server as the request's body.
  const std::vector<test::TestHttpServer::Request> requests = server_.GetDownloadUrlRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ(payload.GetPayload(), requests[0].body);
  EXPECT_EQ(1, server_.GetPackageDownloadCount());

  // The package's files, the tracking data beside them, the server's welcome page.
  std::vector<std::wstring> expected =
      TreeSnapshot::Capture(ExamplePackage::Current().package_folder()).GetFilePaths();
  expected.push_back(L"server_tracking_data");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, TreeSnapshot::Capture(extraction_folder()).GetFilePaths());
  EXPECT_EQ(payload.GetPayload(), ReadFile(extraction_folder().Append(L"server_tracking_data")));
  EXPECT_EQ(ReadFile(ExamplePackage::Current().package_folder().Append(L"tavro.exe")),
            ReadFile(extraction_folder().Append(L"tavro.exe")));
  const std::unique_ptr<base::DictionaryValue> prefs =
      base::DictionaryValue::From(base::JsonReader::Read(
          ReadFile(extraction_folder().Append(L"installer_prefs_include.json"))));
  ASSERT_TRUE(prefs);
  std::string welcome_url;
  EXPECT_TRUE(prefs->GetString("welcome-url", &welcome_url));
  EXPECT_EQ("https://www.tavro.example/welcome/?from=server", welcome_url);

  const std::string package_url = base::Utf16ToUtf8(server_.GetPackageUrl());
  EXPECT_EQ("package_ready", FetchRecordString(0, "result"));
  EXPECT_EQ(package_url, FetchRecordString(0, "download_url"));
  EXPECT_EQ(ProductInfo::GetInternalVersion(), FetchRecordString(0, "internal_version"));
  EXPECT_EQ(ProductInfo::GetStream(), FetchRecordString(0, "stream"));
  const std::unique_ptr<base::DictionaryValue> stats = ReadStats();
  std::string download_url;
  EXPECT_TRUE(stats->GetString("download_url", &download_url));
  EXPECT_EQ(package_url, download_url);
  EXPECT_TRUE(stats->HasKey("package_ready_time"));

  // The download and the unpacked package go with the fetcher.
  fetcher_.reset();
  EXPECT_TRUE(TreeSnapshot::Capture(download_folder_).entries().empty());
}

TEST_F(PackageFetcherTest, FullPackageInThePayloadNeedsNoRequest) {
  const PayloadReader payload(ExamplePackage::Current().package_installer());
  ASSERT_EQ(PayloadType::kFullPackage, payload.type());
  MakeFetcher(&payload);

  EXPECT_EQ(FETCHER_PACKAGE_READY, RunFetch());
  EXPECT_EQ((std::vector<int32_t>{0, 3, 5}), statuses_);
  EXPECT_TRUE(server_.http().GetRequests().empty());
  EXPECT_EQ(TreeSnapshot::Capture(ExamplePackage::Current().package_folder()).GetFilePaths(),
            TreeSnapshot::Capture(extraction_folder()).GetFilePaths());
  EXPECT_FALSE(base::PathExists(extraction_folder().AddExtension(L"7z")));
}

// The download folder is one its user may change while an elevated process fetches: when
// it is a link, neither the downloaded package nor the package written out of the payload
// reaches where it leads, and the step fails.
TEST_F(PackageFetcherTest, WritesNothingThroughALinkedDownloadFolder) {
  const base::FilePath elsewhere = temp_.GetPath().Append(L"elsewhere");
  ASSERT_TRUE(base::CreateDirectory(elsewhere));
  ASSERT_TRUE(base::DeletePath(download_folder_, true));
  base::test::ScopedFolderLink link;
  if (!link.Make(download_folder_, elsewhere))
    GTEST_SKIP() << "Folder links cannot be made here";

  const PayloadReader tracking(BinFile(L"payload_fixtures\\signed_tracking_covered.exe"));
  MakeFetcher(&tracking);
  EXPECT_EQ(FETCHER_DOWNLOAD_FAILED, RunFetch());
  EXPECT_TRUE(TreeSnapshot::Capture(elsewhere).entries().empty());

  const PayloadReader full(ExamplePackage::Current().package_installer());
  MakeFetcher(&full);
  EXPECT_EQ(FETCHER_UNPACKING_FAILED, RunFetch());
  EXPECT_TRUE(TreeSnapshot::Capture(elsewhere).entries().empty());
  fetcher_.reset();
}

TEST_F(PackageFetcherTest, RefusedRepliesAndPackagesFailTheDownload) {
  std::string package;
  ASSERT_TRUE(base::ReadFileToString(ExamplePackage::Current().package_installer(), &package));
  const std::string package_url = base::Utf16ToUtf8(server_.GetPackageUrl());
  const std::string checksum = test::Sha256Hex(package);
  struct Case {
    const char* name;
    std::string reply;  // Empty: the server's own reply.
    std::string expected_reason;
  };
  const Case cases[] = {
      {"malformed JSON", "{\"installer\": ", "Failed parsing json reply"},
      {"no checksum", "{\"installer\": \"" + package_url + "\"}", "Failed parsing json reply"},
      {"checksum not a string",
       "{\"installer\": \"" + package_url + "\", \"installer_checksum\": 5}",
       "Failed parsing json reply"},
      {"upper-case checksum",
       "{\"installer\": \"" + package_url + "\", \"installer_checksum\": \"" +
           base::ToUpperAscii(checksum) + "\"}",
       "Checksum incorrect for the downloaded package"},
      {"package without a 7z archive",
       "{\"installer\": \"" + base::Utf16ToUtf8(server_.http().GetUrl("/plain.exe")) +
           "\", \"installer_checksum\": \"" + test::Sha256Hex(ReadFile(BinFile(L"installer.exe"))) +
           "\"}",
       "Could not find 7z payload in full package"},
  };
  test::TestHttpServer::Response plain;
  plain.body = ReadFile(BinFile(L"installer.exe"));
  server_.http().SetResponse("/plain.exe", plain);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    statuses_.clear();
    server_.SetDownloadUrlReply(c.reply);
    MakeFetcher(nullptr);
    EXPECT_EQ(FETCHER_DOWNLOAD_FAILED, RunFetch());
    EXPECT_EQ("download_failed", FetchRecordString(0, "result"));
    EXPECT_EQ(c.expected_reason, FetchRecordString(0, "failure_reason"));
    EXPECT_FALSE(base::PathExists(extraction_folder()));
    fetcher_.reset();
    stats_.Remove("fetches");
  }

  // A wrong checksum, and a download-URL request sent on to a host that is not allowed.
  server_.SetDownloadUrlReply("");
  server_.SetWrongPackageChecksum(true);
  MakeFetcher(nullptr);
  EXPECT_EQ(FETCHER_DOWNLOAD_FAILED, RunFetch());
  EXPECT_EQ("Checksum incorrect for the downloaded package",
            FetchRecordString(0, "failure_reason"));
  fetcher_.reset();
  stats_.Remove("fetches");

  server_.ClearFailures();
  const int package_downloads = server_.GetPackageDownloadCount();
  server_.RedirectDownloadUrlRequests(
      base::StringPrintf("http://127.0.0.2:%d/divedazaveve/", server_.http().port()));
  MakeFetcher(nullptr);
  EXPECT_EQ(FETCHER_DOWNLOAD_FAILED, RunFetch());
  EXPECT_EQ("Failed fetching the download URL\nDomain disallowed 127.0.0.2",
            FetchRecordString(0, "failure_reason"));
  EXPECT_EQ(package_downloads, server_.GetPackageDownloadCount());
  fetcher_.reset();
  EXPECT_TRUE(TreeSnapshot::Capture(download_folder_).entries().empty());
}

TEST_F(PackageFetcherTest, AFetchIsTriedThreeTimesAtMost) {
  server_.FailDownloadUrlRequests(100, 404);
  MakeFetcher(nullptr);
  EXPECT_EQ(FETCHER_DOWNLOAD_FAILED, RunFetch());
  EXPECT_EQ(FETCHER_DOWNLOAD_FAILED, RunFetch(true));
  EXPECT_EQ(FETCHER_DOWNLOAD_FAILED, RunFetch(true));
  EXPECT_FALSE(fetcher_->Retry());

  const std::unique_ptr<base::DictionaryValue> stats = ReadStats();
  int restarts = 0;
  EXPECT_TRUE(stats->GetInteger("fetcher_restarts", &restarts));
  EXPECT_EQ(3, restarts);
  const base::ListValue* fetches = nullptr;
  ASSERT_TRUE(stats->GetList("fetches", &fetches));
  ASSERT_EQ(3u, fetches->GetSize());
  for (size_t i = 0; i < 3; ++i) {
    const base::DictionaryValue* record = nullptr;
    ASSERT_TRUE(fetches->GetDictionary(i, &record));
    int try_number = -1;
    EXPECT_TRUE(record->GetInteger("try_number", &try_number));
    EXPECT_EQ(static_cast<int>(i), try_number);
    std::string reason;
    EXPECT_TRUE(record->GetString("failure_reason", &reason));
    EXPECT_EQ(0u, reason.find("Failed fetching the download URL\n")) << reason;
  }
  EXPECT_EQ(3u, server_.GetDownloadUrlRequests().size());
}

// Partner content: each file has its own tries, only plain files placed in the package
// join its files list, after a line break, a name from the server never leads out of the
// package or over one of its files, and what a reply names beyond 16 files is not fetched.
TEST_F(PackageFetcherTest, AdditionalFilesArePlacedSafelyAndListed) {
  const ExamplePackage example = ExamplePackage::Current();
  const std::string sfx = ReadFile(example.suite_archive());
  AutoupdateServer::AdditionalFile never_there{"partner_content", "never_there.txt", false, "x"};
  never_there.fail_count = 100;
  server_.AddAdditionalFile(never_there);
  AutoupdateServer::AdditionalFile second_try{"partner_content", "partner.txt", false,
                                              "partner text\r\n"};
  second_try.fail_count = 1;
  server_.AddAdditionalFile(second_try);
  server_.AddAdditionalFile({"partner_content", "named_archive.txt", true, sfx});
  const char* const hostile_names[] = {"..\\escaped.txt",
                                       "sub\\inner.txt",
                                       "sub/inner.txt",
                                       "C:drive.txt",
                                       "CON",
                                       "nul.txt",
                                       "stream.txt:x",
                                       "..",
                                       " ",
                                       ". .",
                                       "c.",
                                       "a ",
                                       "installer.exe"};
  for (const char* name : hostile_names)
    server_.AddAdditionalFile({"partner_content", name, false, "hostile"});
  // Not for this fetcher: it has no suite folder.
  server_.AddAdditionalFile({"suite", "", true, sfx});
  server_.AddAdditionalFile({"partner_content", "seventeenth.txt", false, "one too many"});
  MakeFetcher(nullptr);

  EXPECT_EQ(FETCHER_PACKAGE_READY, RunFetch());
  EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4, 5}), statuses_);

  EXPECT_EQ(ReadFile(example.package_folder().Append(L"files_list")) + "\r\npartner.txt\r\n",
            ReadFile(extraction_folder().Append(L"files_list")));
  EXPECT_EQ("partner text\r\n", ReadFile(extraction_folder().Append(L"partner.txt")));
  // The archive ran in the package folder and left its component's installer there.
  EXPECT_TRUE(base::PathExists(extraction_folder().Append(L"partner_content_installer.exe")));
  EXPECT_FALSE(base::PathExists(extraction_folder().Append(L"partner_content_sfx.exe")));
  EXPECT_FALSE(base::PathExists(extraction_folder().Append(L"named_archive.txt")));
  EXPECT_FALSE(base::PathExists(extraction_folder().Append(L"seventeenth.txt")));
  EXPECT_EQ(0, server_.GetAdditionalFileRequestCount(17));
  // Nothing hostile landed anywhere, and the package's own installer is untouched.
  EXPECT_EQ(ReadFile(example.package_folder().Append(L"installer.exe")),
            ReadFile(extraction_folder().Append(L"installer.exe")));
  std::vector<std::wstring> expected =
      TreeSnapshot::Capture(example.package_folder()).GetFilePaths();
  expected.push_back(L"partner.txt");
  expected.push_back(L"partner_content_installer.exe");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, TreeSnapshot::Capture(extraction_folder()).GetFilePaths());
  // Besides the package folder the download folder holds the downloaded package only.
  size_t outside = 0;
  for (const std::wstring& path : TreeSnapshot::Capture(download_folder_).GetFilePaths()) {
    EXPECT_EQ(std::wstring::npos, path.find(L"escaped")) << path;
    if (path.find(extraction_folder().BaseName().value() + L"\\") == std::wstring::npos)
      ++outside;
  }
  EXPECT_EQ(1u, outside);

  // Four tries for the file that never comes, two for the one that comes late.
  const std::unique_ptr<base::DictionaryValue> fetch = FetchRecord(0);
  const base::ListValue* files = nullptr;
  ASSERT_TRUE(fetch->GetList("addtional_files", &files));
  ASSERT_EQ(3u + std::size(hostile_names), files->GetSize());
  const size_t expected_tries[] = {4, 2, 1};
  const int expected_success[] = {0, 1, 1};
  for (size_t i = 0; i < 3; ++i) {
    const base::DictionaryValue* file = nullptr;
    ASSERT_TRUE(files->GetDictionary(i, &file));
    const base::ListValue* tries = nullptr;
    ASSERT_TRUE(file->GetList("download_tries", &tries)) << i;
    EXPECT_EQ(expected_tries[i], tries->GetSize()) << i;
    int succeeded = -1;
    EXPECT_TRUE(file->GetInteger("download_succeeded", &succeeded));
    EXPECT_EQ(expected_success[i], succeeded) << i;
  }
}

// With the suite flag the server's "suite" component is run in the suite folder, which is
// its working folder; an entry whose "archive" is a JSON boolean is refused without a
// download; a suite that fails its version check leaves no folder to hand to the backend.
TEST_F(PackageFetcherTest, SuiteComponentIsPlacedInTheSuiteFolder) {
  const std::string sfx = ReadFile(ExamplePackage::Current().suite_archive());
  test::TestHttpServer::Response sfx_response;
  sfx_response.body = sfx;
  server_.http().SetResponse("/suite_sfx.exe", sfx_response);
  const std::string sfx_url = base::Utf16ToUtf8(server_.http().GetUrl("/suite_sfx.exe"));
  const std::string checksum = test::Sha256Hex(sfx);
  server_.SetDownloadUrlReply(
      "{\"installer\": \"" + base::Utf16ToUtf8(server_.GetPackageUrl()) +
      "\", \"installer_checksum\": \"" +
      test::Sha256Hex(ReadFile(ExamplePackage::Current().package_installer())) +
      "\", \"components\": [{\"type\": \"partner_content\", \"location\": \"" + sfx_url +
      "\", \"archive\": true, \"checksum\": \"" + checksum +
      "\", \"filename\": \"flag.txt\"}, {\"type\": \"suite\", \"location\": \"" + sfx_url +
      "\", \"archive\": 1, \"checksum\": \"" + checksum + "\"}]}");
  MakeFetcher(nullptr, true);
  const base::FilePath suite_folder = fetcher_->GetSuiteFolder();
  ASSERT_FALSE(suite_folder.empty());

  EXPECT_EQ(FETCHER_PACKAGE_READY, RunFetch());
  EXPECT_EQ(1u, server_.http().GetRequestCount("/suite_sfx.exe"));
  EXPECT_EQ((std::vector<std::wstring>{L"suite_installer.exe"}),
            TreeSnapshot::Capture(suite_folder).GetFilePaths());
  EXPECT_FALSE(base::PathExists(extraction_folder().Append(L"flag.txt")));
  const std::vector<test::StubInvocation> sfx_runs =
      test::ReadStubInvocations(temp_.GetPath(), L"suite_sfx.exe");
  ASSERT_EQ(1u, sfx_runs.size());
  EXPECT_TRUE(base::FilePath::CompareEqualIgnoreCase(suite_folder.value(),
                                                     sfx_runs[0].working_folder.value()))
      << sfx_runs[0].working_folder;

  // The suite folder goes with the fetcher, as the package does.
  fetcher_.reset();
  EXPECT_FALSE(base::PathExists(suite_folder));

  // A component installer older than this installer: the fetch goes on without the suite.
  ASSERT_TRUE(::SetEnvironmentVariableW(test::kStubInternalVersionVariable, L"1.0"));
  MakeFetcher(nullptr, true);
  EXPECT_EQ(FETCHER_PACKAGE_READY, RunFetch());
  ::SetEnvironmentVariableW(test::kStubInternalVersionVariable, nullptr);
  EXPECT_EQ(2u, test::ReadStubInvocations(temp_.GetPath(), L"suite_installer.exe").size());
  EXPECT_FALSE(base::PathExists(fetcher_->GetSuiteFolder()));
  EXPECT_EQ(2u, server_.http().GetRequestCount("/suite_sfx.exe"));
}

TEST(ServerAddressesTest, DownloadUrlRequestAddress) {
  base::CommandLine command_line(base::FilePath(L"installer.exe"));
  const std::wstring stream = base::Utf8ToUtf16(ProductInfo::GetStream());
  EXPECT_EQ(L"https://autoupdate.tavro.example/divedazaveve/" + stream,
            GetDownloadUrlRequestAddress(command_line, false));
  EXPECT_EQ(L"https://autoupdate.tavro.example/divedazaveve/" + stream + L"/windows/x64/",
            GetDownloadUrlRequestAddress(command_line, true));
  command_line.AppendSwitch("internal-package-server");
  EXPECT_EQ(0u, GetDownloadUrlRequestAddress(command_line, false).find(L"https://"));
  EXPECT_NE(std::wstring::npos,
            GetDownloadUrlRequestAddress(command_line, false).find(L"/divedazaveve/" + stream));
  command_line.AppendSwitchNative("internal-package-server", L"http://127.0.0.1:1/any");
  EXPECT_EQ(L"http://127.0.0.1:1/any", GetDownloadUrlRequestAddress(command_line, true));

  const std::vector<std::wstring> first = BuildAllowedHosts(ConfigDomainPlace::kFirst);
  EXPECT_EQ(5u, first.size()) << "the configuration's domain is the maker's";
  EXPECT_EQ(first, BuildAllowedHosts(ConfigDomainPlace::kLast));
  EXPECT_NE(first.end(), std::find(first.begin(), first.end(), L"127.0.0.1"));
  EXPECT_NE(first.end(), std::find(first.begin(), first.end(), L".tavro.example"));
}

}  // namespace
}  // namespace installer
