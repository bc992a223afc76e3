#include "desktop/windows/installer/wininet/wininet_downloader.h"

#include <windows.h>

#include <wininet.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "desktop/windows/installer/test/test_ui_callback_runner.h"
#include "desktop/windows/installer/wininet/download_event_recorder.h"
#include "desktop/windows/installer/wininet/file_response_writer.h"
#include "desktop/windows/installer/wininet/memory_response_writer.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/installer/wininet/wininet_termination.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::TestHttpServer;

// Bytes 0-255 repeated: zeros and high bytes included, so that any shift shows.
std::string MakeBody(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i)
    body[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return body;
}

class WininetDownloaderTest : public testing::Test, public WininetDownloader::Delegate {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    downloader_ = std::make_unique<WininetDownloader>(&ui_runner_, this);
    downloader_->SetRetryDelays(base::TimeDelta::FromMilliseconds(10),
                                base::TimeDelta::FromMilliseconds(40));
  }

  // WininetDownloader::Delegate:
  void SetTotalProgress(int32_t total) override { totals_.push_back(total); }
  void SetCurrentProgress(int32_t current) override {
    current_progress_ = current;
    ++progress_calls_;
    if (on_progress_)
      on_progress_();
  }
  void NotifyStalled() override { ++stalled_; }

  // Starts a download and runs the loop until its callback ran (at most 20 s). False when
  // Start refused.
  bool Download(const std::wstring& url,
                const std::string& body,
                std::unique_ptr<ResponseWriter> writer,
                std::unique_ptr<DownloadEventSink> sink = nullptr) {
    base::RunLoop run_loop;
    WininetDownloader* downloader = downloader_.get();
    const bool started = downloader->Start(
        url, body, base::BindLambda([this, downloader, &run_loop]() {
          ++callbacks_;
          state_in_callback_ = downloader->state();
          retries_in_callback_ = downloader->retry_count();
          run_loop.Quit();
        }),
        std::move(writer), std::move(sink));
    if (!started)
      return false;
    loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                         base::TimeDelta::FromSeconds(20));
    run_loop.Run();
    EXPECT_EQ(1, callbacks_) << "the download did not end";
    return true;
  }

  // Runs the loop for |ms|.
  void RunFor(int ms) {
    base::RunLoop run_loop;
    loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                         base::TimeDelta::FromMilliseconds(ms));
    run_loop.Run();
  }

  std::unique_ptr<ResponseWriter> FileWriter(const base::FilePath& path) {
    auto writer = std::make_unique<FileResponseWriter>();
    EXPECT_TRUE(writer->Open(path));
    return writer;
  }

  std::string ReadFile(const base::FilePath& path) {
    std::string contents;
    EXPECT_TRUE(base::ReadFileToString(path, &contents));
    return contents;
  }

  base::MessageLoop loop_;
  TestHttpServer server_;
  base::ScopedTempDir temp_dir_;
  test::TestUICallbackRunner ui_runner_;
  std::unique_ptr<WininetDownloader> downloader_;

  int callbacks_ = 0;
  WininetDownloader::State state_in_callback_ = WininetDownloader::STATE_IDLE;
  int retries_in_callback_ = -1;
  std::vector<int32_t> totals_;
  int32_t current_progress_ = 0;
  int progress_calls_ = 0;
  int stalled_ = 0;
  std::function<void()> on_progress_;
};

TEST_F(WininetDownloaderTest, DownloadsToFileAndToMemory) {
  const std::string body = MakeBody(300 * 1024 + 17);
  TestHttpServer::Response response;
  response.body = body;
  server_.SetResponse("/package.exe", response);

  const base::FilePath path = temp_dir_.GetPath().Append(L"package.exe");
  ASSERT_TRUE(Download(server_.GetUrl("/package.exe"), "", FileWriter(path)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, downloader_->state());
  EXPECT_EQ(200, downloader_->http_status_code());
  EXPECT_EQ("", downloader_->GetStatusText());
  EXPECT_EQ(body, ReadFile(path));
  ASSERT_EQ(1u, totals_.size());
  EXPECT_EQ(static_cast<int32_t>(body.size()), totals_[0]);
  EXPECT_EQ(static_cast<int32_t>(body.size()), current_progress_);
  EXPECT_GT(progress_calls_, 1);

  // The memory writer appends to what the text held.
  response.body = "{\"installer\":\"x\"}";
  server_.SetResponse("/reply?stream=stable", response);
  std::string reply = "kept:";
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/reply?stream=stable"), "",
                       std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ("kept:{\"installer\":\"x\"}", reply);

  const std::vector<TestHttpServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("GET", requests[1].method);
  EXPECT_EQ("/reply?stream=stable", requests[1].path);
  EXPECT_EQ("", requests[1].body);
  EXPECT_EQ(0u, requests[1].headers.count("range"));
}

TEST_F(WininetDownloaderTest, PostsTheBodyAsGiven) {
  TestHttpServer::Response response;
  response.body = "ok";
  server_.SetResponse("/api", response);
  const std::string body("tracking\0data\xff\r\n", 16);
  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/api"), body, std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ("ok", reply);

  downloader_->SetRequestContentType(L"application/json");
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/api"), "{}", std::make_unique<MemoryResponseWriter>(&reply)));

  const std::vector<TestHttpServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ(body, requests[0].body);
  EXPECT_EQ("application/octet-stream", requests[0].headers.at("content-type"));
  EXPECT_EQ("{}", requests[1].body);
  EXPECT_EQ("application/json", requests[1].headers.at("content-type"));
}

// Redirects are followed only to allowed hosts: the host outside the list (127.0.0.2, a
// loopback host of its own) hears nothing, not even the body that a 307 sends again.
TEST_F(WininetDownloaderTest, ChecksHostsOfTheAddressAndOfRedirects) {
  TestHttpServer outside_server;
  ASSERT_TRUE(outside_server.Start("127.0.0.2"));
  TestHttpServer::Response response;
  response.body = "final";
  server_.SetResponse("/final", response);
  outside_server.SetResponse("/final", response);
  TestHttpServer::Response inside;
  inside.redirect_to = "/final";  // Relative to the request's address.
  inside.redirect_status = 307;
  server_.SetResponse("/inside", inside);
  TestHttpServer::Response see_other = inside;
  see_other.redirect_status = 303;
  server_.SetResponse("/see-other", see_other);
  TestHttpServer::Response outside;
  outside.redirect_to = base::Utf16ToUtf8(outside_server.GetUrl("/final"));
  outside.redirect_status = 307;
  server_.SetResponse("/outside", outside);

  Stats stats(&ui_runner_);
  downloader_->SetAllowedHosts({L".tavro.example", L"127.0.0.1"});
  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/inside"), "tracking",
                       std::make_unique<MemoryResponseWriter>(&reply),
                       std::make_unique<DownloadEventRecorder>(&stats, "inside_")));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ("final", reply);
  EXPECT_NE(std::string::npos, stats.ToJson().find("\"inside_redirect\":[{"));
  // A 307 repeats the POST with its body; a 303 goes on with a GET.
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/see-other"), "tracking",
                       std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  std::vector<TestHttpServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(4u, requests.size());
  EXPECT_EQ("POST", requests[1].method);
  EXPECT_EQ("/final", requests[1].path);
  EXPECT_EQ("tracking", requests[1].body);
  EXPECT_EQ("GET", requests[3].method);
  EXPECT_EQ("", requests[3].body);

  callbacks_ = 0;
  reply.clear();
  ASSERT_TRUE(Download(server_.GetUrl("/outside"), "tracking",
                       std::make_unique<MemoryResponseWriter>(&reply),
                       std::make_unique<DownloadErrorRecorder>(&stats, "outside_")));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ("Domain disallowed 127.0.0.2", downloader_->GetStatusText());
  EXPECT_EQ("", reply);
  EXPECT_EQ(0, retries_in_callback_);
  EXPECT_NE(std::string::npos,
            stats.ToJson().find("\"text\":\"Domain disallowed 127.0.0.2\""));
  EXPECT_TRUE(outside_server.GetRequests().empty());

  // A refused address: false, and the callback never runs.
  downloader_->SetAllowedHosts({L"tavro.example"});
  bool called = false;
  EXPECT_FALSE(downloader_->Start(server_.GetUrl("/final"), "",
                                  base::BindLambda([&called]() { called = true; }),
                                  std::make_unique<MemoryResponseWriter>(&reply), nullptr));
  EXPECT_EQ("Domain disallowed 127.0.0.1", downloader_->GetStatusText());
  RunFor(100);
  EXPECT_FALSE(called);
  EXPECT_EQ(2, server_.GetRequestCount("/final"));

  // Without a list every host is allowed.
  downloader_->SetAllowedHosts({});
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/outside"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ(1u, outside_server.GetRequests().size());
}

TEST_F(WininetDownloaderTest, MatchesHostSuffixesAtLabelBoundaries) {
  downloader_->SetAllowedHosts({L".tavro.example", L"localhost", L"127.0.0.1"});
  EXPECT_TRUE(downloader_->IsHostAllowed(L"autoupdate.tavro.example"));
  EXPECT_TRUE(downloader_->IsHostAllowed(L"AUTOUPDATE.Tavro.Example"));
  EXPECT_TRUE(downloader_->IsHostAllowed(L"tavro.example"));
  EXPECT_TRUE(downloader_->IsHostAllowed(L"a.b.tavro.example."));
  EXPECT_TRUE(downloader_->IsHostAllowed(L"localhost"));
  EXPECT_TRUE(downloader_->IsHostAllowed(L"127.0.0.1"));
  EXPECT_FALSE(downloader_->IsHostAllowed(L"eviltavro.example"));
  EXPECT_FALSE(downloader_->IsHostAllowed(L"tavro.example.evil.test"));
  EXPECT_FALSE(downloader_->IsHostAllowed(L"notlocalhost"));
  EXPECT_FALSE(downloader_->IsHostAllowed(L"1127.0.0.1"));
  EXPECT_FALSE(downloader_->IsHostAllowed(L""));

  std::string reply;
  EXPECT_FALSE(downloader_->Start(L"ftp://ftp.tavro.example/file", "", base::Closure(),
                                  std::make_unique<MemoryResponseWriter>(&reply), nullptr));
  EXPECT_FALSE(downloader_->Start(L"no address", "", base::Closure(),
                                  std::make_unique<MemoryResponseWriter>(&reply), nullptr));
  EXPECT_EQ(WininetDownloader::STATE_IDLE, downloader_->state());
}

TEST_F(WininetDownloaderTest, ResumesAnInterruptedBody) {
  const std::string body = MakeBody(200 * 1024);
  TestHttpServer::Response response;
  response.body = body;
  response.honour_range = true;
  response.drop_after_bytes = 70000;
  server_.SetResponse("/resumable", response);

  Stats stats(&ui_runner_);
  const base::FilePath path = temp_dir_.GetPath().Append(L"resumed.exe");
  ASSERT_TRUE(Download(server_.GetUrl("/resumable"), "", FileWriter(path),
                       std::make_unique<DownloadEventRecorder>(&stats, "download_chunks")));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ(body, ReadFile(path));
  EXPECT_EQ(1, retries_in_callback_);
  EXPECT_EQ(0, downloader_->retry_count());
  EXPECT_EQ(206, downloader_->http_status_code());
  const std::vector<TestHttpServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(0u, requests[0].headers.count("range"));
  EXPECT_EQ("bytes=70000-", requests[1].headers.at("range"));
  const std::string json = stats.ToJson();
  EXPECT_NE(std::string::npos, json.find("\"download_chunksrequest\":[{\"at\""));
  EXPECT_NE(std::string::npos, json.find("\"offset\":70000"));
  EXPECT_NE(std::string::npos, json.find("\"download_chunksfinished\":[{"));
  EXPECT_NE(std::string::npos, json.find("\"size\":204800"));

  // A server that ignores the range sends everything again: the writer starts over.
  response.honour_range = false;
  server_.SetResponse("/whole", response);
  callbacks_ = 0;
  const base::FilePath whole_path = temp_dir_.GetPath().Append(L"whole.exe");
  ASSERT_TRUE(Download(server_.GetUrl("/whole"), "", FileWriter(whole_path)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ(200, downloader_->http_status_code());
  EXPECT_EQ(body, ReadFile(whole_path));
}

TEST_F(WininetDownloaderTest, RetriesAFailingServer) {
  TestHttpServer::Response response;
  response.body = "late";
  response.fail_count = 3;
  server_.SetResponse("/flaky", response);

  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/flaky"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ("late", reply);
  EXPECT_EQ(3, retries_in_callback_);
  EXPECT_EQ(0, downloader_->retry_count());
  EXPECT_EQ(2, stalled_);  // Retries 2 and 3.
  EXPECT_EQ(4, server_.GetRequestCount("/flaky"));

  // Retries exhausted: the last error stays.
  server_.SetResponse("/broken", response);
  downloader_->SetMaxRetries(1);
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/broken"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(1, retries_in_callback_);
  EXPECT_EQ(503, downloader_->http_status_code());
  EXPECT_NE(std::string::npos, downloader_->GetStatusText().find("503"));
  EXPECT_EQ(2, server_.GetRequestCount("/broken"));
}

TEST_F(WininetDownloaderTest, FailsAtOnceWithoutRetries) {
  TestHttpServer::Response response;
  response.fail_count = 1;
  server_.SetResponse("/once", response);
  downloader_->SetMaxRetries(0);
  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/once"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(0, retries_in_callback_);
  EXPECT_EQ(0, stalled_);
  EXPECT_EQ(1, server_.GetRequestCount("/once"));

  // A 404 is final whatever the retry count.
  downloader_->SetMaxRetries(WininetDownloader::kDefaultMaxRetries);
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/missing"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(404, downloader_->http_status_code());
  EXPECT_NE(std::string::npos, downloader_->GetStatusText().find("404"));
  EXPECT_EQ("", reply);
  EXPECT_EQ(1, server_.GetRequestCount("/missing"));
  EXPECT_FALSE(downloader_->ran_out_of_retries());
}

// A body beyond the bound fails the download at once, whether the server announces it or
// sends it without end; a reply in memory has its own bound.
TEST_F(WininetDownloaderTest, BodiesLargerThanAllowedEndTheDownload) {
  TestHttpServer::Response announced;
  announced.body = MakeBody(2000);
  server_.SetResponse("/announced", announced);
  TestHttpServer::Response endless;
  endless.endless = true;
  server_.SetResponse("/endless", endless);
  // In bursts: closing a request drains what is at hand under Wine, not what is to come.
  TestHttpServer::Response huge;
  huge.body = "{}";
  huge.padding_bytes = 8 << 20;
  huge.trickle_bytes = 512 * 1024;
  huge.trickle_ms = 5;
  server_.SetResponse("/huge", huge);

  downloader_->SetMaxBodySize(1000);
  const base::FilePath path = temp_dir_.GetPath().Append(L"bounded.exe");
  ASSERT_TRUE(Download(server_.GetUrl("/announced"), "", FileWriter(path)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(0, retries_in_callback_);
  EXPECT_EQ("The server announced 2000 bytes, more than the 1000 allowed",
            downloader_->GetStatusText());
  EXPECT_EQ("", ReadFile(path));

  downloader_->SetMaxBodySize(100 * 1024);
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/endless"), "", FileWriter(path)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(0, retries_in_callback_);
  EXPECT_EQ("The body is larger than the 102400 bytes allowed", downloader_->GetStatusText());
  EXPECT_LE(ReadFile(path).size(), 100u * 1024);

  downloader_->SetMaxBodySize(WininetDownloader::kDefaultMaxBodySize);
  callbacks_ = 0;
  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/huge"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ("Writing the downloaded data failed", downloader_->GetStatusText());
  EXPECT_LE(reply.size(), kMaxReplySize);
  EXPECT_EQ(1, server_.GetRequestCount("/huge"));
}

// A refused body sent without pause ends its connection at once: closing the request does
// not read the rest while the server keeps sending. A guard stops the server after 60 s, so
// that a regression fails instead of reading 1 TiB.
TEST_F(WininetDownloaderTest, ARefusedBodyIsNotReadToItsEnd) {
  TestHttpServer::Response huge;
  huge.body = "{}";
  huge.padding_bytes = int64_t{1} << 40;
  server_.SetResponse("/unpaused", huge);
  TestHttpServer::Response endless;
  endless.endless = true;
  server_.SetResponse("/endless", endless);
  downloader_->SetMaxBodySize(1000);

  base::win::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(done.IsValid());
  std::atomic<bool> guard_fired{false};
  std::thread guard([&] {
    if (::WaitForSingleObject(done.Get(), 60000) != WAIT_OBJECT_0) {
      guard_fired = true;
      server_.Stop();
    }
  });
  std::string reply;
  EXPECT_TRUE(
      Download(server_.GetUrl("/unpaused"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ("The server announced 1099511627778 bytes, more than the 1000 allowed",
            downloader_->GetStatusText());
  callbacks_ = 0;
  EXPECT_TRUE(
      Download(server_.GetUrl("/endless"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ("The body is larger than the 1000 bytes allowed", downloader_->GetStatusText());
  ::SetEvent(done.Get());
  guard.join();
  EXPECT_FALSE(guard_fired);
}

// A request that receives too little in a window fails (redirects are no progress); the
// download gives up once it has made no progress for the stall limit, while a slow body
// that keeps coming completes.
TEST_F(WininetDownloaderTest, TooLittleProgressFailsTriesUntilTheStallLimit) {
  downloader_->SetProgressLimits(base::TimeDelta::FromMilliseconds(200), 1024,
                                 base::TimeDelta::FromMilliseconds(500));
  TestHttpServer::Response trickle;
  trickle.body = MakeBody(10 * 1024);
  trickle.trickle_ms = 50;
  server_.SetResponse("/trickle", trickle);
  TestHttpServer::Response silent;
  silent.body = "never";
  silent.delay_ms = 60 * 1000;
  server_.SetResponse("/silent", silent);
  // Slow redirects to itself: none of them is progress.
  TestHttpServer::Response redirecting;
  redirecting.redirect_to = "/redirecting";
  redirecting.delay_ms = 80;
  server_.SetResponse("/redirecting", redirecting);
  TestHttpServer::Response slow;
  slow.body = MakeBody(12 * 1024);
  slow.trickle_ms = 50;
  slow.trickle_bytes = 2048;
  server_.SetResponse("/slow", slow);

  for (const char* path : {"/trickle", "/silent", "/redirecting"}) {
    SCOPED_TRACE(path);
    callbacks_ = 0;
    std::string reply;
    ASSERT_TRUE(Download(server_.GetUrl(path), "", std::make_unique<MemoryResponseWriter>(&reply)));
    EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
    EXPECT_EQ(0u, downloader_->GetStatusText().find("Too little progress: ")) << downloader_->GetStatusText();
    EXPECT_GE(retries_in_callback_, 1);
    EXPECT_LT(retries_in_callback_, 10);
    EXPECT_TRUE(downloader_->ran_out_of_retries());
  }

  callbacks_ = 0;
  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/slow"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ(slow.body, reply);
  EXPECT_EQ(0, retries_in_callback_);
  EXPECT_FALSE(downloader_->ran_out_of_retries());
}

// A body that comes fast, then slows to a trickle well above the minimum, is a live body:
// the bytes count as they arrive, and no read holds them until it is full.
TEST_F(WininetDownloaderTest, AFastBodyThatSlowsDownCompletesInOneTry) {
  downloader_->SetProgressLimits(base::TimeDelta::FromMilliseconds(1000), 1024,
                                 base::TimeDelta::FromSeconds(10));
  TestHttpServer::Response response;
  response.body = MakeBody(4 * 1024 * 1024 + 300 * 1024);
  response.pause_after_bytes = 4 * 1024 * 1024;
  response.trickle_ms = 50;
  response.trickle_bytes = 4096;
  server_.SetResponse("/slowing", response);

  const base::FilePath path = temp_dir_.GetPath().Append(L"slowing.exe");
  ASSERT_TRUE(Download(server_.GetUrl("/slowing"), "", FileWriter(path)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_) << downloader_->GetStatusText();
  EXPECT_EQ(0, retries_in_callback_);
  EXPECT_EQ(1, server_.GetRequestCount("/slowing"));
  EXPECT_TRUE(ReadFile(path) == response.body);
}

// Ground gained counts, not bytes received again: a server that ignores ranges and cuts
// the body at the same place every time is given up at the stall limit; one that keeps
// sending just enough is given up at the duration bound; one that refuses connections is
// down and given up after a few.
TEST_F(WininetDownloaderTest, ServersThatNeverFinishEndWithinTheBounds) {
  downloader_->SetMaxRetries(1000);
  downloader_->SetProgressLimits(base::TimeDelta::FromMilliseconds(1000), 1024,
                                 base::TimeDelta::FromMilliseconds(1500));
  TestHttpServer::Response cut;
  cut.body = MakeBody(200 * 1024);
  cut.drop_after_bytes = 100 * 1024;
  cut.drop_count = 100000;
  server_.SetResponse("/cut", cut);
  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/cut"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_TRUE(downloader_->ran_out_of_retries());
  // The retries without gain wait ever longer: far fewer than the retries allowed.
  EXPECT_LT(server_.GetRequestCount("/cut"), 200);

  TestHttpServer::Response endless;
  endless.body = MakeBody(1024);
  endless.endless = true;
  endless.trickle_ms = 20;
  endless.trickle_bytes = 2048;
  server_.SetResponse("/endless", endless);
  downloader_->SetMaxDuration(base::TimeDelta::FromSeconds(2));
  callbacks_ = 0;
  ASSERT_TRUE(
      Download(server_.GetUrl("/endless"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(0u, downloader_->GetStatusText().find("The download took longer than the 2000 ms"))
      << downloader_->GetStatusText();
  EXPECT_TRUE(downloader_->ran_out_of_retries());

  const std::wstring url = server_.GetUrl("/down");
  server_.Stop();  // The port refuses connections now.
  downloader_->SetProgressLimits(base::TimeDelta::FromSeconds(30), 1024,
                                 base::TimeDelta::FromMinutes(2));
  callbacks_ = 0;
  ASSERT_TRUE(Download(url, "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_TRUE(downloader_->ran_out_of_retries());
  EXPECT_EQ(WininetDownloader::kMaxRefusedConnections - 1, retries_in_callback_);
}

TEST_F(WininetDownloaderTest, ReportsSystemErrorsWithTheirText) {
  const std::wstring url = server_.GetUrl("/nobody");
  server_.Stop();  // The port refuses connections now.
  downloader_->SetMaxRetries(1);
  Stats stats(&ui_runner_);
  std::string reply;
  ASSERT_TRUE(Download(url, "", std::make_unique<MemoryResponseWriter>(&reply),
                       std::make_unique<DownloadErrorRecorder>(&stats, "")));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(0, downloader_->http_status_code());
  const std::string& text = downloader_->GetStatusText();
  EXPECT_EQ(0u, text.find("HttpSendRequest failed: ")) << text;
  EXPECT_NE(std::string::npos, text.find("(120")) << text;
  EXPECT_NE(std::string::npos, stats.ToJson().find("\"error\":[{\"at\"")) << stats.ToJson();
}

TEST_F(WininetDownloaderTest, StopEndsADownloadWithoutCallback) {
  const std::string body = MakeBody(100 * 1024);
  TestHttpServer::Response slow;
  slow.body = body;
  slow.pause_after_bytes = 1000;
  slow.pause_ms = 10000;
  server_.SetResponse("/slow", slow);

  bool called = false;
  base::RunLoop run_loop;
  on_progress_ = [this, &run_loop]() {
    if (current_progress_ > 0 && downloader_->IsRunning()) {
      downloader_->Stop();
      run_loop.Quit();
    }
  };
  std::string reply;
  ASSERT_TRUE(downloader_->Start(server_.GetUrl("/slow"), "",
                                 base::BindLambda([&called]() { called = true; }),
                                 std::make_unique<MemoryResponseWriter>(&reply), nullptr));
  EXPECT_EQ(WininetDownloader::STATE_SENDING, downloader_->state());
  loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                       base::TimeDelta::FromSeconds(20));
  run_loop.Run();
  on_progress_ = nullptr;
  // The bytes before the pause were reported while the downloader waited for the rest.
  EXPECT_LE(current_progress_, 1000);
  EXPECT_EQ(WininetDownloader::STATE_IDLE, downloader_->state());
  RunFor(100);
  EXPECT_FALSE(called);

  // The downloader can be used again.
  TestHttpServer::Response quick;
  quick.body = "again";
  server_.SetResponse("/quick", quick);
  reply.clear();
  ASSERT_TRUE(Download(server_.GetUrl("/quick"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ("again", reply);
}

TEST_F(WininetDownloaderTest, DestructionDuringARequestIsSafe) {
  TestHttpServer::Response delayed;
  delayed.body = "late";
  delayed.delay_ms = 300;
  server_.SetResponse("/delayed", delayed);
  bool called = false;
  std::string reply;
  ASSERT_TRUE(downloader_->Start(server_.GetUrl("/delayed"), "",
                                 base::BindLambda([&called]() { called = true; }),
                                 std::make_unique<MemoryResponseWriter>(&reply), nullptr));
  RunFor(100);  // The request is on its way.
  downloader_.reset();
  RunFor(400);  // WinINet's reports for the closed request arrive meanwhile.
  EXPECT_FALSE(called);
  EXPECT_EQ("", reply);
}

TEST_F(WininetDownloaderTest, AsksForProxyCredentialsThroughTheUIRunner) {
  TestHttpServer::Response response;
  response.body = "behind proxy";
  response.fail_count = 1;
  response.fail_status = 407;
  server_.SetResponse("/proxied", response);

  ui_runner_.set_reply_result(ERROR_INTERNET_FORCE_RETRY);
  std::string reply;
  ASSERT_TRUE(Download(server_.GetUrl("/proxied"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FINISHED, state_in_callback_);
  EXPECT_EQ("behind proxy", reply);
  EXPECT_EQ(1, ui_runner_.call_count());
  EXPECT_EQ(2, server_.GetRequestCount("/proxied"));

  // A refused (or cancelled) dialog fails the download.
  server_.SetResponse("/refused", response);
  ui_runner_.set_reply_result(ERROR_CANCELLED);
  callbacks_ = 0;
  ASSERT_TRUE(Download(server_.GetUrl("/refused"), "", std::make_unique<MemoryResponseWriter>(&reply)));
  EXPECT_EQ(WininetDownloader::STATE_FAILED, state_in_callback_);
  EXPECT_EQ(407, downloader_->http_status_code());
  EXPECT_EQ(2, ui_runner_.call_count());
  EXPECT_EQ(1, server_.GetRequestCount("/refused"));
}

TEST(WininetTerminationTest, ClosesSessionsInTheBackground) {
  HINTERNET session = ::InternetOpenW(L"Termination test", INTERNET_OPEN_TYPE_DIRECT, nullptr,
                                      nullptr, INTERNET_FLAG_ASYNC);
  ASSERT_TRUE(session);
  CloseWininetSessionInBackground(ScopedInternetHandle(session));
  bool closed = false;
  for (int i = 0; i < 500 && !closed; ++i) {
    DWORD type = 0;
    DWORD size = sizeof(type);
    closed = !::InternetQueryOptionW(session, INTERNET_OPTION_HANDLE_TYPE, &type, &size);
    if (!closed)
      ::Sleep(10);
  }
  EXPECT_TRUE(closed);
}

}  // namespace
}  // namespace installer
