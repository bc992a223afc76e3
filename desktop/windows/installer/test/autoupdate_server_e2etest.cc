#include "desktop/windows/installer/test/autoupdate_server.h"

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/stats_sender.h"
#include "desktop/windows/installer/test/content_hash.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_ui_callback_runner.h"
#include "desktop/windows/installer/wininet/download_event_sink.h"
#include "desktop/windows/installer/wininet/file_response_writer.h"
#include "desktop/windows/installer/wininet/memory_response_writer.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

constexpr base::TimeDelta kDeadline = base::TimeDelta::FromSeconds(60);

class AutoupdateServerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    downloader_.SetRetryDelays(base::TimeDelta::FromMilliseconds(10),
                               base::TimeDelta::FromMilliseconds(40));
  }

  // Downloads |url| (POST when |body| is not empty) with the installer's own downloader
  // and runs the loop until it ended; true when it finished successfully.
  bool Download(const std::wstring& url,
                const std::string& body,
                std::unique_ptr<ResponseWriter> writer) {
    base::RunLoop run_loop;
    bool ended = false;
    if (!downloader_.Start(url, body, base::BindLambda([&ended, &run_loop]() {
                             ended = true;
                             run_loop.Quit();
                           }),
                           std::move(writer), std::make_unique<DownloadEventSink>())) {
      return false;
    }
    loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(), kDeadline);
    run_loop.Run();
    if (!ended) {
      ADD_FAILURE() << "the download did not end in time";
      downloader_.Stop();
      return false;
    }
    return downloader_.state() == WininetDownloader::STATE_FINISHED;
  }

  base::MessageLoop loop_;
  AutoupdateServer server_;
  base::ScopedTempDir temp_;
  TestUICallbackRunner ui_runner_;
  WininetDownloader downloader_{&ui_runner_, nullptr};
};

TEST_F(AutoupdateServerTest, AnswersTheInstallersRequestsThroughWinInet) {
  const ExamplePackage package = ExamplePackage::Current();
  ASSERT_TRUE(server_.SetPackage(package.package_installer()));
  AutoupdateServer::AdditionalFile partner;
  partner.type = "partner_content";
  partner.filename = "custom_partner_content.json";
  partner.content = "{\"partner\": \"example\"}";
  server_.AddAdditionalFile(partner);
  server_.SetWelcomeUrl("https://www.tavro.example/welcome/?from=test");

  // The download-URL request, a POST of the tracking data.
  std::string reply_text;
  ASSERT_TRUE(Download(server_.GetDownloadUrlRequestUrl(), "tracking-data",
                       std::make_unique<MemoryResponseWriter>(&reply_text)));
  const std::unique_ptr<base::DictionaryValue> reply =
      base::DictionaryValue::From(base::JsonReader::Read(reply_text));
  ASSERT_TRUE(reply) << reply_text;
  std::string installer_url;
  std::string checksum;
  ASSERT_TRUE(reply->GetString("installer", &installer_url));
  ASSERT_TRUE(reply->GetString("installer_checksum", &checksum));
  std::string package_checksum;
  ASSERT_TRUE(Sha256HexOfFile(package.package_installer(), &package_checksum));
  EXPECT_EQ(package_checksum, checksum);
  std::string welcome;
  EXPECT_TRUE(reply->GetString("url_welcome", &welcome));
  const base::ListValue* components = nullptr;
  ASSERT_TRUE(reply->GetList("components", &components));
  ASSERT_EQ(1u, components->GetSize());
  const std::vector<TestHttpServer::Request> requests = server_.GetDownloadUrlRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ("tracking-data", requests[0].body);

  // The package, broken off once and resumed with a Range request.
  server_.CutPackageDownloads(100 * 1000);
  const base::FilePath downloaded = temp_.GetPath().Append(L"package.exe");
  auto writer = std::make_unique<FileResponseWriter>();
  ASSERT_TRUE(writer->Open(downloaded));
  ASSERT_TRUE(Download(base::Utf8ToUtf16(installer_url), "", std::move(writer)));
  std::string downloaded_checksum;
  ASSERT_TRUE(Sha256HexOfFile(downloaded, &downloaded_checksum));
  EXPECT_EQ(checksum, downloaded_checksum);
  EXPECT_EQ(2, server_.GetPackageDownloadCount());

  // The preference overrides.
  std::string overrides;
  ASSERT_TRUE(Download(server_.GetPrefOverridesUrl(), "",
                       std::make_unique<MemoryResponseWriter>(&overrides)));
  EXPECT_TRUE(base::JsonReader::Read(overrides)) << overrides;
  ASSERT_EQ(1u, server_.GetPrefOverridesRequests().size());
  EXPECT_NE(std::string::npos,
            server_.GetPrefOverridesRequests()[0].path.find("?product=Tavro&version="));

  // The statistics, through the installer's own sender.
  SetStatsServerForTesting(server_.GetBaseUrl());
  Stats stats(&ui_runner_);
  stats.SetInteger("installation_success", 1);
  base::RunLoop run_loop;
  SendStats(&stats, run_loop.QuitClosure(), false);
  loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(), kDeadline);
  run_loop.Run();
  SetStatsServerForTesting("");
  ASSERT_EQ(1u, server_.GetStatsReports().size());
  EXPECT_EQ(stats.ToJson(), server_.GetStatsReports()[0]);
}

TEST_F(AutoupdateServerTest, ScriptedFailuresReachTheClient) {
  ASSERT_TRUE(server_.SetPackage(ExamplePackage::Current().package_installer()));
  downloader_.SetMaxRetries(0);
  std::string text;
  server_.FailDownloadUrlRequests(1, 500);
  EXPECT_FALSE(Download(server_.GetDownloadUrlRequestUrl(true), "",
                        std::make_unique<MemoryResponseWriter>(&text)));
  EXPECT_TRUE(Download(server_.GetDownloadUrlRequestUrl(true), "",
                       std::make_unique<MemoryResponseWriter>(&text)));

  // A wrong checksum is one the package does not have.
  server_.SetWrongPackageChecksum(true);
  text.clear();
  ASSERT_TRUE(Download(server_.GetDownloadUrlRequestUrl(true), "",
                       std::make_unique<MemoryResponseWriter>(&text)));
  std::string checksum;
  ASSERT_TRUE(base::DictionaryValue::From(base::JsonReader::Read(text))
                  ->GetString("installer_checksum", &checksum));
  std::string real;
  ASSERT_TRUE(Sha256HexOfFile(ExamplePackage::Current().package_installer(), &real));
  EXPECT_NE(real, checksum);

  // A package request that is never answered holds up no other request.
  const int package_requests = server_.GetPackageDownloadCount();
  server_.StallPackageDownloads();
  WininetDownloader stalled(&ui_runner_, nullptr);
  ASSERT_TRUE(stalled.Start(server_.GetPackageUrl(), "", base::BindLambda([]() {}),
                            std::make_unique<MemoryResponseWriter>(&text), nullptr));
  // The downloader sends from this thread's loop.
  const base::TimeTicks deadline = base::TimeTicks::Now() + kDeadline;
  while (server_.GetPackageDownloadCount() == package_requests &&
         base::TimeTicks::Now() < deadline) {
    base::RunLoop run_loop;
    loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                         base::TimeDelta::FromMilliseconds(10));
    run_loop.Run();
  }
  ASSERT_EQ(package_requests + 1, server_.GetPackageDownloadCount());
  std::string reply;
  EXPECT_TRUE(Download(server_.GetDownloadUrlRequestUrl(true), "",
                       std::make_unique<MemoryResponseWriter>(&reply)));
  stalled.Stop();

  // A redirect to a host the downloader does not allow ends the download.
  server_.ClearFailures();
  server_.RedirectPackageDownloads("http://elsewhere.invalid/package.exe");
  downloader_.SetAllowedHosts({L"127.0.0.1"});
  text.clear();
  EXPECT_FALSE(
      Download(server_.GetPackageUrl(), "", std::make_unique<MemoryResponseWriter>(&text)));
  EXPECT_NE(std::string::npos, downloader_.GetStatusText().find("elsewhere.invalid"))
      << downloader_.GetStatusText();
}

TEST_F(AutoupdateServerTest, StandaloneServerServesUntilItsStopFileAppears) {
  const base::FilePath port_file = temp_.GetPath().Append(L"port");
  const base::FilePath stats_file = temp_.GetPath().Append(L"stats.jsonl");
  const base::FilePath stop_file = temp_.GetPath().Append(L"stop");
  base::CommandLine command_line(
      base::FilePath(GetTestBinFolder()).Append(L"autoupdate_server.exe"));
  command_line.AppendSwitchPath("package", ExamplePackage::Current().package_installer());
  command_line.AppendSwitchPath("suite-archive", ExamplePackage::Current().suite_archive());
  command_line.AppendSwitchPath("port-file", port_file);
  command_line.AppendSwitchPath("stats-file", stats_file);
  command_line.AppendSwitchPath("stop-file", stop_file);
  TestProcess server;
  ASSERT_TRUE(server.Start(command_line, ProcessOptions()));

  // It tells its port, then answers as the in-process server does.
  std::string port;
  const base::TimeTicks deadline = base::TimeTicks::Now() + kDeadline;
  while (!base::ReadFileToString(port_file, &port) && base::TimeTicks::Now() < deadline)
    ::Sleep(20);
  ASSERT_FALSE(port.empty()) << server.GetOutput();
  const std::string base_url = "http://127.0.0.1:" + port.substr(0, port.find('\n')) + "/";
  std::string reply;
  ASSERT_TRUE(Download(base::Utf8ToUtf16(base_url) + L"divedazaveve/" +
                           base::Utf8ToUtf16(ProductInfo::GetStream()),
                       "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_NE(std::string::npos, reply.find("\"type\":\"suite\"")) << reply;

  // The statistics it receives land in its file, one report per line.
  SetStatsServerForTesting(base_url);
  Stats stats(&ui_runner_);
  stats.SetString("result", "package_ready");
  base::RunLoop run_loop;
  SendStats(&stats, run_loop.QuitClosure(), false);
  loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(), kDeadline);
  run_loop.Run();
  SetStatsServerForTesting("");
  std::string reports;
  while (!base::ReadFileToString(stats_file, &reports) && base::TimeTicks::Now() < deadline)
    ::Sleep(20);
  EXPECT_EQ(stats.ToJson() + "\n", reports);

  ASSERT_EQ(0, base::WriteFileFromBuffer(stop_file, "", 0));
  EXPECT_TRUE(server.Wait().Succeeded());
}

}  // namespace
}  // namespace test
}  // namespace installer
