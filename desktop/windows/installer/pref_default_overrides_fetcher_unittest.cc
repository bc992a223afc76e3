#include "desktop/windows/installer/pref_default_overrides_fetcher.h"

#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/run_until.h"
#include "base/test/scoped_log_capture.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/test/autoupdate_server.h"
#include "desktop/windows/installer/test/test_ui_callback_runner.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class PrefDefaultOverridesFetcherTest : public testing::Test {
 protected:
  PrefDefaultOverridesFetcherTest() : command_line_(base::FilePath(L"installer.exe")) {}

  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    ASSERT_TRUE(server_.Start());
    command_line_.AppendSwitchNative("local-pref-default-overrides-server",
                                     server_.GetPrefOverridesUrl());
    base::FeatureRegistry::GetInstance().RegisterFeature(
        kInstallerPrefDefaultOverridesSupportFeature, true);
    fetcher_ =
        std::make_unique<PrefDefaultOverridesFetcher>(temp_.GetPath(), &ui_runner_, &command_line_);
  }

  void TearDown() override {
    base::FeatureRegistry::GetInstance().RegisterFeature(
        kInstallerPrefDefaultOverridesSupportFeature, true);
  }

  // Fetches and waits for the completion callback; how often it ran.
  int Fetch(const std::string& tracking_data) {
    int done = 0;
    fetcher_->Fetch(tracking_data, base::BindLambda([&done]() { ++done; }));
    EXPECT_TRUE(base::test::RunUntil([&done]() { return done > 0; }));
    // A second run would come from a task: let the loop go once more.
    base::test::RunUntil([]() { return false; }, base::TimeDelta::FromMilliseconds(50));
    return done;
  }

  base::MessageLoop loop_;
  base::ScopedTempDir temp_;
  test::AutoupdateServer server_;
  test::TestUICallbackRunner ui_runner_;
  base::CommandLine command_line_;
  std::unique_ptr<PrefDefaultOverridesFetcher> fetcher_;
};

TEST_F(PrefDefaultOverridesFetcherTest, WritesTheServersAnswerIntoThePackage) {
  server_.SetPrefOverrides("{\"homepage\": \"https://start.tavro.example/\"}");
  EXPECT_EQ(1, Fetch("tracking bytes"));
  std::string written;
  ASSERT_TRUE(base::ReadFileToString(temp_.GetPath().Append(L"pref_default_overrides"), &written));
  EXPECT_EQ("{\"homepage\": \"https://start.tavro.example/\"}", written);

  // Without tracking data the request is a GET.
  EXPECT_EQ(1, Fetch(""));
  const std::vector<test::TestHttpServer::Request> requests = server_.GetPrefOverridesRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ("tracking bytes", requests[0].body);
  EXPECT_EQ("GET", requests[1].method);
  EXPECT_EQ("/api/prefs/?product=" + ProductInfo::GetProductName() +
                "&version=" + ProductInfo::GetVersion(),
            requests[1].path);
}

// The package installs with its own defaults then: a WARNING, not an ERROR of the run.
TEST_F(PrefDefaultOverridesFetcherTest, AFailedRequestLeavesNoFileAndIsNotRetried) {
  base::test::ScopedLogCapture log;
  test::TestHttpServer::Response failing;
  failing.status = 503;
  failing.body = "{\"partial\": ";
  server_.http().SetResponse("/api/prefs/", failing);
  EXPECT_EQ(1, Fetch("tracking bytes"));
  EXPECT_FALSE(base::PathExists(temp_.GetPath().Append(L"pref_default_overrides")));
  EXPECT_EQ(1u, server_.GetPrefOverridesRequests().size());
  EXPECT_TRUE(log.Logged(logging::LOG_WARNING, "Failed fetching default prefs overrides"));
  for (const auto& [severity, message] : log.lines())
    EXPECT_LT(severity, logging::LOG_ERROR) << message;

  // An answer without end is not written out without end.
  test::TestHttpServer::Response endless;
  endless.body = "{}";
  endless.endless = true;
  server_.http().SetResponse("/api/prefs/", endless);
  EXPECT_EQ(1, Fetch("tracking bytes"));
  EXPECT_FALSE(base::PathExists(temp_.GetPath().Append(L"pref_default_overrides")));
  EXPECT_EQ(2u, server_.GetPrefOverridesRequests().size());
}

TEST_F(PrefDefaultOverridesFetcherTest, NothingIsAskedWhenTheFeatureIsOff) {
  base::FeatureRegistry::GetInstance().RegisterFeature(kInstallerPrefDefaultOverridesSupportFeature,
                                                       false);
  EXPECT_EQ(1, Fetch("tracking bytes"));
  EXPECT_TRUE(server_.http().GetRequests().empty());
  EXPECT_FALSE(base::PathExists(temp_.GetPath().Append(L"pref_default_overrides")));
}

TEST(PrefDefaultOverridesAddressTest, SwitchOrProductConfiguration) {
  base::CommandLine command_line(base::FilePath(L"installer.exe"));
  EXPECT_EQ(L"https://autoupdate.tavro.example/api/prefs/?product=Tavro&version=" +
                base::Utf8ToUtf16(ProductInfo::GetVersion()),
            GetPrefDefaultOverridesAddress(command_line));
  command_line.AppendSwitch("local-pref-default-overrides-server");
  EXPECT_EQ(L"http://localhost:3001", GetPrefDefaultOverridesAddress(command_line));
  command_line.AppendSwitchNative("local-pref-default-overrides-server", L"http://127.0.0.1:9/x");
  EXPECT_EQ(L"http://127.0.0.1:9/x", GetPrefDefaultOverridesAddress(command_line));
}

}  // namespace
}  // namespace installer
