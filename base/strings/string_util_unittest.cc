#include "base/strings/string_util.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringUtilTest, AsciiCaseHelpersChangeOnlyAsciiLetters) {
  EXPECT_EQ("abc-\xC3\x89z", ToLowerAscii("AbC-\xC3\x89Z"));
  EXPECT_EQ(L"ABC-\x00E9Z", ToUpperAscii(L"abC-\x00E9z"));
  EXPECT_TRUE(EqualsCaseInsensitiveAscii(L"Setup.EXE", L"setup.exe"));
  EXPECT_FALSE(EqualsCaseInsensitiveAscii(L"\x00C9", L"\x00E9"));
  EXPECT_FALSE(EqualsCaseInsensitiveAscii("ab", "abc"));
  EXPECT_TRUE(IsStringAscii(L"plain\x007F"));
  EXPECT_FALSE(IsStringAscii(L"caf\x00E9"));
}

TEST(StringUtilTest, StartsWithAndEndsWith) {
  EXPECT_TRUE(StartsWith("--Silent", "--silent", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(StartsWith("--Silent", "--silent", CompareCase::SENSITIVE));
  EXPECT_TRUE(StartsWith(L"abc", L"", CompareCase::SENSITIVE));
  EXPECT_FALSE(StartsWith(L"ab", L"abc", CompareCase::INSENSITIVE_ASCII));
  EXPECT_TRUE(EndsWith(L"setup.EXE", L".exe", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(EndsWith(L"setup.EXE", L".exe", CompareCase::SENSITIVE));
  EXPECT_FALSE(EndsWith("xe", ".exe", CompareCase::INSENSITIVE_ASCII));
  EXPECT_TRUE(EndsWith("", "", CompareCase::SENSITIVE));
}

TEST(StringUtilTest, Trimming) {
  EXPECT_EQ("a b", TrimWhitespaceASCII(" \t\r\n\v\fa b \n", TRIM_ALL));
  EXPECT_EQ(L"a ", TrimWhitespaceASCII(L"  a ", TRIM_LEADING));
  EXPECT_EQ(L"  a", TrimWhitespaceASCII(L"  a ", TRIM_TRAILING));
  EXPECT_EQ("", TrimWhitespaceASCII("   ", TRIM_ALL));
  // A no-break space is not ASCII whitespace.
  EXPECT_EQ(L"\x00A0x", TrimWhitespaceASCII(L"\x00A0x ", TRIM_ALL));

  std::wstring output = L"\"\"C:\\Program Files\\\"";
  EXPECT_TRUE(TrimString(output, L"\"", &output));
  EXPECT_EQ(L"C:\\Program Files\\", output);
  EXPECT_FALSE(TrimString(output, L"\"", &output));
  std::string narrow;
  EXPECT_TRUE(TrimString("xxx", "x", &narrow));
  EXPECT_EQ("", narrow);
  EXPECT_FALSE(TrimString("", "x", &narrow));
}

TEST(StringUtilTest, JoinAndReplaceChars) {
  EXPECT_EQ("a, b, ", JoinString({"a", "b", ""}, ", "));
  EXPECT_EQ(L"", JoinString(std::vector<std::wstring>(), L","));
  EXPECT_EQ(L"one", JoinString({L"one"}, L","));

  std::wstring output;
  EXPECT_TRUE(ReplaceChars(L"C:\\Program Files\\Tavro", L"\\", L"/", &output));
  EXPECT_EQ(L"C:/Program Files/Tavro", output);
  // Several characters, a longer replacement, and the output viewed as input.
  std::string narrow = "a-b_c";
  EXPECT_TRUE(ReplaceChars(narrow, "-_", "<>", &narrow));
  EXPECT_EQ("a<>b<>c", narrow);
  EXPECT_FALSE(ReplaceChars("abc", "xyz", "", &narrow));
  EXPECT_EQ("abc", narrow);
  EXPECT_TRUE(ReplaceChars("a\"b\"", "\"", "", &narrow));
  EXPECT_EQ("ab", narrow);
}

TEST(StringUtilTest, ReplaceStringPlaceholders) {
  const std::vector<std::string> subst = {"one", "two"};
  EXPECT_EQ("two and one", ReplaceStringPlaceholders("$2 and $1", subst));
  EXPECT_EQ("onetwoone", ReplaceStringPlaceholders("$1$2$1", subst));
  // Placeholders without a substitution give nothing.
  EXPECT_EQ("[] []", ReplaceStringPlaceholders("[$3] [$9]", subst));
  EXPECT_EQ("x", ReplaceStringPlaceholders("x$1", {}));
  // n + 1 dollar signs give n, and what follows the run is literal.
  EXPECT_EQ("$", ReplaceStringPlaceholders("$$", subst));
  EXPECT_EQ("$1", ReplaceStringPlaceholders("$$1", subst));
  EXPECT_EQ("$$2", ReplaceStringPlaceholders("$$$2", subst));
  EXPECT_EQ("cost: $5 for one", ReplaceStringPlaceholders("cost: $$5 for $1", subst));
  // A single dollar sign that starts no placeholder gives nothing.
  EXPECT_EQ("a0b", ReplaceStringPlaceholders("a$0b", subst));
  EXPECT_EQ("end", ReplaceStringPlaceholders("end$", subst));
  // Substituted text is not scanned again.
  EXPECT_EQ("$2", ReplaceStringPlaceholders("$1", {"$2", "no"}));
  EXPECT_EQ(L"Install to C:\\T$?",
            ReplaceStringPlaceholders(L"Install to $1$$?", {L"C:\\T"}));
}

}  // namespace
}  // namespace base
