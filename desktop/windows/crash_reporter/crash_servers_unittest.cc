#include "desktop/windows/crash_reporter/crash_servers.h"

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_environment.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using base::test::ScopedEnvironment;
using installer::test::TestHttpServer;

class CrashServersTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start()); }

  // Chooses the local server as the crash server and asks it about a crash.
  CrashServerAnswer Query(const std::string& path,
                          const TestHttpServer::Response& response,
                          std::wstring* id,
                          std::wstring* location,
                          uint32_t timeout_ms = 5000) {
    server_.SetResponse(path, response);
    ScopedEnvironment environment(
        {{"TAVRO_CRASH_SERVER_URL", base::Utf16ToUtf8(server_.GetUrl(path))},
         {"TAVRO_CRASH_EMAIL", ""}});
    ChooseCrashServers();
    return QueryCrashServer(crash_url_, L"Brixel", id, location, timeout_ms);
  }

  static TestHttpServer::Response SeeOther(const std::string& location) {
    TestHttpServer::Response response;
    response.status = 303;
    response.headers.push_back({"Location", location});
    return response;
  }

  TestHttpServer server_;
  std::wstring crash_url_ = L"https://example.com/page";
};

TEST_F(CrashServersTest, ARedirectWithACrashIdNamesTheCrash) {
  // Longer than the first buffer the location is read into.
  const std::string location =
      "https://crash.tavro.example/crash/?id=5f3e-11&sig=" + std::string(400, 'x');
  std::wstring id;
  std::wstring answer;
  EXPECT_EQ(CRASH_SERVER_REDIRECT, Query("/known", SeeOther(location), &id, &answer));
  EXPECT_EQ(L"5f3e-11", id);
  EXPECT_EQ(base::Utf8ToUtf16(location), answer);

  const TestHttpServer::Request request = server_.GetRequests().back();
  EXPECT_EQ("GET", request.method);
  EXPECT_EQ("/known", request.path);
  EXPECT_EQ("https://example.com/page", request.headers.at("x-tavro-crash-url"));
  EXPECT_EQ("Brixel", request.headers.at("x-origin"));
  EXPECT_EQ("Hollet/1.0 (Windows) (Edition Stable)", request.headers.at("user-agent"));

  // The URL comes from the client: it can neither add headers nor grow without bound.
  const std::string line_breaks = "https://example.com/a\r\nX-Injected: 1\tb";
  crash_url_ = base::Utf8ToUtf16(line_breaks) + std::wstring(3000, L'x');
  EXPECT_EQ(CRASH_SERVER_REDIRECT, Query("/known", SeeOther(location), &id, &answer));
  const TestHttpServer::Request hostile = server_.GetRequests().back();
  EXPECT_EQ(0u, hostile.headers.count("x-injected"));
  EXPECT_EQ("https://example.com/a  X-Injected: 1 b" + std::string(2048 - line_breaks.size(), 'x'),
            hostile.headers.at("x-tavro-crash-url"));
}

TEST_F(CrashServersTest, EveryOtherAnswerIsTold) {
  std::wstring id = L"unchanged";
  std::wstring location = L"unchanged";
  TestHttpServer::Response unavailable;
  unavailable.status = 503;
  EXPECT_EQ(CRASH_SERVER_UNAVAILABLE, Query("/busy", unavailable, &id, &location));
  EXPECT_EQ(CRASH_SERVER_NO_ANSWER,
            Query("/no-id", SeeOther("https://crash.tavro.example/?id=5f3e"), &id, &location));
  EXPECT_EQ(CRASH_SERVER_NO_ANSWER, Query("/ok", TestHttpServer::Response(), &id, &location));
  EXPECT_EQ(L"unchanged", id);
  EXPECT_EQ(L"unchanged", location);

  // The server's delay is the test's deadline: a query that waited it out would get the
  // redirect.
  TestHttpServer::Response silent = SeeOther("https://crash.tavro.example/?id=1&x");
  silent.delay_ms = 30000;
  EXPECT_EQ(CRASH_SERVER_NO_ANSWER, Query("/silent", silent, &id, &location, 500));
  EXPECT_EQ(1, server_.GetRequestCount("/silent"));
}

TEST_F(CrashServersTest, TheEnvironmentChoosesTheServersAndTheUsersAddress) {
  {
    ScopedEnvironment environment({{"TAVRO_CRASH_SERVER_URL", "http://127.0.0.1:1/crash"},
                                   {"TAVRO_ALTERNATIVE_CRASH_SERVER_URL", "http://127.0.0.1:1/alt"},
                                   {"TAVRO_CRASH_EMAIL", "user@example.com"}});
    ChooseCrashServers();
  }
  EXPECT_EQ(L"http://127.0.0.1:1/crash?email=user@example.com", GetCrashServerUrl());
  EXPECT_EQ(L"http://127.0.0.1:1/alt", GetAlternativeCrashServerUrl());
  EXPECT_EQ(L" (Edition Stable)", GetUserAgentSuffix());
  {
    // The address is one query value, whatever it holds.
    ScopedEnvironment environment({{"TAVRO_CRASH_SERVER_URL", "http://127.0.0.1:1/crash"},
                                   {"TAVRO_CRASH_EMAIL", "a b&ptime=1#x%+\xC3\xA6@ex.com"}});
    ChooseCrashServers();
  }
  EXPECT_EQ(L"http://127.0.0.1:1/crash?email=a%20b%26ptime%3D1%23x%25%2B%C3%A6@ex.com",
            GetCrashServerUrl());
  {
    // Set but empty counts as unset.
    ScopedEnvironment environment({{"TAVRO_CRASH_SERVER_URL", ""},
                                   {"TAVRO_ALTERNATIVE_CRASH_SERVER_URL", ""},
                                   {"TAVRO_CRASH_EMAIL", ""}});
    ChooseCrashServers();
  }
  EXPECT_EQ(L"https://crash.tavro.example/submit", GetCrashServerUrl());
  EXPECT_EQ(kDefaultAlternativeCrashServerUrl, GetAlternativeCrashServerUrl());
}

}  // namespace
}  // namespace crash_reporter
