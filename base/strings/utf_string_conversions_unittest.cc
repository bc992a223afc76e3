#include "base/strings/utf_string_conversions.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(UtfStringConversionsTest, RoundTripsEveryEncodedLength) {
  // 1, 2, 3 and 4 byte forms; the last one needs a surrogate pair.
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::wstring utf16 = L"a\x00E9\x20AC\xD83D\xDE00";
  std::wstring wide;
  EXPECT_TRUE(Utf8ToUtf16(utf8, &wide));
  EXPECT_EQ(utf16, wide);
  std::string narrow;
  EXPECT_TRUE(Utf16ToUtf8(utf16, &narrow));
  EXPECT_EQ(utf8, narrow);
  // Embedded NULs are ordinary characters.
  EXPECT_EQ(std::wstring(L"a\0b", 3), Utf8ToUtf16(std::string("a\0b", 3)));
  EXPECT_EQ(L"", Utf8ToUtf16(""));
}

TEST(UtfStringConversionsTest, InvalidUtf8BecomesReplacementCharacters) {
  struct Case {
    const char* input;
    const wchar_t* expected;
  } const cases[] = {
      {"x\x80y", L"x\xFFFDy"},                        // Lone continuation byte.
      {"x\xFFy", L"x\xFFFDy"},                        // Never a lead byte.
      {"x\xC0\x80y", L"x\xFFFD\xFFFDy"},              // Overlong NUL.
      {"x\xC1\xBFy", L"x\xFFFD\xFFFDy"},              // Overlong 0x7F.
      {"x\xE0\x80\xAFy", L"x\xFFFD\xFFFD\xFFFDy"},    // Overlong '/'.
      {"\xF0\x82\x82\xAC", L"\xFFFD\xFFFD\xFFFD\xFFFD"},  // Overlong euro sign.
      {"x\xED\xA0\x80y", L"x\xFFFD\xFFFD\xFFFDy"},    // Encoded high surrogate.
      {"x\xED\xBF\xBFy", L"x\xFFFD\xFFFD\xFFFDy"},    // Encoded low surrogate.
      {"\xF4\x90\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD"},  // Above U+10FFFF.
      {"\xF8\x88\x80\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD"},  // Five-byte form.
      {"x\xE2\x82", L"x\xFFFD\xFFFD"},                // Truncated at the end.
      {"\xE2\x82y", L"\xFFFD\xFFFDy"},                // Truncated before ASCII.
      {"\xF0\x9F\x98", L"\xFFFD\xFFFD\xFFFD"},        // Truncated four-byte form.
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.input)));
    std::wstring output;
    EXPECT_FALSE(Utf8ToUtf16(c.input, &output));
    EXPECT_EQ(c.expected, output);
  }
  // The largest valid code points on each side of the limits still decode.
  std::wstring output;
  EXPECT_TRUE(Utf8ToUtf16("\xF4\x8F\xBF\xBF\xEF\xBF\xBF\xED\x9F\xBF", &output));
  EXPECT_EQ(L"\xDBFF\xDFFF\xFFFF\xD7FF", output);
}

TEST(UtfStringConversionsTest, LoneSurrogatesInUtf16BecomeReplacementCharacters) {
  struct Case {
    std::wstring input;
    const char* expected;
  } const cases[] = {
      {L"a\xD800", "a\xEF\xBF\xBD"},                        // High surrogate at the end.
      {L"a\xDC00z", "a\xEF\xBF\xBDz"},                      // Lone low surrogate.
      {L"\xD800z", "\xEF\xBF\xBDz"},                        // High followed by non-low.
      {L"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},        // Pair in the wrong order.
      {L"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},  // Second one pairs.
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_FALSE(Utf16ToUtf8(c.input, &output));
    EXPECT_EQ(c.expected, output);
  }
}

TEST(UtfStringConversionsTest, DecodeUtf8SequenceMovesPastWhatItRead) {
  const std::string text = "A\xC3\xA9\xE2\x82";
  size_t index = 0;
  EXPECT_EQ('A', DecodeUtf8Sequence(text, &index));
  EXPECT_EQ(1u, index);
  EXPECT_EQ(0xE9, DecodeUtf8Sequence(text, &index));
  EXPECT_EQ(3u, index);
  // A truncated sequence fails and skips one byte at a time.
  EXPECT_EQ(-1, DecodeUtf8Sequence(text, &index));
  EXPECT_EQ(4u, index);
  EXPECT_EQ(-1, DecodeUtf8Sequence(text, &index));
  EXPECT_EQ(5u, index);
  // Past the end nothing is read and the index stays.
  EXPECT_EQ(-1, DecodeUtf8Sequence(text, &index));
  EXPECT_EQ(5u, index);
}

TEST(UtfStringConversionsTest, AppendCodePointReplacesInvalidValues) {
  std::string utf8;
  AppendUtf8CodePoint(0x7F, &utf8);
  AppendUtf8CodePoint(0x7FF, &utf8);
  AppendUtf8CodePoint(0x10FFFF, &utf8);
  EXPECT_EQ("\x7F\xDF\xBF\xF4\x8F\xBF\xBF", utf8);
  utf8.clear();
  AppendUtf8CodePoint(0xD800, &utf8);
  AppendUtf8CodePoint(0x110000, &utf8);
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", utf8);
}

TEST(UtfStringConversionsTest, AsciiToUtf16WidensBytes) {
  EXPECT_EQ(L"ab\x00E9", AsciiToUtf16("ab\xE9"));
  EXPECT_EQ(L"x\x00E9", SystemUtf8ToWide("x\xC3\xA9"));
  EXPECT_EQ("x\xC3\xA9", SystemWideToUtf8(L"x\x00E9"));
}

}  // namespace
}  // namespace base
