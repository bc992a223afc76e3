#include "desktop/windows/installer/tracking_data.h"

#include <string>

#include "base/base64.h"
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

}  // namespace
}  // namespace installer
