#include "base/base64.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(Base64Test, EncodesAndDecodesEveryPaddingLength) {
  struct Case {
    std::string bytes;
    const char* encoded;
  } const cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {std::string("\0\xFF\xFE\x3E\x3F", 5), "AP/+Pj8="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.encoded, Base64Encode(c.bytes));
    std::string decoded = "old";
    EXPECT_TRUE(Base64Decode(c.encoded, &decoded));
    EXPECT_EQ(c.bytes, decoded);
  }
  EXPECT_EQ("AQID", Base64Encode("\x01\x02\x03", 3));
}

TEST(Base64Test, RejectsInvalidInputAndKeepsOutput) {
  for (const char* bad : {
           "Zg",         // Unpadded.
           "Zm9",        // Length not a multiple of four.
           "Zm9vY",      // Same, one over.
           "Zg=",        // Short padding.
           "Z===",       // Too much padding.
           "====",       // Padding only.
           "Zg==Zm8=",   // Padding in the middle.
           "Z=g=",       // Padding inside the last group.
           "Zm9v\n",     // Line break.
           "Zm 9v",      // Space.
           "Zm9-",       // URL-safe alphabet.
           "Zm9_",
           "Zm9\x80",    // Non-ASCII.
       }) {
    SCOPED_TRACE(testing::PrintToString(std::string(bad)));
    std::string output = "kept";
    EXPECT_FALSE(Base64Decode(bad, &output));
    EXPECT_EQ("kept", output);
  }
  std::string output;
  EXPECT_FALSE(Base64Decode(std::string("Zm\0v", 4), &output));
}

}  // namespace
}  // namespace base
