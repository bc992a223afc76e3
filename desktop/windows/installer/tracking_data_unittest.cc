#include "desktop/windows/installer/tracking_data.h"

#include <string>

#include "base/base64.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/silent_run_switches.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(TrackingDataTest, DecodesTheObject) {
  const std::string encoded = base::Base64Encode(R"({"utm":{"defbr":"true","fsce":"false"}})");
  for (const std::string& payload : {encoded, encoded + " \t\n\v\f\r"}) {
    std::unique_ptr<base::DictionaryValue> data = ParseTrackingData(payload);
    ASSERT_TRUE(data);
    std::string value;
    EXPECT_TRUE(data->GetStringASCII("utm.defbr", &value));
    EXPECT_EQ("true", value);
    EXPECT_TRUE(data->GetStringASCII("utm.fsce", &value));
    EXPECT_EQ("false", value);
  }

  // Text around the outermost braces is ignored.
  std::unique_ptr<base::DictionaryValue> wrapped =
      ParseTrackingData(base::Base64Encode("tracking: {\"a\": {\"b\": 1}} end"));
  ASSERT_TRUE(wrapped);
  EXPECT_TRUE(wrapped->HasKey("a"));
}

TEST(TrackingDataTest, RejectsWhatIsNoObject) {
  const char* const kDecoded[] = {
      "",
      "no braces",
      "only {",
      "} before {",
      "[1, 2]",
      R"([{"a":1},{"b":2}])",  // What the outer braces enclose is no JSON.
      R"({"a":})",
  };
  for (const char* decoded : kDecoded) {
    SCOPED_TRACE(decoded);
    EXPECT_FALSE(ParseTrackingData(base::Base64Encode(decoded)));
  }

  const char* const kNotBase64[] = {
      "not base64!",
      "   ",
      // Only trailing white space is ignored.
      " eyJhIjoxfQ==",
      // The JSON itself, unencoded.
      R"({"a":1})",
  };
  for (const char* payload : kNotBase64) {
    SCOPED_TRACE(payload);
    EXPECT_FALSE(ParseTrackingData(payload));
  }
  EXPECT_TRUE(ParseTrackingData("eyJhIjoxfQ=="));  // {"a":1}
}

// An installer's tracking data may preset the default browser and the browser statistics;
// a stand-alone copy takes neither.
TEST(TrackingDataTest, PresetsApplyToTheSettingsOfTheRun) {
  const std::wstring blob = base::AsciiToUtf16(
      base::Base64Encode(R"({"utm":{"defbr":"true","fsce":"false"}})"));
  test::TestHttpServer server;
  ASSERT_TRUE(server.Start());
  auto run = [&blob, &server](const std::wstring& switches) {
    base::ScopedTempDir temp;
    if (!temp.CreateUniqueTempDir())
      return std::string();
    const std::wstring folder = temp.GetPath().value();
    test::RunInstallerExe(L"--silent --v=1 --server-tracking-blob=" + blob + L" " + switches +
                              L" " + test::FailingFetchSwitches(server),
                          {{L"TMP", folder}, {L"TEMP", folder}});
    return test::ReadFrontEndLog(temp.GetPath());
  };

  std::string log = run(L"--setdefaultbrowser=0");
  EXPECT_NE(std::string::npos, log.find("] Using tracking data from command line\n")) << log;
  EXPECT_NE(std::string::npos, log.find("] defbr:true\n"));
  EXPECT_NE(std::string::npos, log.find("] DEFAULT_BROWSER set to: 1\n"));
  EXPECT_NE(std::string::npos, log.find("] fsce:false\n"));
  EXPECT_NE(std::string::npos, log.find("] ENABLE_TAVRO_STATS set to: 0\n"));

  log = run(L"--copyonly=1");
  EXPECT_NE(std::string::npos, log.find("] COPY_ONLY: 1\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("defbr:"));
}

}  // namespace
}  // namespace installer
