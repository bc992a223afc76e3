#include "desktop/windows/installer/stats_sender.h"

#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/scoped_log_capture.h"
#include "base/time/time.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "desktop/windows/installer/test/test_ui_callback_runner.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::TestHttpServer;

class StatsSenderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    SetStatsServerForTesting("http://127.0.0.1:" + std::to_string(server_.port()) + "/");
  }
  void TearDown() override { SetStatsServerForTesting(""); }

  // Sends and runs the loop until the done closure ran (at most 20 s).
  void Send(Stats* stats, bool wait_for_network) {
    base::RunLoop run_loop;
    done_ = false;
    SendStats(stats, base::BindLambda([this, &run_loop]() {
                done_ = true;
                run_loop.Quit();
              }),
              wait_for_network);
    loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                         base::TimeDelta::FromSeconds(20));
    run_loop.Run();
  }

  base::MessageLoop loop_;
  TestHttpServer server_;
  test::TestUICallbackRunner ui_runner_;
  bool done_ = false;
};

TEST_F(StatsSenderTest, UsesTheAutoupdateServer) {
  SetStatsServerForTesting("");
  EXPECT_EQ(L"https://autoupdate.tavro.example/divedazaveve/feedback", GetStatsUrl());
}

TEST_F(StatsSenderTest, PostsTheStatisticsAsJson) {
  TestHttpServer::Response response;
  response.body = "thanks";
  server_.SetResponse("/divedazaveve/feedback", response);
  Stats stats(&ui_runner_);
  stats.SetString("download_url", "https://dl.tavro.example/p.exe");
  stats.SetInteger("installation_success", 1);
  stats.AppendToList("fetches")->SetTimestamp("start_time");
  const std::string json = stats.ToJson();

  Send(&stats, true);
  EXPECT_TRUE(done_);
  const std::vector<TestHttpServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ("/divedazaveve/feedback", requests[0].path);
  EXPECT_EQ("application/json", requests[0].headers.at("content-type"));
  EXPECT_EQ(json, requests[0].body);
}

TEST_F(StatsSenderTest, RunsTheDoneClosureAlsoOnFailure) {
  TestHttpServer::Response response;
  response.fail_count = 100;
  response.fail_status = 500;
  server_.SetResponse("/divedazaveve/feedback", response);
  // Without a UI-callback runner of its own, too.
  Stats stats(nullptr);
  stats.SetInteger("installation_success", 0);
  {
    // A run's outcome does not depend on its statistics: a WARNING, not an ERROR.
    base::test::ScopedLogCapture log;
    Send(&stats, false);
    EXPECT_TRUE(log.LoggedPrefix(logging::LOG_WARNING, "Sending stats failed"));
    for (const auto& [severity, message] : log.lines())
      EXPECT_LT(severity, logging::LOG_ERROR) << message;
  }
  EXPECT_TRUE(done_);
  EXPECT_EQ(1, server_.GetRequestCount("/divedazaveve/feedback"));

  // A report that cannot start still ends, later: a caller may quit its run loop from the
  // done closure only once that loop runs.
  SetStatsServerForTesting("not an address/");
  base::RunLoop run_loop;
  bool done = false;
  SendStats(&stats, base::BindLambda([&done, &run_loop]() {
              done = true;
              run_loop.Quit();
            }),
            false);
  EXPECT_FALSE(done);
  loop_.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                       base::TimeDelta::FromSeconds(20));
  run_loop.Run();
  EXPECT_TRUE(done);
}

// A finished run does not wait long for its report: a server that never answers holds it
// for the report's bound at most, one that is down for a few refused connections.
TEST_F(StatsSenderTest, ANeverAnsweringOrStoppedServerHoldsTheReportBriefly) {
  TestHttpServer::Response silent;
  silent.body = "too late";
  silent.delay_ms = 60 * 1000;
  server_.SetResponse("/divedazaveve/feedback", silent);
  Stats stats(nullptr);
  stats.SetInteger("installation_success", 1);
  Send(&stats, true);  // Gives up after 20 s: twice the report's bound.
  EXPECT_TRUE(done_);

  server_.Stop();  // The port refuses connections now.
  Send(&stats, true);
  EXPECT_TRUE(done_);
}

}  // namespace
}  // namespace installer
