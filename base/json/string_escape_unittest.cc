#include "base/json/string_escape.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string Escaped(std::string_view utf8) {
  std::string output;
  EscapeJsonString(utf8, &output);
  return output;
}

TEST(StringEscapeTest, SpecialCharacters) {
  const struct {
    unsigned code_point;
    const char* escape;
  } kCases[] = {
      {'\b', "\\b"}, {'\f', "\\f"},  {'\n', "\\n"},        {'\r', "\\r"},
      {'\t', "\\t"}, {'"', "\\\""},  {'\\', "\\\\"},       {'<', "\\u003C"},
      {0x2028, "\\u2028"},           {0x2029, "\\u2029"},
  };
  for (const auto& test : kCases) {
    std::string output = "x";
    EXPECT_TRUE(EscapeJsonSpecialCharacter(test.code_point, &output)) << test.code_point;
    EXPECT_EQ(std::string("x") + test.escape, output);
  }
  for (unsigned other : {0u, 0x1Fu, unsigned('/'), unsigned('>'), unsigned('a'), 0x7Fu,
                         0xFFFDu, 0x1F600u}) {
    std::string output;
    EXPECT_FALSE(EscapeJsonSpecialCharacter(other, &output)) << other;
    EXPECT_TRUE(output.empty());
  }
}

TEST(StringEscapeTest, QuotesAndEscapesText) {
  EXPECT_EQ("\"\"", Escaped(""));
  EXPECT_EQ("\"a\\\"b\\\\c\\n\"", Escaped("a\"b\\c\n"));
  EXPECT_EQ("\"\\u003C/b>\"", Escaped("</b>"));
  EXPECT_EQ("\"\\u0000\\u0001\\u001F\\t\x7F\"", Escaped(std::string("\0\x01\x1F\t\x7F", 5)));
  EXPECT_EQ("\"a\\u2028b\\u2029\"", Escaped("a\xE2\x80\xA8" "b\xE2\x80\xA9"));
  // Valid multi-byte text passes through as UTF-8.
  EXPECT_EQ("\"\xC3\xA9\xF0\x9F\x98\x80\"", Escaped("\xC3\xA9\xF0\x9F\x98\x80"));
  // Appends to what is there.
  std::string output = "key:";
  EscapeJsonString("v", &output);
  EXPECT_EQ("key:\"v\"", output);
}

TEST(StringEscapeTest, InvalidUtf8BecomesReplacementCharacter) {
  const std::string kFffd = "\xEF\xBF\xBD";
  EXPECT_EQ("\"a" + kFffd + "b\"", Escaped("a\xFF" "b"));
  EXPECT_EQ("\"" + kFffd + "\"", Escaped("\xC3"));                   // Truncated.
  EXPECT_EQ("\"" + kFffd + kFffd + "\"", Escaped("\xC0\xAF"));       // Overlong.
  EXPECT_EQ("\"" + kFffd + kFffd + kFffd + "\"", Escaped("\xED\xA0\x80"));  // Surrogate.
  EXPECT_EQ("\"" + kFffd + kFffd + kFffd + kFffd + "\"",
            Escaped("\xF4\x90\x80\x80"));  // Above U+10FFFF.
}

TEST(StringEscapeTest, WideText) {
  std::string output;
  EscapeJsonString(std::wstring(L"\u00e9<\n") + wchar_t(0xD800), &output);
  EXPECT_EQ("\"\xC3\xA9\\u003C\\n\xEF\xBF\xBD\"", output);
}

}  // namespace
}  // namespace base
